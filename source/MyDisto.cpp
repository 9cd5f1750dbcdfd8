#include "MyDisto.h"

#include "Biquad.h"
#include "brontalassert.h"
#include "brontaldata.h"
#include "brontalparams.h"

#include <cmath>

namespace {
struct FilterSetting
{
	int iType;
	float fHz;
	double dGainDb;
};

// In the order of the filter enumeration. Low- and high-pass sections ignore
// their gain.
const FilterSetting kFilterSettings[] = {
	{Biquad::kPeak, 500.0f, 20.0},      {Biquad::kPeak, 800.0f, 20.0},      {Biquad::kPeak, 2000.0f, 20.0},
	{Biquad::kHighPass, 200.0f, -20.0}, {Biquad::kPeak, 2500.0f, 20.0},     {Biquad::kLowPass, 4500.0f, -20.0},
	{Biquad::kLowPass, 10000.0f, -20.0}, {Biquad::kLowPass, 10000.0f, -20.0}, {Biquad::kLowPass, 10000.0f, -20.0},
	{Biquad::kLowPass, 10000.0f, -20.0},
};
constexpr double kFilterQ = 0.55;

// -10.528 dB after the mix, then the fixed 0.7 of the switched-on path.
const float kOutputTrim = static_cast<float>(std::pow(10.0, -0.5264));
constexpr float kOnGain = 0.7f;

// Far above any real signal, low enough that the drive and the filters stay
// finite: non-finite input would otherwise stick in the filter state.
constexpr float kInputLimit = 1.0e6f;

const float* TableData(brontal::Blob blob, int iEntries)
{
	BRONTAL_ASSERT(blob.size == sizeof(float) * static_cast<size_t>(iEntries), "0", "MyDisto");
	return reinterpret_cast<const float*>(blob.data);
}
} // namespace

CMyDisto::Shaper CMyDisto::GetShaper(int iShaper)
{
	namespace data = brontal::data;
	switch (iShaper)
	{
	case kShaper1:
		return {TableData(data::afShape1_Pos(), 2401), TableData(data::afShape1_Neg(), 2401), 2400};
	case kShaper2:
		return {TableData(data::afShape2(), 6001), TableData(data::afShape2(), 6001), 6000};
	case kShaper3:
		return {TableData(data::afShape3(), 6001), TableData(data::afShape3(), 6001), 6000};
	default:
		return {TableData(data::afShape4_Pos(), 24001), TableData(data::afShape4_Neg(), 24001), 24000};
	}
}

CMyDisto::CMyDisto()
{
	for (Biquad*& pFilter : m_apFilters)
		pFilter = new Biquad();
	for (int i = 0; i < kNumShapers; ++i)
		m_aShapers[i] = GetShaper(i);
}

CMyDisto::~CMyDisto()
{
	for (Biquad* pFilter : m_apFilters)
		delete pFilter;
}

int CMyDisto::Reset()
{
	// A reset chain starts clean: nothing of the last take rings on.
	for (Biquad* pFilter : m_apFilters)
		pFilter->Reset();
	return 1;
}

float CMyDisto::DriveGain(float fLevel)
{
	const double dDriveDb = 45.0 * fLevel - 40.0;
	return static_cast<float>(std::pow(10.0, dDriveDb / 20.0));
}

float CMyDisto::ShapeAtLevel(float fDriven, float fLevel, const Shaper& shaper)
{
	const float fLast = static_cast<float>(shaper.iLast);
	float fIndex = fLevel * fLast / 120.0f;
	// Clamped while still a float: NaN and out-of-range levels never reach
	// the integer conversion.
	if (!(fIndex > 0.0f))
		fIndex = 0.0f;
	else if (fIndex > fLast)
		fIndex = fLast;
	const int i = static_cast<int>(fIndex);
	const float f = fIndex - static_cast<float>(i);
	const int j = i < shaper.iLast ? i + 1 : i;
	if (fDriven > 0.0f)
		return (1.0f - f) * shaper.pfPos[i] + f * shaper.pfPos[j];
	if (fDriven < 0.0f)
		return -((1.0f - f) * shaper.pfNeg[i] + f * shaper.pfNeg[j]);
	return 0.0f;
}

float CMyDisto::Shape(float fDriven, const Shaper& shaper)
{
	if (fDriven == 0.0f)
		return 0.0f;
	return ShapeAtLevel(fDriven, 20.0f * std::log10(std::fabs(fDriven)) + 120.0f, shaper);
}

void CMyDisto::ConfigureFilters()
{
	const float fRate = SampleRateF();
	for (int i = 0; i < kNumFilters; ++i)
	{
		const FilterSetting& s = kFilterSettings[i];
		m_apFilters[i]->SetParameters(s.iType, static_cast<double>(s.fHz / fRate), kFilterQ, s.dGainDb);
	}
}

int CMyDisto::Process(const float* pfIn1, const float* pfIn2, float* pfOut1, float* pfOut2, int iCount)
{
	if (!m_afParams)
	{
		BRONTAL_ASSERT(false, "m_afParams", "MyDisto");
		return 0;
	}
	ConfigureFilters();
	if (!IsSwitchOn(GetParam(kDistortionOnOff)))
	{
		CopyStereo(pfIn1, pfIn2, pfOut1, pfOut2, iCount);
		return 1;
	}

	const float fDrive = DriveGain(GetParam(kDistortionLevel));
	Biquad& pre1 = *m_apFilters[kPreEmphasis1];
	Biquad& pre2 = *m_apFilters[kPreEmphasis2];
	Biquad& pre3 = *m_apFilters[kPreEmphasis3];
	Biquad& clipHighPass = *m_apFilters[kClipInputHighPass];
	Biquad& clipPresence = *m_apFilters[kClipPresence];
	Biquad& clipLowPass = *m_apFilters[kClipOutputLowPass];
	Biquad& lowPass1 = *m_apFilters[kShaper1LowPass];
	Biquad& lowPass2 = *m_apFilters[kShaper2LowPass];
	Biquad& lowPass3 = *m_apFilters[kShaper3LowPass];
	Biquad& lowPass4 = *m_apFilters[kShaper4LowPass];

	// The switch is written between blocks only, so it stays on for the whole
	// block and the 0.7 of the on path applies to every sample.
	for (int n = 0; n < iCount; ++n)
	{
		float x = pfIn1[n];
		if (!(std::fabs(x) <= kInputLimit))
			x = std::isnan(x) ? 0.0f : std::copysign(kInputLimit, x);

		const float s = (pre3.Biquad::ProcessSample(x) + pre1.Biquad::ProcessSample(x) +
		                 pre2.Biquad::ProcessSample(x) + x) * fDrive;

		float h = 25.0f * clipPresence.Biquad::ProcessSample(clipHighPass.Biquad::ProcessSample(s));
		h = h > 0.999f ? 0.999f : (h < -0.999f ? -0.999f : h);
		const float P = clipLowPass.Biquad::ProcessSample(h);

		const float o = 25.0f * s;
		const float T = o > 0.0f ? 1.0f - std::exp(-o) : std::exp(o) - 1.0f;

		// One logarithm serves all four shapers: they read the same level.
		float a = 0.0f, b = 0.0f, v = 0.0f, d = 0.0f;
		if (s != 0.0f)
		{
			const float fLevel = 20.0f * std::log10(std::fabs(s)) + 120.0f;
			a = ShapeAtLevel(s, fLevel, m_aShapers[kShaper1]);
			b = ShapeAtLevel(s, fLevel, m_aShapers[kShaper2]);
			v = ShapeAtLevel(s, fLevel, m_aShapers[kShaper3]);
			d = ShapeAtLevel(s, fLevel, m_aShapers[kShaper4]);
		}
		const float R = lowPass1.Biquad::ProcessSample(a);
		const float U = lowPass2.Biquad::ProcessSample(b);
		const float W = lowPass3.Biquad::ProcessSample(v);
		const float E = lowPass4.Biquad::ProcessSample(d);

		float y = -(0.6364f * T + 0.5504f * P + 0.47000003f * R + 0.3334f * U + 0.31313998f * W + 0.411f * E) *
		          kOutputTrim;
		y *= kOnGain;
		pfOut1[n] = y;
		pfOut2[n] = y;
	}
	return 1;
}
