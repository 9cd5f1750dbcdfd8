#include "MyEqu.h"

#include "Biquad.h"
#include "brontalassert.h"
#include "brontalparams.h"

#include <cmath>

namespace {
constexpr float kBandFreqs[CMyEqu::kNumBands] = {40.0f, 150.0f, 400.0f, 800.0f, 1600.0f, 3200.0f, 6400.0f};
constexpr double kBandQ = 0.9;

// Per band a table value (the centre gain is twice it), then the output gain, in dB.
struct Voicing
{
	float afBand[CMyEqu::kNumBands];
	float fOutputDb;
};

// Indexed [post cabinet][distortion on].
constexpr Voicing kVoicings[2][2] = {
	{
		{{0.35309982f, 0.9716997f, 10.276499f, -6.1800003f, 15.0f, 15.0f, 15.0f}, -15.0f},
		{{-15.0f, -5.9033995f, 15.0f, 15.0f, 15.0f, 12.951601f, 0.8255997f}, -15.0f},
	},
	{
		{{15.0f, 15.0f, 4.697071f, -1.1999998f, 9.404699f, 12.0483f, 8.492102f}, -11.145f},
		{{15.0f, 10.971001f, 4.0949993f, 4.293001f, 4.6019993f, 8.229f, 10.352999f}, -4.365f},
	},
};
} // namespace

CMyEqu::CMyEqu()
{
	for (Biquad*& pBand : m_apBands)
		pBand = new Biquad;
}

CMyEqu::~CMyEqu()
{
	for (Biquad* pBand : m_apBands)
		delete pBand;
}

int CMyEqu::Reset()
{
	for (Biquad* pBand : m_apBands)
		pBand->Reset();
	return 1;
}

int CMyEqu::Configure(int i1, int i2, int i3, int i4, int i5, int i6, int i7, int i8, int i9, int i10,
                      bool bPostCabinet)
{
	const int aiConfig[10] = {i1, i2, i3, i4, i5, i6, i7, i8, i9, i10};
	for (int i = 0; i < 10; ++i)
		m_aiConfig[i] = aiConfig[i];
	m_bPostCabinet = bPostCabinet;
	return 1;
}

int CMyEqu::Process(const float* pfIn1, const float*, float* pfOut1, float* pfOut2, int iCount)
{
	if (!m_afParams)
	{
		BRONTAL_ASSERT(false, "m_afParams", "MyEqu");
		return 0;
	}
	if (!m_pdSampleRate)
	{
		BRONTAL_ASSERT(false, "m_pdSampleRate", "MyEqu");
		return 0;
	}
	const Voicing& voicing = kVoicings[m_bPostCabinet ? 1 : 0][IsSwitchOn(GetParam(kDistortionOnOff)) ? 1 : 0];

	// Runs even for an empty block, so the curve always follows the switch and the rate.
	const float fRate = SampleRateF();
	for (int b = 0; b < kNumBands; ++b)
		m_apBands[b]->SetParameters(Biquad::kPeak, static_cast<double>(kBandFreqs[b] / fRate), kBandQ,
		                            static_cast<double>(2.0f * voicing.afBand[b]));
	if (iCount <= 0)
		return 1;

	const float fOutputGain = static_cast<float>(std::pow(10.0, static_cast<double>(voicing.fOutputDb / 20.0f)));
	Biquad* const* const apBands = m_apBands;
	for (int i = 0; i < iCount; ++i)
	{
		// A non-finite sample would stay in the sections' state for good.
		const float x = std::isfinite(pfIn1[i]) ? pfIn1[i] : 0.0f;
		float fSum = 0.0f;
		for (int b = 0; b < kNumBands; ++b)
			fSum += apBands[b]->ProcessSample(x);
		const float y = fSum / 7.0f * fOutputGain;
		pfOut1[i] = y;
		pfOut2[i] = y;
	}
	return 1;
}
