#include "MyComp.h"

#include "brontalassert.h"
#include "brontalparams.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {
static_assert((CMyComp::BUFCOMPSIZE & (CMyComp::BUFCOMPSIZE - 1)) == 0, "the ring wraps by masking");

constexpr float kFixedOne = 4294967296.0f;                // 2^32
constexpr float kMeanScale = 1.0f / 4398046511104.0f;    // 2^-32 for the fixed point, 2^-10 for the 1024 divisor
constexpr float kSilenceLevelDb = -150.0f + 3.8f;
// Far above any real signal; keeps the 1023-entry fixed-point sum inside 64 bits.
constexpr float kMaxMagnitude = 1048576.0f;               // 2^20

constexpr float kGateCeilingDb = -27.84f;
constexpr float kMakeUpDb = 11.45f;
constexpr float kMakeUpPerLevelDb = 13.0f;
constexpr double kCompressionSlope = 0.532;
// 10^(dB/20) = 2^(dB * log2(10) / 20)
constexpr double kDbToLog2 = 0.16609640474436813;

// Written without a branch so that the loop over a block vectorises.
float Saturate(float a)
{
	const float fAbs = std::fabs(a);
	const float d = fAbs - 0.5f;
	const float d2 = d * d;
	// std::min keeps 1 for a NaN, so the host never receives more than full scale.
	const float fCurve = std::copysign(std::min(1.0f, d2 * d2 + 0.5f), a);
	return fAbs < 0.5f ? a : fCurve;
}
} // namespace

CMyComp::CMyComp() : m_afHistory(new float[BUFCOMPSIZE]())
{
}

CMyComp::~CMyComp()
{
	delete[] m_afHistory;
}

int CMyComp::Reset()
{
	m_llLevelSum = 0;
	m_iState = 0;
	std::memset(m_afHistory, 0, sizeof(float) * BUFCOMPSIZE);
	m_iWriteIndice = 0;
	return 1;
}

// Moving average of the magnitude over the latest 1023 samples, divided by
// 1024, in dB plus 3.8 (which brings a sine's rectified mean near its peak).
inline float CMyComp::DetectLevel(float fSample)
{
	float fMagnitude = std::fabs(fSample);
	if (!(fMagnitude < kMaxMagnitude))
		fMagnitude = fMagnitude > 0.0f ? kMaxMagnitude : 0.0f;

	const int iNext = (m_iWriteIndice + 1) & (BUFCOMPSIZE - 1);
	m_afHistory[m_iWriteIndice] = fMagnitude;
	// Each stored value always truncates to the same integer, so what is
	// subtracted is exactly what was once added.
	m_llLevelSum += static_cast<int64_t>(fMagnitude * kFixedOne) - static_cast<int64_t>(m_afHistory[iNext] * kFixedOne);
	m_iWriteIndice = iNext;

	const float fMean = static_cast<float>(m_llLevelSum) * kMeanScale;
	return fMean == 0.0f ? kSilenceLevelDb : 20.0f * std::log10(fMean) + 3.8f;
}

int CMyComp::Process(const float* pfIn1, const float* pfIn2, float* pfOut1, float* pfOut2, int iCount)
{
	if (!m_afParams)
	{
		BRONTAL_ASSERT(false, "m_afParams", "MyComp");
		return 0;
	}
	const float p = GetParam(kCompressorLevel);
	const float fThreshold = (1.0f - p) * 30.0f - 50.0f;
	const float fGateThreshold = std::min(fThreshold, kGateCeilingDb);

	if (!IsSwitchOn(GetParam(kGateCompOnOff)))
	{
		CopyStereo(pfIn1, pfIn2, pfOut1, pfOut2, iCount);
		SetParam(kCompressionLed, 0.0f);
		return 1;
	}
	if (iCount <= 0)
		return 1;

	// The ring arithmetic keeps the write position in range; checked once a block.
	BRONTAL_ASSERT(m_iWriteIndice >= 0, "m_iWriteIndice >= 0", "MyComp");
	BRONTAL_ASSERT(m_iWriteIndice < BUFCOMPSIZE, "m_iWriteIndice < BUFCOMPSIZE", "MyComp");

	// In every state the gain in dB is a straight line in the level L,
	// make-up + slope * L, so the linear gain is one base-2 power:
	//   linear      make-up
	//   compressing make-up - 0.532 (L - T)
	//   gating      make-up - (Tg - L)
	const double dMakeUp = static_cast<double>(p * kMakeUpPerLevelDb + kMakeUpDb);
	const float afGainOffset[3] = {
		static_cast<float>(dMakeUp * kDbToLog2),
		static_cast<float>((dMakeUp + kCompressionSlope * fThreshold) * kDbToLog2),
		static_cast<float>((dMakeUp - fGateThreshold) * kDbToLog2),
	};
	const float afGainSlope[3] = {0.0f, static_cast<float>(-kCompressionSlope * kDbToLog2),
	                              static_cast<float>(kDbToLog2)};

	int iState = m_iState;
	for (int i = 0; i < iCount; ++i)
	{
		const float x = pfIn1[i];
		const float L = DetectLevel(x);
		// Compression is tested second and wins where the two ranges meet.
		iState = L >= fThreshold ? 1 : (fGateThreshold >= L ? 2 : 0);
		const float fGain = std::exp2(afGainOffset[iState] + afGainSlope[iState] * L);
		pfOut1[i] = fGain * x;
		pfOut2[i] = fGain * x;
	}
	m_iState = iState;
	SetParam(kCompressionLed, iState == 1 ? 1.0f : 0.0f);
	return 1;
}

int CMyComp::ProcessSaturation(const float* pfIn1, const float* pfIn2, float* pfOut1, float* pfOut2, int iCount)
{
	BRONTAL_ASSERT(m_afParams, "m_afParams", "MyComp");
	// Both channels leave the straight line at the knee, so neither jumps.
	for (int i = 0; i < iCount; ++i)
	{
		pfOut1[i] = Saturate(6.0f * pfIn1[i]);
		pfOut2[i] = Saturate(6.0f * pfIn2[i]);
	}
	return 1;
}
