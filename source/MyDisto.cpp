#include "MyDisto.h"

#include "Biquad.h"
#include "DistoTables.h"
#include "brontalassert.h"
#include "brontalparams.h"
#include "cpufeatures.h"
#include "simd.h"

#include <algorithm>
#include <cmath>
#include <cstring>

// Functions that take or give vectors of four doubles are always inlined
// into the chunk's two copies, so no call passes them between the plain and
// the AVX2 conventions.
#pragma GCC diagnostic ignored "-Wpsabi"

using simd::Load;
using simd::Store;
using simd::V2d;
using simd::V4d;
using simd::V4f;
using simd::V8f;

namespace {

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
const FilterSetting kSectionSettings[] = {{Biquad::kHighPass, 200.0f}, {Biquad::kPeak, 2500.0f}};
// The lowpasses after the clipper and after the shapers.
const FilterSetting kLowPasses[2] = {{Biquad::kLowPass, 4500.0f}, {Biquad::kLowPass, 10000.0f}};

// Mix weights of the branches (the shapers' own are in their pieces).
constexpr float kSoftWeight = 0.6364f;
constexpr float kClipWeight = 0.5504f;

// -10.528 dB after the mix, then the fixed 0.7 of the switched-on path.
const float kOutputTrim = static_cast<float>(std::pow(10.0, -0.5264));
constexpr float kOnGain = 0.7f;

// Far above any real signal, low enough that the drive and the filters stay
// finite: non-finite input would otherwise stick in the filter state.
constexpr float kInputLimit = 1.0e6f;

// The triangular window of the antiderivative method at twice the rate
// loses sinc²(f / 2fs); 1 + c - c·z^-1 puts it back within 0.03 dB up to
// 0.275 of the host rate.
constexpr float kWindowLossBoost = 0.05157f;

// Lanes of a bank of second-order sections held in registers while a chunk
// runs through them (transposed direct form II), as many as V holds.
template <typename V> struct Sections
{
	V b0, b1, b2, a1, a2, z1, z2;

	template <typename Bank>
	__attribute__((always_inline)) Sections(const Bank& bank, int iFirst)
	    : b0(Load<V>(bank.b0 + iFirst)), b1(Load<V>(bank.b1 + iFirst)), b2(Load<V>(bank.b2 + iFirst)),
	      a1(Load<V>(bank.a1 + iFirst)), a2(Load<V>(bank.a2 + iFirst)), z1(Load<V>(bank.z1 + iFirst)),
	      z2(Load<V>(bank.z2 + iFirst))
	{
	}

	template <typename Bank> __attribute__((always_inline)) void Save(Bank& bank, int iFirst) const
	{
		Store(bank.z1 + iFirst, z1);
		Store(bank.z2 + iFirst, z2);
	}

	__attribute__((always_inline)) V Run(V x)
	{
		const V y = b0 * x + z1;
		z1 = b1 * x + z2 - a1 * y;
		z2 = b2 * x - a2 * y;
		return y;
	}
};
} // namespace

CMyDisto::CMyDisto()
{
	std::memset(m_afInput, 0, sizeof m_afInput);
	std::memset(m_afCurveOut, 0, sizeof m_afCurveOut);
	Reset();
}

int CMyDisto::Reset()
{
	// A reset chain starts clean: nothing of the last take rings on.
	for (Section& q : m_aSections)
		q.z1 = q.z2 = 0.0;
	std::memset(m_peaks.z1, 0, sizeof m_peaks.z1);
	std::memset(m_peaks.z2, 0, sizeof m_peaks.z2);
	std::memset(m_lowPasses.z1, 0, sizeof m_lowPasses.z1);
	std::memset(m_lowPasses.z2, 0, sizeof m_lowPasses.z2);
	m_up = {};
	m_down = {};
	std::memset(m_afCurveOut, 0, sizeof m_afCurveOut);
	m_shaper.Reset();
	m_fLastMix = 0.0f;
	m_bAtRest = true;
	m_driveGlide.Snap();
	return 1;
}

bool CMyDisto::AtRest() const
{
	const auto zero = [](const auto& state) {
		for (const auto& v : state)
			if (v != 0)
				return false;
		return true;
	};
	bool bZero = zero(m_peaks.z1) && zero(m_peaks.z2) && zero(m_lowPasses.z1) && zero(m_lowPasses.z2) &&
	             zero(m_up.afInput) && zero(m_down.afInput) && zero(m_afCurveOut[0]) && m_fLastMix == 0.0f;
	for (const Section& q : m_aSections)
		bZero = bZero && q.z1 == 0.0 && q.z2 == 0.0;
	for (const auto& out : m_up.afOutput)
		bZero = bZero && zero(out);
	for (const auto& out : m_down.afOutput)
		bZero = bZero && zero(out);
	return bZero && m_shaper.AtRest();
}

int CMyDisto::SetSampleRate(const double* pdSampleRate)
{
	const int iResult = CMyEffect::SetSampleRate(pdSampleRate);
	if (iResult)
		DesignFilters();
	return iResult;
}

float CMyDisto::DriveFor(float fLevel)
{
	// A gain costs a power: worked out once per new level, not per block.
	if (!(fLevel == m_fGainLevel))
	{
		m_fGainLevel = fLevel;
		m_fGain = DriveGain(fLevel);
	}
	return m_fGain;
}

float CMyDisto::DriveGain(float fLevel)
{
	const double dDriveDb = 45.0 * fLevel - 40.0;
	return static_cast<float>(std::pow(10.0, dDriveDb / 20.0));
}

float CMyDisto::LevelIndex(float fDriven)
{
	return disto::LevelIndex(fDriven);
}

CMyDisto::CurvePoint CMyDisto::EvaluateCurve(int iCurve, double x)
{
	return CAntiderivativeShaper::Evaluate(iCurve, x);
}

void CMyDisto::DesignFilters()
{
	// The normalised frequency in single precision, widened, as the chain's
	// filter element is given it; the designs follow the rate, nothing else.
	const double dRate = *m_pdSampleRate;
	const float fRate = static_cast<float>(dRate);
	Biquad design;
	const auto setLane = [&design, fRate](auto& bank, int iLane, const FilterSetting& setting) {
		design.SetParameters(setting.iType, static_cast<double>(setting.fHz / fRate), kFilterQ, kPeakGainDb);
		design.GetCoefficients(bank.b0[iLane], bank.b1[iLane], bank.b2[iLane], bank.a1[iLane], bank.a2[iLane]);
	};
	for (int i = 0; i < 3; ++i)
		setLane(m_peaks, i, kPreEmphasis[i]);
	m_peaks.b0[3] = m_peaks.b1[3] = m_peaks.b2[3] = m_peaks.a1[3] = m_peaks.a2[3] = 0.0;
	for (int i = 0; i < 2; ++i)
		setLane(m_lowPasses, i, kLowPasses[i]);
	for (int i = 0; i < kNumSections; ++i)
	{
		design.SetParameters(kSectionSettings[i].iType, static_cast<double>(kSectionSettings[i].fHz / fRate),
		                     kFilterQ, kPeakGainDb);
		Section& q = m_aSections[i];
		design.GetCoefficients(q.b0, q.b1, q.b2, q.a1, q.a2);
	}
	m_bSteepDown = dRate > kSteepDownRate;
	m_dDesignedRate = dRate;
}

template <int kSections>
__attribute__((always_inline)) inline void CMyDisto::Finish(const float* pfBetas, float* pfOut1, float* pfOut2, int iCount)
{
	// Back to the host rate: even samples through the even branch, the odd
	// sample before them through the odd branch; the sum is the host-rate
	// sample (the curves come in halved). Then the branches' lowpasses, the
	// mix, the window's loss put back.
	// Each step reads the odd sample and the even one after it, the odd one
	// (the chunk before's last, first) in the first half of the lanes.
	HalfBandLanes<V8f, kSections / 2, true> pair(pfBetas, m_down);
	Sections<V2d> lowPasses(m_lowPasses, 0);
	float fLast = m_fLastMix;
	for (int n = 0; n < iCount; ++n)
	{
		const V8f y = pair.Run(Load<V8f>(m_afCurveOut[2 * n]));
		alignas(16) float pf[4];
		Store(pf, V4f{y[4], y[5], y[6], y[7]} + V4f{y[0], y[1], y[2], y[3]});
		const V2d filtered = lowPasses.Run(V2d{pf[kClipCurve], pf[kShaperCurve]});
		const float P = static_cast<float>(filtered[0]), R = static_cast<float>(filtered[1]);
		const float fMix = -(kSoftWeight * pf[kSoftCurve] + kClipWeight * P + R) * kOutputTrim;
		float y0 = (1.0f + kWindowLossBoost) * fMix - kWindowLossBoost * fLast;
		fLast = fMix;
		y0 *= kOnGain;
		pfOut1[n] = y0;
		pfOut2[n] = y0;
	}
	std::memcpy(m_afCurveOut[0], m_afCurveOut[2 * iCount], sizeof m_afCurveOut[0]);
	pair.Save(m_down);
	m_fLastMix = fLast;
	lowPasses.Save(m_lowPasses, 0);
}

// Host rate, recursive: pre-emphasis, drive and the clipper's filters; then
// both signals into twice the rate. A settled drive costs no ramp.
template <bool bRamp>
__attribute__((always_inline)) inline void CMyDisto::DriveChunk(const float* pfIn, int iCount, float fDrive,
                                                                float fDriveStep)
{
	{
		Sections<V4d> peaks(m_peaks, 0);
		// Copies, so that their state stays in registers.
		Section highPass = m_aSections[kClipInputHighPass];
		Section presence = m_aSections[kClipPresence];
		HalfBandLanes<V4f, kUpSections / 2, false> up(kUpHalfBand, m_up);
		for (int n = 0; n < iCount; ++n)
		{
			float x = pfIn[n];
			if (!(std::fabs(x) <= kInputLimit))
				x = std::isnan(x) ? 0.0f : std::copysign(kInputLimit, x);
			const double dx = x;
			const V4d y = peaks.Run(V4d{dx, dx, dx, dx});
			const V4f yf = __builtin_convertvector(y, V4f);
			const float s = (yf[2] + yf[0] + yf[1] + x) * (bRamp ? fDrive + fDriveStep * static_cast<float>(n + 1) : fDrive);
			const float fClip = presence.Run(highPass.Run(s));
			// The even output sample from the even branch, the odd one from the odd.
			Store(m_afInput[2 * n], up.Run(V4f{s, fClip, s, fClip}));
		}
		peaks.Save(m_peaks, 0);
		m_aSections[kClipInputHighPass] = highPass;
		m_aSections[kClipPresence] = presence;
		up.Save(m_up);
	}
}

__attribute__((always_inline)) inline void CMyDisto::RunChunk(const float* pfIn, float* pfOut1, float* pfOut2,
                                                              int iCount, float fDrive, float fDriveStep)
{
	if (fDriveStep == 0.0f)
		DriveChunk<false>(pfIn, iCount, fDrive, fDriveStep);
	else
		DriveChunk<true>(pfIn, iCount, fDrive, fDriveStep);
	m_shaper.Process(m_afInput, m_afCurveOut + 1, 2 * iCount);
	if (m_bSteepDown)
		Finish<kSteepDownSections>(kSteepDownHalfBand, pfOut1, pfOut2, iCount);
	else
		Finish<kDownSections>(kDownHalfBand, pfOut1, pfOut2, iCount);
}

void CMyDisto::ProcessChunk(const float* pfIn, float* pfOut1, float* pfOut2, int iCount, float fDrive,
                            float fDriveStep)
{
	RunBestBuild([&](auto) BRONTAL_INLINE { RunChunk(pfIn, pfOut1, pfOut2, iCount, fDrive, fDriveStep); });
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
		m_driveGlide.Snap();
		CopyStereo(pfIn1, pfIn2, pfOut1, pfOut2, iCount);
		return 1;
	}

	m_driveGlide.Follow(GetParam(kDistortionLevel), *m_pdSampleRate);
	// The switch is written between blocks only, so it stays on for the whole
	// block and the 0.7 of the on path applies to every sample.
	for (int iRunStart = 0; iRunStart < iCount;)
	{
		// A gliding level ramps the drive, sample by sample, across the run.
		const CLevelGlide::Run run = m_driveGlide.Next(iCount - iRunStart);
		const float fDriveFrom = DriveFor(run.fFrom);
		const float fDriveStep = run.Moving() ? (DriveFor(run.fTo) - fDriveFrom) / static_cast<float>(run.iCount) : 0.0f;
		for (int iDone = iRunStart; iDone < iRunStart + run.iCount; iDone += kChunk)
		{
			const int n = std::min(kChunk, iRunStart + run.iCount - iDone);
			const float fDrive = fDriveStep == 0.0f ? fDriveFrom : fDriveFrom + fDriveStep * static_cast<float>(iDone - iRunStart);
			// Silence into a stage at rest stays silence and leaves it at rest;
			// tails decay into this after a second or so.
			const bool bSilent = std::all_of(pfIn1 + iDone, pfIn1 + iDone + n, [](float f) { return f == 0.0f; });
			if (bSilent && m_bAtRest)
			{
				std::fill(pfOut1 + iDone, pfOut1 + iDone + n, 0.0f);
				std::fill(pfOut2 + iDone, pfOut2 + iDone + n, 0.0f);
				continue;
			}
			ProcessChunk(pfIn1 + iDone, pfOut1 + iDone, pfOut2 + iDone, n, fDrive, fDriveStep);
			m_bAtRest = bSilent && AtRest();
		}
		iRunStart += run.iCount;
	}
	return 1;
}
