#include "Tuner.h"

#include "brontalparams.h"
#include "cpufeatures.h"
#include "simd.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr double kPi = 3.14159265358979323846;
// The decimated rate is at least this: the coarse search at half of it
// still sees the highest fundamental at two samples a period or more.
constexpr double kLowestDecimatedRate = 5000.0;
// Taps per decimation step: a Kaiser-windowed sinc of this length passes
// the fundamentals' band and keeps what would fold onto it 60 dB down.
constexpr int kTapsPerStep = 8;
constexpr double kKaiserBeta = 6.0;
// Below this RMS (-60 dBFS) there is no note to read.
constexpr double kGateRms = 1.0e-3;
// A period the normalised autocorrelation finds this clearly is a note;
// noise stays far below it.
constexpr float kClarity = 0.8f;
// The first peak within this share of the highest one is the period, so a
// strong second harmonic never halves it.
constexpr float kPeakShare = 0.9f;
// Other lags are tried down to this share of the highest peak.
constexpr float kCandidateShare = 0.5f;
constexpr int kMaxKeyMaxima = 64;
// Samples of the coarse signal a short lag's comparison takes at least.
constexpr int kShortestCoarseWindow = 32;
// While a note is held, its fundamental must keep this share of the
// signal's energy, and two estimates of it must agree this closely.
constexpr double kFundamentalShare = 0.02;
constexpr double kAgreement = 0.02;
// The earlier window must hold at least this share of the newest's energy.
constexpr double kOnsetShare = 0.5;
// Fine windows: at least this long and two periods; the second estimate
// reaches this far back.
constexpr double kFineWindowSeconds = 0.03;
constexpr double kFineSpanSeconds = 0.03;
constexpr double kLevelSeconds = 0.03;

double BesselI0(double x)
{
	double dSum = 1.0, dTerm = 1.0;
	for (int k = 1; k < 40; ++k)
	{
		dTerm *= (x / (2.0 * k)) * (x / (2.0 * k));
		dSum += dTerm;
	}
	return dSum;
}

// An angle brought into -pi..pi.
double Wrapped(double dAngle)
{
	return dAngle - 2.0 * kPi * std::floor((dAngle + kPi) / (2.0 * kPi));
}

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpsabi"
// Sum of a[i] * b[i] over iCount (a multiple of 4) samples: four lanes in
// four running sums, so that no add waits for the one before it; pairs of
// them in one wide vector, which the AVX2 copy adds at once.
__attribute__((always_inline)) inline float Dot(const float* pfA, const float* pfB, int iCount)
{
	using simd::Load;
	using simd::V4f;
	using simd::V8f;
	V8f a01{}, a23{};
	int i = 0;
	for (; i + 16 <= iCount; i += 16)
	{
		a01 += Load<V8f>(pfA + i) * Load<V8f>(pfB + i);
		a23 += Load<V8f>(pfA + i + 8) * Load<V8f>(pfB + i + 8);
	}
	V4f a0 = __builtin_shufflevector(a01, a01, 0, 1, 2, 3);
	const V4f a1 = __builtin_shufflevector(a01, a01, 4, 5, 6, 7);
	const V4f a2 = __builtin_shufflevector(a23, a23, 0, 1, 2, 3), a3 = __builtin_shufflevector(a23, a23, 4, 5, 6, 7);
	for (; i < iCount; i += 4)
		a0 += Load<V4f>(pfA + i) * Load<V4f>(pfB + i);
	const V4f sum = (a0 + a1) + (a2 + a3);
	return (sum[0] + sum[1]) + (sum[2] + sum[3]);
}
#pragma GCC diagnostic pop

// Input taken in pieces of at most this many samples behind the taps' history.
constexpr int kPiece = 256;

} // namespace

TunerReading ReadingOf(double dHz, double dReferenceHz)
{
	TunerReading reading;
	if (!(dHz > 0.0) || !(dReferenceHz > 0.0))
		return reading;
	const double dSemitones = 12.0 * std::log2(dHz / dReferenceHz);
	const double dNearest = std::floor(dSemitones + 0.5);
	reading.bHeld = true;
	reading.iNote = 69 + static_cast<int>(dNearest);
	reading.dCents = 100.0 * (dSemitones - dNearest);
	return reading;
}

void CPitchDetector::SetSampleRate(double dRate)
{
	const double dHostRate = dRate > 0.0 && std::isfinite(dRate) ? dRate : 48000.0;
	m_iFactor = 1;
	while (m_iFactor < 1024 && dHostRate / (2.0 * m_iFactor) >= kLowestDecimatedRate)
		m_iFactor *= 2;
	m_dRate = dHostRate / m_iFactor;

	const int iTaps = kTapsPerStep * m_iFactor;
	m_afTaps.assign(static_cast<size_t>(iTaps), 0.0f);
	const double dCutoff = 0.475 / m_iFactor; // cycles per host sample
	const double dCentre = 0.5 * (iTaps - 1);
	double dSum = 0.0;
	std::vector<double> adTaps(static_cast<size_t>(iTaps));
	for (int n = 0; n < iTaps; ++n)
	{
		const double t = n - dCentre;
		const double dSinc = 2.0 * dCutoff * (t == 0.0 ? 1.0 : std::sin(2.0 * kPi * dCutoff * t) / (2.0 * kPi * dCutoff * t));
		const double r = t / (dCentre + 0.5);
		adTaps[static_cast<size_t>(n)] = dSinc * BesselI0(kKaiserBeta * std::sqrt(std::max(0.0, 1.0 - r * r))) / BesselI0(kKaiserBeta);
		dSum += adTaps[static_cast<size_t>(n)];
	}
	for (int n = 0; n < iTaps; ++n)
		m_afTaps[static_cast<size_t>(n)] = static_cast<float>(adTaps[static_cast<size_t>(n)] / dSum);
	m_afHistory.assign(static_cast<size_t>(iTaps - 1 + kPiece), 0.0f);

	// The longest stretch the analysis reads: two periods of the lowest
	// note and the second estimate's reach, or the coarse search's two
	// longest periods at half the rate.
	const int iFrame = static_cast<int>(std::ceil((2.0 / kLowestHz + kFineSpanSeconds) * m_dRate)) + 16;
	size_t uRing = 1;
	while (uRing < static_cast<size_t>(iFrame))
		uRing *= 2;
	m_afRing.assign(2 * uRing, 0.0f);
	m_iFrame = iFrame;
	const int iMaxLag = static_cast<int>(std::ceil(0.5 * m_dRate / kLowestHz)) + 2;
	m_afCoarse.assign(static_cast<size_t>(4 * iMaxLag + 16), 0.0f);
	m_afNsdf.assign(static_cast<size_t>(iMaxLag + 1), 0.0f);
	m_adEnergy.assign(m_afCoarse.size() + 1, 0.0);
	// Four more: the kernel is made four at a time.
	m_afKernelRe.assign(static_cast<size_t>(iFrame + 4), 0.0f);
	m_afKernelIm.assign(static_cast<size_t>(iFrame + 4), 0.0f);
	m_iHop = std::max(1, static_cast<int>(std::lround(kHopSeconds * m_dRate)));
	Reset();
}

void CPitchDetector::Reset()
{
	std::fill(m_afHistory.begin(), m_afHistory.end(), 0.0f);
	std::fill(m_afRing.begin(), m_afRing.end(), 0.0f);
	m_iPhase = 0;
	m_uWritten = 0;
	m_iToHop = m_iHop;
	m_dTrackHz = 0.0;
}

void CPitchDetector::Push(const float* pfIn, int iCount)
{
	RunBestBuild([&](auto) BRONTAL_INLINE { PushIn(pfIn, iCount); });
}

__attribute__((always_inline)) inline void CPitchDetector::PushIn(const float* pfIn, int iCount)
{
	const int iTaps = static_cast<int>(m_afTaps.size());
	if (iTaps == 0)
		return;
	// Each piece goes behind the last taps' worth of input, so that every
	// output's window is one run of memory.
	float* pfHistory = m_afHistory.data();
	const unsigned uRing = static_cast<unsigned>(m_afRing.size() / 2);
	while (iCount > 0)
	{
		const int iPiece = std::min(iCount, kPiece);
		std::memcpy(pfHistory + iTaps - 1, pfIn, sizeof(float) * static_cast<size_t>(iPiece));
		for (int i = m_iFactor - 1 - m_iPhase; i < iPiece; i += m_iFactor)
		{
			// The taps are symmetric: oldest-first order needs no reversal.
			const unsigned uAt = m_uWritten++ & (uRing - 1);
			m_afRing[uAt] = m_afRing[uAt + uRing] = Dot(m_afTaps.data(), pfHistory + i, iTaps);
			if (--m_iToHop == 0)
			{
				Analyse();
				// A held note is followed at half the rate a new one is
				// looked for: the display needs no more.
				m_iToHop = m_dTrackHz > 0.0 ? 2 * m_iHop : m_iHop;
			}
		}
		m_iPhase = (m_iPhase + iPiece) % m_iFactor;
		std::memmove(pfHistory, pfHistory + iPiece, sizeof(float) * static_cast<size_t>(iTaps - 1));
		pfIn += iPiece;
		iCount -= iPiece;
	}
}

__attribute__((always_inline)) inline void CPitchDetector::Analyse()
{
	// The newest stretch is one run of the ring, which holds everything twice.
	const int iFrame = m_iFrame;
	const unsigned uMask = static_cast<unsigned>(m_afRing.size() / 2 - 1);
	const float* pfFrame = m_afRing.data() + ((m_uWritten - static_cast<unsigned>(iFrame)) & uMask);

	const int iLevel = std::min(iFrame, static_cast<int>(kLevelSeconds * m_dRate));
	// Four running sums, so that no add waits for the one before it.
	double adEnergy[4] = {};
	int iAt = iFrame - iLevel;
	for (; iAt + 4 <= iFrame; iAt += 4)
		for (int k = 0; k < 4; ++k)
			adEnergy[k] += static_cast<double>(pfFrame[iAt + k]) * pfFrame[iAt + k];
	for (; iAt < iFrame; ++iAt)
		adEnergy[0] += static_cast<double>(pfFrame[iAt]) * pfFrame[iAt];
	const double dEnergy = (adEnergy[0] + adEnergy[1]) + (adEnergy[2] + adEnergy[3]);
	if (!(dEnergy >= kGateRms * kGateRms * iLevel))
	{
		m_dTrackHz = 0.0;
		return;
	}
	// Held, the fundamental is followed where it is; lost (a new note, or
	// the old one gone into noise), the period is searched afresh.
	double dHz = m_dTrackHz > 0.0 ? FineHz(pfFrame, iFrame, m_dTrackHz) : 0.0;
	if (dHz == 0.0)
	{
		double adCandidates[kCandidates];
		const int iCandidates = CoarseHz(pfFrame, iFrame, adCandidates);
		for (int k = 0; k < iCandidates && dHz == 0.0; ++k)
			dHz = FineHz(pfFrame, iFrame, adCandidates[k]);
	}
	m_dTrackHz = dHz >= kLowestHz && dHz <= kHighestHz ? dHz : 0.0;
}

__attribute__((always_inline)) inline int CPitchDetector::CoarseHz(const float* pfFrame, int iFrame, double (&adHz)[kCandidates])
{
	const double dCoarseRate = 0.5 * m_dRate;
	const int iMaxLag = static_cast<int>(m_afNsdf.size()) - 1;
	// The longest window: one longest period, in whole lanes.
	const int iWindow = (iMaxLag + 7) / 8 * 8;
	const int iCoarse = iWindow + iMaxLag + 1;
	if (2 * iCoarse + 2 > iFrame || iCoarse > static_cast<int>(m_afCoarse.size()))
		return 0;
	float* c = m_afCoarse.data();
	for (int i = 0; i < iCoarse; ++i)
	{
		const int k = iFrame - 2 - 2 * (iCoarse - 1 - i);
		c[i] = 0.25f * pfFrame[k - 1] + 0.5f * pfFrame[k] + 0.25f * pfFrame[k + 1];
	}
	// Each lag compares the newest stretch of at least one period of it
	// (and of some minimum length) with the stretch that lag before; the
	// energies come from running sums, four at a time: each four's own sums
	// first, so that only one add a four waits for the total before it.
	double* pdEnergy = m_adEnergy.data();
	pdEnergy[0] = 0.0;
	double dTotal = 0.0;
	int iAt = 0;
	for (; iAt + 4 <= iCoarse; iAt += 4)
	{
		double adOwn[4];
		adOwn[0] = static_cast<double>(c[iAt]) * c[iAt];
		for (int k = 1; k < 4; ++k)
			adOwn[k] = adOwn[k - 1] + static_cast<double>(c[iAt + k]) * c[iAt + k];
		for (int k = 0; k < 4; ++k)
			pdEnergy[iAt + k + 1] = dTotal + adOwn[k];
		dTotal = pdEnergy[iAt + 4];
	}
	for (; iAt < iCoarse; ++iAt)
		pdEnergy[iAt + 1] = pdEnergy[iAt] + static_cast<double>(c[iAt]) * c[iAt];
	const auto energy = [&](int iFrom, int iTo) { return static_cast<float>(pdEnergy[iTo] - pdEnergy[iFrom]); };
	float* pfNsdf = m_afNsdf.data();
	pfNsdf[0] = 1.0f;
	for (int t = 1; t <= iMaxLag; ++t)
	{
		const int iLagWindow = std::max(kShortestCoarseWindow, (t + 7) / 8 * 8);
		const float* pfNewest = c + iCoarse - iLagWindow;
		const float fDenominator =
		    energy(iCoarse - iLagWindow, iCoarse) + energy(iCoarse - iLagWindow - t, iCoarse - t);
		pfNsdf[t] = fDenominator > 0.0f ? 2.0f * Dot(pfNewest, pfNewest - t, iLagWindow) / fDenominator : 0.0f;
	}

	// The key maxima: the highest point of each positive lobe after the
	// first fall below zero.
	int t = 1;
	while (t < iMaxLag && pfNsdf[t] > 0.0f)
		++t;
	int aiPeaks[kMaxKeyMaxima];
	int iPeaks = 0;
	float fHighest = 0.0f;
	while (t < iMaxLag && iPeaks < kMaxKeyMaxima)
	{
		while (t < iMaxLag && pfNsdf[t] <= 0.0f)
			++t;
		int iPeak = t;
		while (t < iMaxLag && pfNsdf[t] > 0.0f)
		{
			if (pfNsdf[t] > pfNsdf[iPeak])
				iPeak = t;
			++t;
		}
		if (iPeak < iMaxLag && pfNsdf[iPeak] > 0.0f)
		{
			aiPeaks[iPeaks++] = iPeak;
			fHighest = std::max(fHighest, pfNsdf[iPeak]);
		}
	}
	if (fHighest < kClarity)
		return 0;
	// The first within a share of the highest is the period. Where its
	// fundamental is not there after all (a high note whose peaks the coarse
	// rate samples too sparsely, so that a multiple of its period stands
	// highest), the shorter periods before it are tried, shortest first.
	int iCount = 0;
	int iPick = 0;
	while (iPick < iPeaks && pfNsdf[aiPeaks[iPick]] < kPeakShare * fHighest)
		++iPick;
	std::rotate(aiPeaks, aiPeaks + iPick, aiPeaks + iPick + 1);
	iPeaks = std::min(iPeaks, iPick + 1);
	for (int k = 0; k < iPeaks && iCount < kCandidates; ++k)
	{
		const int iPeak = aiPeaks[k];
		if (pfNsdf[iPeak] < kCandidateShare * fHighest)
			continue;
		const double a = pfNsdf[iPeak - 1], b = pfNsdf[iPeak], d = pfNsdf[iPeak + 1];
		const double dCurve = a - 2.0 * b + d;
		const double dShift = dCurve < 0.0 ? 0.5 * (a - d) / dCurve : 0.0;
		adHz[iCount++] = dCoarseRate / (iPeak + std::clamp(dShift, -0.5, 0.5));
	}
	return iCount;
}

__attribute__((always_inline)) inline double CPitchDetector::FineHz(const float* pfFrame, int iFrame, double dHz)
{
	// Two periods first, whose wide lobe holds the fundamental even where
	// the coarse estimate is some percent off; then whole periods over the
	// full window, each step reaching four times further back than the one
	// before, so that none is ever a whole turn out.
	const double dPeriod = m_dRate / dHz;
	const int iNear = std::max(1, static_cast<int>(std::lround(dPeriod)));
	const int iFar = std::max(iNear, static_cast<int>(std::lround(kFineSpanSeconds * m_dRate)));
	const double dNear = Advance(pfFrame, iFrame, dHz, 2.0, iNear);
	double dFar = dNear;
	for (int iLag = 4 * iNear; dFar > 0.0; iLag *= 4)
	{
		dFar = Advance(pfFrame, iFrame, dFar, std::max(2.0, std::round(kFineWindowSeconds * dFar)), std::min(iLag, iFar));
		if (iLag >= iFar)
			break;
	}
	return dFar > 0.0 && std::fabs(dFar - dNear) <= kAgreement * dNear ? dFar : 0.0;
}

__attribute__((always_inline)) inline double CPitchDetector::Advance(const float* pfFrame, int iFrame, double dHz, double dPeriods, int iLag)
{
	const double dOmega = 2.0 * kPi * dHz / m_dRate;
	// Whole periods, so that the harmonics sit in the window's nulls.
	const int iWindow = std::min(iFrame - iLag - 4, static_cast<int>(std::lround(dPeriods * m_dRate / dHz)));
	if (iWindow < 8)
		return 0.0;
	// Whole lanes: the kernel starts with zeros up to a multiple of four.
	const int iLanes = (iWindow + 3) / 4 * 4;
	const int iPad = iLanes - iWindow;

	// The Hann-windowed kernel at dHz, by rotation in four lanes side by
	// side (past the window's end too: nothing reads there). Both windows
	// share it, so its rounding cancels in the phase advance.
	using simd::V4d;
	using simd::V4f;
	float* pfRe = m_afKernelRe.data();
	float* pfIm = m_afKernelIm.data();
	std::fill(pfRe, pfRe + iPad, 0.0f);
	std::fill(pfIm, pfIm + iPad, 0.0f);
	const double dWinStep = 2.0 * kPi / iWindow;
	V4d vCos, vSin, vWc, vWs;
	for (int k = 0; k < 4; ++k)
	{
		vCos[k] = std::cos(dOmega * k);
		vSin[k] = std::sin(dOmega * k);
		vWc[k] = std::cos(dWinStep * (k + 0.5));
		vWs[k] = std::sin(dWinStep * (k + 0.5));
	}
	const double dStepCos = std::cos(4.0 * dOmega), dStepSin = std::sin(4.0 * dOmega);
	const double dWinCos = std::cos(4.0 * dWinStep), dWinSin = std::sin(4.0 * dWinStep);
	for (int n = 0; n < iWindow; n += 4)
	{
		const V4d w = 0.5 - 0.5 * vWc;
		simd::Store(pfRe + iPad + n, __builtin_convertvector(w * vCos, V4f));
		simd::Store(pfIm + iPad + n, __builtin_convertvector(-w * vSin, V4f));
		const V4d vNextCos = vCos * dStepCos - vSin * dStepSin;
		vSin = vSin * dStepCos + vCos * dStepSin;
		vCos = vNextCos;
		const V4d vNextWc = vWc * dWinCos - vWs * dWinSin;
		vWs = vWs * dWinCos + vWc * dWinSin;
		vWc = vNextWc;
	}
	// The newest window and the one iLag samples before it.
	const float* pfNewest = pfFrame + iFrame - iLanes;
	const double adRe[2] = {Dot(pfRe, pfNewest, iLanes), Dot(pfRe, pfNewest - iLag, iLanes)};
	const double adIm[2] = {Dot(pfIm, pfNewest, iLanes), Dot(pfIm, pfNewest - iLag, iLanes)};
	double dWeighted = 0.0, dWeightedBefore = 0.0;
	for (int n = 0; n < iLanes; ++n)
	{
		const double w2 = static_cast<double>(pfRe[n]) * pfRe[n] + static_cast<double>(pfIm[n]) * pfIm[n];
		dWeighted += w2 * pfNewest[n] * pfNewest[n];
		dWeightedBefore += w2 * pfNewest[n - iLag] * pfNewest[n - iLag];
	}
	// A window that reaches back before the pluck holds less than the
	// newest: the note has not filled both yet.
	if (!(dWeightedBefore >= kOnsetShare * dWeighted))
		return 0.0;
	// The fundamental's share of the newest window's energy, 1 for a sine:
	// a Hann window of M sums to M / 2, its squares to 3 M / 8.
	const double dPower = adRe[0] * adRe[0] + adIm[0] * adIm[0];
	const double dSinePower = iWindow / 3.0 * dWeighted;
	if (!(dPower >= kFundamentalShare * dSinePower) || dPower == 0.0)
		return 0.0;
	const double dAdvance = std::atan2(adIm[0] * adRe[1] - adRe[0] * adIm[1], adRe[0] * adRe[1] + adIm[0] * adIm[1]);
	return (dOmega + Wrapped(dAdvance - dOmega * iLag) / iLag) * m_dRate / (2.0 * kPi);
}

int CTuner::SetSampleRate(const double* pdSampleRate)
{
	CMyEffect::SetSampleRate(pdSampleRate);
	m_detector.SetSampleRate(pdSampleRate ? *pdSampleRate : 0.0);
	return 1;
}

int CTuner::Reset()
{
	// The cells may not be attached yet; the processor clears them itself.
	m_fade.Forget();
	m_bMeasuring = false;
	m_detector.Reset();
	return 1;
}

void CTuner::Snap()
{
	m_fade.Forget();
	if (m_bMeasuring)
		Forget();
}

void CTuner::Forget()
{
	m_bMeasuring = false;
	m_detector.Reset();
	SetParam(kTunerHeld, 0.0f);
}

int CTuner::Process(const float* pfIn1, const float*, float*, float*, int iCount)
{
	const bool bOn = IsSwitchOn(GetParam(kTunerOnOff));
	m_fade.Follow(bOn, m_pdSampleRate ? *m_pdSampleRate : 0.0);
	if (!bOn)
	{
		if (m_bMeasuring)
			Forget();
		return 1;
	}
	m_bMeasuring = true;
	m_detector.Push(pfIn1, iCount);
	Publish();
	return 1;
}

void CTuner::Publish()
{
	const double dHz = m_detector.HeldHz();
	if (dHz <= 0.0)
	{
		SetParam(kTunerHeld, 0.0f);
		return;
	}
	const TunerReading reading = ReadingOf(dHz, ReferenceHz(GetParam(kTunerReference)));
	SetParam(kTunerNote, NoteValue(std::clamp(reading.iNote, 0, 127)));
	SetParam(kTunerCents, CentsValue(reading.dCents));
	SetParam(kTunerHeld, 1.0f);
}

void CTuner::Mute(float* pfOut1, float* pfOut2, float* pfSilence1, float* pfSilence2, int iCount)
{
	if (m_fade.Off() || iCount <= 0)
		return;
	const size_t uBytes = sizeof(float) * static_cast<size_t>(iCount);
	if (!m_fade.Mixing())
	{
		std::memset(pfOut1, 0, uBytes);
		std::memset(pfOut2, 0, uBytes);
		return;
	}
	// Sound and silence: the fade's gains sum to one, so the silent end is exact.
	std::memset(pfSilence1, 0, uBytes);
	std::memset(pfSilence2, 0, uBytes);
	m_fade.Crossfade(pfOut1, pfSilence1, pfOut2, pfSilence2, iCount, CSwitchFade::kEqualGain);
	std::memcpy(pfOut1, pfSilence1, uBytes);
	std::memcpy(pfOut2, pfSilence2, uBytes);
}
