#include "MyDisto.h"

#include "Biquad.h"
#include "brontalassert.h"
#include "brontaldata.h"
#include "brontalparams.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {
typedef double V2d __attribute__((vector_size(16)));
typedef float V4f __attribute__((vector_size(16)));
typedef int32_t V4i __attribute__((vector_size(16)));

struct FilterSetting
{
	int iType;
	float fHz;
};

// Every section has Q 0.55; the peaks raise their band by 20 dB.
constexpr double kFilterQ = 0.55;
constexpr double kPeakGainDb = 20.0;
const FilterSetting kPreEmphasis[3] = {{Biquad::kPeak, 500.0f}, {Biquad::kPeak, 800.0f}, {Biquad::kPeak, 2000.0f}};
// In the order of the section enumeration.
const FilterSetting kSectionSettings[] = {
	{Biquad::kHighPass, 200.0f}, {Biquad::kPeak, 2500.0f}, {Biquad::kLowPass, 4500.0f}, {Biquad::kLowPass, 10000.0f}};

// Mix weights of the branches.
constexpr float kSoftWeight = 0.6364f;
constexpr float kClipWeight = 0.5504f;
const double kShaperWeights[4] = {0.47000003f, 0.3334f, 0.31313998f, 0.411f};

// -10.528 dB after the mix, then the fixed 0.7 of the switched-on path.
const float kOutputTrim = static_cast<float>(std::pow(10.0, -0.5264));
constexpr float kOnGain = 0.7f;

// Far above any real signal, low enough that the drive and the filters stay
// finite: non-finite input would otherwise stick in the filter state.
constexpr float kInputLimit = 1.0e6f;

// The finest table has 200 entries per dB; the others fall on its entries
// (every 10th for shaper 1, every 4th for shapers 2 and 3), so one curve
// sampled at its spacing and read linearly is their weighted sum exactly.
constexpr int kLast = 24000;
constexpr float kEntriesPerDb = 200.0f;
// 200 entries per dB of 20·log10|s| = 200 · 20·log10(2) per octave.
constexpr float kEntriesPerOctave = 1204.1199826559248f;

const float* TableData(brontal::Blob blob, int iEntries)
{
	BRONTAL_ASSERT(blob.size == sizeof(float) * static_cast<size_t>(iEntries), "0", "MyDisto");
	return reinterpret_cast<const float*>(blob.data);
}

// The weighted sum of the four shapers at every entry of the finest table:
// positive half-wave first, then negative, each kLast + 2 entries long (the
// last repeated, so the entry after the top one can always be read).
const std::vector<float>& ShaperCurve()
{
	static const std::vector<float> curve = [] {
		namespace data = brontal::data;
		struct Table
		{
			const float* pfPos;
			const float* pfNeg;
			int iLast;
		};
		const Table tables[4] = {
			{TableData(data::afShape1_Pos(), 2401), TableData(data::afShape1_Neg(), 2401), 2400},
			{TableData(data::afShape2(), 6001), TableData(data::afShape2(), 6001), 6000},
			{TableData(data::afShape3(), 6001), TableData(data::afShape3(), 6001), 6000},
			{TableData(data::afShape4_Pos(), 24001), TableData(data::afShape4_Neg(), 24001), 24000},
		};
		std::vector<double> sum(2 * (kLast + 2), 0.0);
		for (int iHalf = 0; iHalf < 2; ++iHalf)
			for (int k = 0; k < 4; ++k)
			{
				const Table& t = tables[k];
				const float* pf = iHalf == 0 ? t.pfPos : t.pfNeg;
				const int iStep = kLast / t.iLast;
				double* pdOut = &sum[static_cast<size_t>(iHalf * (kLast + 2))];
				for (int j = 0; j < t.iLast; ++j)
					for (int m = 0; m < iStep; ++m)
					{
						const double f = static_cast<double>(m) / iStep;
						pdOut[j * iStep + m] += kShaperWeights[k] * ((1.0 - f) * pf[j] + f * pf[j + 1]);
					}
				pdOut[kLast] += kShaperWeights[k] * pf[t.iLast];
			}
		std::vector<float> v(sum.size());
		for (size_t i = 0; i < v.size(); ++i)
			v[i] = static_cast<float>(sum[i]);
		for (float* pfHalf : {&v[0], &v[kLast + 2]})
			pfHalf[kLast + 1] = pfHalf[kLast];
		return v;
	}();
	return curve;
}

V4f AsFloat(V4i v)
{
	V4f f;
	std::memcpy(&f, &v, sizeof f);
	return f;
}

V4i AsInt(V4f v)
{
	V4i i;
	std::memcpy(&i, &v, sizeof i);
	return i;
}

V4f Select(V4i mask, V4f a, V4f b)
{
	return AsFloat((mask & AsInt(a)) | (~mask & AsInt(b)));
}

// Natural logarithm of positive normal numbers: the mantissa brought to
// [sqrt(1/2), sqrt(2)), then a degree-9 minimax polynomial; about 1e-7
// relative.
V4f FastLog(V4f x)
{
	const V4i bits = AsInt(x);
	V4i e = ((bits >> 23) & 0xff) - 127;
	V4f m = AsFloat((bits & 0x7fffff) | 0x3f800000);
	const V4i big = m > 1.41421356f;
	m = Select(big, m * 0.5f, m);
	e -= big; // a true mask is -1
	const V4f t = m - 1.0f;
	V4f p = V4f{} + 7.0376836292e-2f;
	p = p * t - 1.1514610310e-1f;
	p = p * t + 1.1676998740e-1f;
	p = p * t - 1.2420140846e-1f;
	p = p * t + 1.4249322787e-1f;
	p = p * t - 1.6668057665e-1f;
	p = p * t + 2.0000714765e-1f;
	p = p * t - 2.4999993993e-1f;
	p = p * t + 3.3333331174e-1f;
	const V4f t2 = t * t;
	const V4f ln = t + t2 * (t * p - 0.5f);
	return ln + __builtin_convertvector(e, V4f) * 0.69314718056f;
}

// e^(-a) for 0 <= a <= 20: 2^-n · e^-r with |r| <= ln2/2, a degree-6
// polynomial for e^-r; about 1e-7 relative.
V4f FastExpNeg(V4f a)
{
	const V4f y = a * -1.44269504089f;
	const V4i n = __builtin_convertvector(y - 0.5f, V4i); // nearest, for y <= 0
	const V4f fn = __builtin_convertvector(n, V4f);
	const V4f r = (a * -1.0f + fn * -0.693359375f) + fn * 2.12194440e-4f;
	V4f p = V4f{} + 1.9875691500e-4f;
	p = p * r + 1.3981999507e-3f;
	p = p * r + 8.3334519073e-3f;
	p = p * r + 4.1665795894e-2f;
	p = p * r + 1.6666665459e-1f;
	p = p * r + 5.0000001201e-1f;
	const V4f er = p * (r * r) + r + 1.0f;
	return er * AsFloat((n + 127) << 23);
}

V4f Load(const float* pf)
{
	V4f v;
	std::memcpy(&v, pf, sizeof v);
	return v;
}

void Store(float* pf, V4f v)
{
	std::memcpy(pf, &v, sizeof v);
}

// Level index on the finest table, clamped to 0..kLast while still a float
// so NaN and out-of-range levels never reach an integer; |s| must not be 0.
V4f LevelIndices(V4f fAbs)
{
	V4f fIndex = FastLog(fAbs) * (kEntriesPerOctave * 1.44269504089f) + static_cast<float>(kLast);
	fIndex = Select(fIndex > 0.0f, fIndex, V4f{} + 0.0f);
	return Select(fIndex > static_cast<float>(kLast), V4f{} + static_cast<float>(kLast), fIndex);
}

float ReadCurve(const float* pfCurve, float fDriven, float fIndex)
{
	const int i = static_cast<int>(fIndex);
	const float f = fIndex - static_cast<float>(i);
	if (fDriven > 0.0f)
		return (1.0f - f) * pfCurve[i] + f * pfCurve[i + 1];
	if (fDriven < 0.0f)
	{
		const float* pfNeg = pfCurve + kLast + 2;
		return -((1.0f - f) * pfNeg[i] + f * pfNeg[i + 1]);
	}
	return 0.0f;
}
} // namespace

CMyDisto::CMyDisto()
{
	// Built here, on the thread that creates the chain, never while processing.
	ShaperCurve();
	std::memset(m_afDriven, 0, sizeof m_afDriven);
	std::memset(m_afShaped, 0, sizeof m_afShaped);
	std::memset(m_afSoft, 0, sizeof m_afSoft);
	std::memset(m_afClipped, 0, sizeof m_afClipped);
}

int CMyDisto::Reset()
{
	// A reset chain starts clean: nothing of the last take rings on.
	for (Section& q : m_aSections)
		q.z1 = q.z2 = 0.0;
	std::memset(m_peaks.z1, 0, sizeof m_peaks.z1);
	std::memset(m_peaks.z2, 0, sizeof m_peaks.z2);
	return 1;
}

int CMyDisto::SetSampleRate(const double* pdSampleRate)
{
	const int iResult = CMyEffect::SetSampleRate(pdSampleRate);
	if (iResult)
		DesignFilters();
	return iResult;
}

float CMyDisto::DriveGain(float fLevel)
{
	const double dDriveDb = 45.0 * fLevel - 40.0;
	return static_cast<float>(std::pow(10.0, dDriveDb / 20.0));
}

float CMyDisto::LevelIndex(float fDriven)
{
	const float fAbs = std::fabs(fDriven);
	if (!(fAbs > 0.0f))
		return 0.0f;
	return LevelIndices(V4f{} + fAbs)[0];
}

float CMyDisto::Shape(float fDriven)
{
	return ReadCurve(ShaperCurve().data(), fDriven, LevelIndex(fDriven));
}

void CMyDisto::DesignFilters()
{
	// The normalised frequency in single precision, widened, as the chain's
	// filter element is given it; the designs follow the rate, nothing else.
	const double dRate = *m_pdSampleRate;
	const float fRate = static_cast<float>(dRate);
	Biquad design;
	double b0, b1, b2, a1, a2;
	for (int i = 0; i < 3; ++i)
	{
		design.SetParameters(kPreEmphasis[i].iType, static_cast<double>(kPreEmphasis[i].fHz / fRate), kFilterQ,
		                     kPeakGainDb);
		design.GetCoefficients(b0, b1, b2, a1, a2);
		m_peaks.b0[i] = b0, m_peaks.b1[i] = b1, m_peaks.b2[i] = b2, m_peaks.a1[i] = a1, m_peaks.a2[i] = a2;
	}
	m_peaks.b0[3] = m_peaks.b1[3] = m_peaks.b2[3] = m_peaks.a1[3] = m_peaks.a2[3] = 0.0;
	for (int i = 0; i < kNumSections; ++i)
	{
		design.SetParameters(kSectionSettings[i].iType, static_cast<double>(kSectionSettings[i].fHz / fRate),
		                     kFilterQ, kPeakGainDb);
		Section& q = m_aSections[i];
		design.GetCoefficients(q.b0, q.b1, q.b2, q.a1, q.a2);
	}
	m_dDesignedRate = dRate;
}

void CMyDisto::ProcessChunk(const float* pfIn, float* pfOut1, float* pfOut2, int iCount)
{
	// Stage 1, recursive: pre-emphasis, drive and the hard-clip branch.
	{
		V2d b0[2], b1[2], b2[2], a1[2], a2[2], z1[2], z2[2];
		std::memcpy(b0, m_peaks.b0, sizeof b0);
		std::memcpy(b1, m_peaks.b1, sizeof b1);
		std::memcpy(b2, m_peaks.b2, sizeof b2);
		std::memcpy(a1, m_peaks.a1, sizeof a1);
		std::memcpy(a2, m_peaks.a2, sizeof a2);
		std::memcpy(z1, m_peaks.z1, sizeof z1);
		std::memcpy(z2, m_peaks.z2, sizeof z2);
		Section& highPass = m_aSections[kClipInputHighPass];
		Section& presence = m_aSections[kClipPresence];
		Section& lowPass = m_aSections[kClipOutputLowPass];
		const float fDrive = m_fDrive;
		for (int n = 0; n < iCount; ++n)
		{
			float x = pfIn[n];
			if (!(std::fabs(x) <= kInputLimit))
				x = std::isnan(x) ? 0.0f : std::copysign(kInputLimit, x);
			const double dx = x;
			const V2d vx = {dx, dx};
			V2d y[2];
			for (int h = 0; h < 2; ++h)
			{
				y[h] = b0[h] * vx + z1[h];
				z1[h] = b1[h] * vx + z2[h] - a1[h] * y[h];
				z2[h] = b2[h] * vx - a2[h] * y[h];
			}
			const float s =
			    (static_cast<float>(y[1][0]) + static_cast<float>(y[0][0]) + static_cast<float>(y[0][1]) + x) * fDrive;
			m_afDriven[n] = s;

			float h = 25.0f * presence.Run(highPass.Run(s));
			h = h > 0.999f ? 0.999f : (h < -0.999f ? -0.999f : h);
			m_afClipped[n] = lowPass.Run(h);
		}
		std::memcpy(m_peaks.z1, z1, sizeof z1);
		std::memcpy(m_peaks.z2, z2, sizeof z2);
	}

	// Stage 2, four samples at a time: the soft clipper and the shapers'
	// level index, one logarithm serving all four shapers.
	const float* pfCurve = ShaperCurve().data();
	for (int n = 0; n < iCount; n += 4)
	{
		const V4f s = Load(&m_afDriven[n]);
		const V4f fAbs = Select(s < 0.0f, -s, s);
		// 1 - e^-o saturates in float well before o = 20.
		const V4f o = 25.0f * fAbs;
		const V4f e = FastExpNeg(Select(o < 20.0f, o, V4f{} + 20.0f));
		const V4f soft = 1.0f - e;
		Store(&m_afSoft[n], Select(s < 0.0f, -soft, soft));
		const V4f index = LevelIndices(Select(fAbs > 0.0f, fAbs, V4f{} + 1.0f));
		for (int k = 0; k < 4; ++k)
			m_afShaped[n + k] = ReadCurve(pfCurve, s[k], index[k]);
	}

	// Stage 3, recursive: the shapers' lowpass and the mix.
	Section& shaperLowPass = m_aSections[kShaperLowPass];
	for (int n = 0; n < iCount; ++n)
	{
		const float R = shaperLowPass.Run(m_afShaped[n]);
		float y = -(kSoftWeight * m_afSoft[n] + kClipWeight * m_afClipped[n] + R) * kOutputTrim;
		y *= kOnGain;
		pfOut1[n] = y;
		pfOut2[n] = y;
	}
}

int CMyDisto::Process(const float* pfIn1, const float* pfIn2, float* pfOut1, float* pfOut2, int iCount)
{
	if (!m_afParams)
	{
		BRONTAL_ASSERT(false, "m_afParams", "MyDisto");
		return 0;
	}
	if (*m_pdSampleRate != m_dDesignedRate)
		DesignFilters();
	if (!IsSwitchOn(GetParam(kDistortionOnOff)))
	{
		CopyStereo(pfIn1, pfIn2, pfOut1, pfOut2, iCount);
		return 1;
	}

	const float fLevel = GetParam(kDistortionLevel);
	if (!(fLevel == m_fDriveLevel))
	{
		m_fDriveLevel = fLevel;
		m_fDrive = DriveGain(fLevel);
	}
	// The switch is written between blocks only, so it stays on for the whole
	// block and the 0.7 of the on path applies to every sample.
	for (int iDone = 0; iDone < iCount; iDone += kChunk)
	{
		const int n = iCount - iDone < kChunk ? iCount - iDone : kChunk;
		ProcessChunk(pfIn1 + iDone, pfOut1 + iDone, pfOut2 + iDone, n);
	}
	return 1;
}
