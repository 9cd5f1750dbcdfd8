#include "MyEqu.h"

#include "Biquad.h"
#include "brontalassert.h"
#include "cpufeatures.h"
#include "simd.h"
#include "brontalparams.h"
#include "brontalvoicings.h"

#include <algorithm>
#include <cmath>

namespace {
using brontal::voicings::kEquBandHz;
using brontal::voicings::kEquBandQ;
static_assert(brontal::voicings::kBands == CMyEqu::kNumBands, "one curve value per band");

using simd::V8f;

// Eight rows of eight become eight columns.
__attribute__((always_inline)) inline void Transpose(V8f* r)
{
	V8f t[8], u[8];
	for (int i = 0; i < 8; i += 2)
	{
		t[i] = __builtin_shufflevector(r[i], r[i + 1], 0, 8, 1, 9, 4, 12, 5, 13);
		t[i + 1] = __builtin_shufflevector(r[i], r[i + 1], 2, 10, 3, 11, 6, 14, 7, 15);
	}
	for (int i = 0; i < 8; i += 4)
	{
		u[i] = __builtin_shufflevector(t[i], t[i + 2], 0, 1, 8, 9, 4, 5, 12, 13);
		u[i + 1] = __builtin_shufflevector(t[i], t[i + 2], 2, 3, 10, 11, 6, 7, 14, 15);
		u[i + 2] = __builtin_shufflevector(t[i + 1], t[i + 3], 0, 1, 8, 9, 4, 5, 12, 13);
		u[i + 3] = __builtin_shufflevector(t[i + 1], t[i + 3], 2, 3, 10, 11, 6, 7, 14, 15);
	}
	for (int b = 0; b < 4; ++b)
	{
		r[b] = __builtin_shufflevector(u[b], u[b + 4], 0, 1, 2, 3, 8, 9, 10, 11);
		r[b + 4] = __builtin_shufflevector(u[b], u[b + 4], 4, 5, 6, 7, 12, 13, 14, 15);
	}
}

// Samples filtered before their bands are summed.
constexpr int kStretch = 64;

// The bands' average times the output gain, written to both outputs: per
// sample the bands summed one after the other in single precision, eight
// samples side by side (the band outputs transposed).
__attribute__((always_inline)) inline void Filter(BiquadBank& bank, const float* pfIn, int iCount, float fOutputGain,
                                                  float* pfOut1, float* pfOut2)
{
	static_assert(CMyEqu::kNumBands == 7 && BiquadBank::kLanes == 8, "seven bands in eight lanes");
	alignas(32) float aafBands[kStretch][BiquadBank::kLanes];
	for (int iDone = 0; iDone < iCount; iDone += kStretch)
	{
		const int n = std::min(kStretch, iCount - iDone);
		bank.Filter(pfIn + iDone, n, aafBands);
		for (int i = 0; i < n; i += 8)
		{
			V8f r[8];
			__builtin_memcpy(r, aafBands[i], sizeof r);
			Transpose(r);
			V8f vSum = V8f{} + r[0];
			for (int b = 1; b < CMyEqu::kNumBands; ++b)
				vSum += r[b];
			const V8f y = vSum / 7.0f * fOutputGain;
			const int m = std::min(8, n - i);
			__builtin_memcpy(pfOut1 + iDone + i, &y, sizeof(float) * static_cast<size_t>(m));
			__builtin_memcpy(pfOut2 + iDone + i, &y, sizeof(float) * static_cast<size_t>(m));
		}
	}
}

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
	m_bank.ClearState();
	m_bankRight.ClearState();
	return 1;
}

void CMyEqu::SetStereo(bool bStereo)
{
	// Until now the right channel was the left one: its bank starts where the left one stands.
	if (bStereo && !m_bStereo)
		m_bankRight = m_bank;
	m_bStereo = bStereo;
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

int CMyEqu::Process(const float* pfIn1, const float* pfIn2, float* pfOut1, float* pfOut2, int iCount)
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
	const brontal::voicings::EquVoicing& voicing = brontal::voicings::kEqu[m_bPostCabinet ? 1 : 0][IsSwitchOn(GetParam(kDistortionOnOff)) ? 1 : 0];

	// The curve follows the switch and the rate from one block to the next,
	// an empty block included; the designs run only when either changed.
	const float fRate = SampleRateF();
	if (&voicing != m_pDesignedVoicing || fRate != m_fDesignedRate)
	{
		for (int b = 0; b < kNumBands; ++b)
		{
			m_apBands[b]->SetParameters(Biquad::kPeak, static_cast<double>(kEquBandHz[b] / fRate), kEquBandQ,
			                            static_cast<double>(2.0f * voicing.afBand[b]));
			m_bank.SetSection(b, *m_apBands[b]);
			m_bankRight.SetSection(b, *m_apBands[b]);
		}
		m_fOutputGain = static_cast<float>(std::pow(10.0, static_cast<double>(voicing.fOutputDb / 20.0f)));
		m_pDesignedVoicing = &voicing;
		m_fDesignedRate = fRate;
	}
	if (iCount <= 0)
		return 1;

	// A non-finite sample would stay in the sections' state for good: the
	// bank takes it as 0.
	// Eight lanes of state and coefficients fit the AVX2 registers; the plain
	// copy spills them.
	if (!m_bStereo)
	{
		RunBestBuild([&](auto) BRONTAL_INLINE { Filter(m_bank, pfIn1, iCount, m_fOutputGain, pfOut1, pfOut2); });
		return 1;
	}
	RunBestBuild([&](auto) BRONTAL_INLINE {
		Filter(m_bank, pfIn1, iCount, m_fOutputGain, pfOut1, pfOut1);
		Filter(m_bankRight, pfIn2, iCount, m_fOutputGain, pfOut2, pfOut2);
	});
	return 1;
}
