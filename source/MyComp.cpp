#include "MyComp.h"

#include "brontalassert.h"
#include "brontalparams.h"
#include "cpufeatures.h"
#include "fastmath.h"
#include "simd.h"

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

CMyComp::CMyComp() : m_allHistory(new int64_t[BUFCOMPSIZE]())
{
}

CMyComp::~CMyComp()
{
	delete[] m_allHistory;
}

int CMyComp::Reset()
{
	m_llLevelSum = 0;
	m_iState = 0;
	std::memset(m_allHistory, 0, sizeof(int64_t) * BUFCOMPSIZE);
	m_iWriteIndice = 0;
	Snap();
	return 1;
}

int CMyComp::MemorySamples() const
{
	return m_afParams && IsSwitchOn(GetParam(kGateCompOnOff)) ? BUFCOMPSIZE : 0;
}

// Moving average of the magnitude over the latest 1023 samples, divided by
// 1024, into m_afLevel: the one sequential part of the block.
void CMyComp::DetectMeans(const float* pfIn, int iCount)
{
	int64_t llSum = m_llLevelSum;
	int iWrite = m_iWriteIndice;
	for (int i = 0; i < iCount; ++i)
	{
		float fMagnitude = std::fabs(pfIn[i]);
		if (!(fMagnitude < kMaxMagnitude))
			fMagnitude = fMagnitude > 0.0f ? kMaxMagnitude : 0.0f;
		// Each magnitude is kept as the integer it truncates to, so what is
		// subtracted is exactly what was once added.
		const int64_t llMagnitude = static_cast<int64_t>(fMagnitude * kFixedOne);
		const int iNext = (iWrite + 1) & (BUFCOMPSIZE - 1);
		m_allHistory[iWrite] = llMagnitude;
		llSum += llMagnitude - m_allHistory[iNext];
		iWrite = iNext;
		m_afLevel[i] = static_cast<float>(llSum) * kMeanScale;
	}
	m_llLevelSum = llSum;
	m_iWriteIndice = iWrite;
}

namespace {
// What a stretch's gains depend on: the thresholds, and per state the line
// the gain follows in the level.
struct GainLines
{
	float fThreshold, fGateThreshold;
	float afOffset[3], afSlope[3];
};

// Each mean becomes its level, L = 20 log10(mean) + 3.8 dB (kept in
// pfLevel), which selects the state; the gain is 2^(offset + slope L).
__attribute__((always_inline)) inline void LevelsToGains(const GainLines& g, float* pfLevel, float* pfGain, int iCount)
{
	using simd::Select;
	using simd::V4f;
	using simd::V4i;
	const auto four = [&](int i) {
		const V4f fMean = simd::Load<V4f>(pfLevel + i);
		const V4f L = Select(fMean == 0.0f, V4f{} + kSilenceLevelDb, 20.0f * fastmath::Log10(fMean) + 3.8f);
		// Compression is tested second and wins where the two ranges meet.
		const V4i bCompressing = L >= g.fThreshold;
		const V4i bGating = g.fGateThreshold >= L;
		const V4f fOffset = Select(bCompressing, V4f{} + g.afOffset[1],
		                           Select(bGating, V4f{} + g.afOffset[2], V4f{} + g.afOffset[0]));
		const V4f fSlope = Select(bCompressing, V4f{} + g.afSlope[1],
		                          Select(bGating, V4f{} + g.afSlope[2], V4f{} + g.afSlope[0]));
		const V4f fGain = fastmath::Exp2(fOffset + fSlope * L);
		simd::Store(pfLevel + i, L);
		simd::Store(pfGain + i, fGain);
	};
	// Two groups at a time, whose long chains of operations overlap.
	for (int i = 0; i < iCount; i += 8)
	{
		four(i);
		four(i + 4);
	}
}

void LevelsToGainsBest(const GainLines& g, float* pfLevel, float* pfGain, int iCount)
{
	RunBestBuild([&](auto) BRONTAL_INLINE { LevelsToGains(g, pfLevel, pfGain, iCount); });
}
} // namespace

int CMyComp::Process(const float* pfIn1, const float* pfIn2, float* pfOut1, float* pfOut2, int iCount)
{
	if (!m_afParams)
	{
		BRONTAL_ASSERT(false, "m_afParams", "MyComp");
		return 0;
	}
	m_levelGlide.Follow(GetParam(kCompressorLevel), m_pdSampleRate ? *m_pdSampleRate : 0.0);

	// Switched on, the detector first catches up with the signal (its ring
	// holds whatever it held when last on), then the gains fade in.
	m_fade.Follow(IsSwitchOn(GetParam(kGateCompOnOff)), m_pdSampleRate ? *m_pdSampleRate : 0.0, BUFCOMPSIZE);
	if (m_fade.Off())
	{
		// Nobody hears the level: switched on, it is where it was set.
		m_levelGlide.Snap();
		CopyStereo(pfIn1, pfIn2, pfOut1, pfOut2, iCount);
		SetParam(kCompressionLed, 0.0f);
		return 1;
	}
	if (iCount <= 0)
		return 1;

	// The ring arithmetic keeps the write position in range; checked once a block.
	BRONTAL_ASSERT(m_iWriteIndice >= 0, "m_iWriteIndice >= 0", "MyComp");
	BRONTAL_ASSERT(m_iWriteIndice < BUFCOMPSIZE, "m_iWriteIndice < BUFCOMPSIZE", "MyComp");

	for (int iDone = 0; iDone < iCount;)
	{
		const CLevelGlide::Run run = m_levelGlide.Next(iCount - iDone);
		CompressRun(pfIn1 + iDone, pfOut1 + iDone, pfOut2 + iDone, run);
		iDone += run.iCount;
	}
	// The same signal scaled: the two paths add in phase.
	if (m_fade.Mixing())
		m_fade.Crossfade(pfIn1, pfOut1, pfIn2, pfOut2, iCount, CSwitchFade::kEqualGain);
	SetParam(kCompressionLed, m_iState == 1 ? 1.0f : 0.0f);
	return 1;
}

void CMyComp::CompressRun(const float* pfIn, float* pfOut1, float* pfOut2, const CLevelGlide::Run& run)
{
	// In every state the gain in dB is a straight line in the level L,
	// make-up + slope * L, so the linear gain is one base-2 power:
	//   linear      make-up
	//   compressing make-up - 0.532 (L - T)
	//   gating      make-up - (Tg - L)
	const auto linesFor = [](float fLevel) {
		const float fT = (1.0f - fLevel) * 30.0f - 50.0f;
		const float fTg = std::min(fT, kGateCeilingDb);
		const double dMakeUp = static_cast<double>(fLevel * kMakeUpPerLevelDb + kMakeUpDb);
		return GainLines{
			fT,
			fTg,
			{static_cast<float>(dMakeUp * kDbToLog2), static_cast<float>((dMakeUp + kCompressionSlope * fT) * kDbToLog2),
			 static_cast<float>((dMakeUp - fTg) * kDbToLog2)},
			{0.0f, static_cast<float>(-kCompressionSlope * kDbToLog2), static_cast<float>(kDbToLog2)},
		};
	};
	const int iCount = run.iCount;
	const GainLines lines = linesFor(run.fTo);
	const GainLines linesFrom = linesFor(run.fFrom);

	// A gliding level moves the gains across the run, from the first value's to the last's.
	for (int iDone = 0; iDone < iCount; iDone += kStretch)
	{
		const int n = std::min(kStretch, iCount - iDone);
		DetectMeans(pfIn + iDone, n);
		if (run.Moving())
		{
			std::memcpy(m_afFromLevel, m_afLevel, sizeof m_afFromLevel);
			LevelsToGainsBest(linesFrom, m_afFromLevel, m_afFromGain, n);
		}
		LevelsToGainsBest(lines, m_afLevel, m_afGain, n);
		if (run.Moving())
			for (int i = 0; i < n; ++i)
			{
				const float fNew = static_cast<float>(iDone + i + 1) / static_cast<float>(iCount);
				m_afGain[i] = fNew * m_afGain[i] + (1.0f - fNew) * m_afFromGain[i];
			}
		for (int i = 0; i < n; ++i)
		{
			const float y = m_afGain[i] * pfIn[iDone + i];
			pfOut1[iDone + i] = y;
			pfOut2[iDone + i] = y;
		}
	}
	const float L = m_afLevel[(iCount - 1) % kStretch];
	m_iState = L >= lines.fThreshold ? 1 : (lines.fGateThreshold >= L ? 2 : 0);
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
