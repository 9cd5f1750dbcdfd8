#include "MyChorus.h"

#include "brontalassert.h"
#include "cpufeatures.h"
#include "brontalparams.h"
#include "simd.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace {
// Below this the two taps cannot sit inside the ring; such a ring (no
// Reset yet, or an absurd rate) passes the signal through.
constexpr int kMinRingLength = 4;

// The oscillator at each counter value: its phase, counter / fs * 0.6 pi in
// single precision (0 to a little over 2 pi), and the cosine and sine of it
// as the double-precision library functions give them, narrowed to float:
// reduced by quarter turns (pi / 2 in two parts, exact for these few
// turns), then Taylor series to within 1e-16 on a quarter turn around 0.
// The counters come in pfCounterCos and leave as cosines; iCount is a
// multiple of 8.
__attribute__((always_inline)) inline void CosSin(float* pfCounterCos, float* pfSin, int iCount, float fs)
{
	using simd::V4d;
	using simd::V4f;
	using simd::V4i;
	using simd::V4l;
	constexpr double kTwoOverPi = 0.63661977236758134308;
	constexpr double kHalfPiHigh = 1.57079632673412561417; // 33 bits
	constexpr double kHalfPiLow = 6.07710050650619224932e-11;
	const V4l kSignBit = {INT64_MIN, INT64_MIN, INT64_MIN, INT64_MIN};
	// Two groups of four at a time, whose long chains of products overlap.
	const auto four = [&](int i) {
		const V4d x = {static_cast<double>(pfCounterCos[i] / fs * 1.8849558f),
		               static_cast<double>(pfCounterCos[i + 1] / fs * 1.8849558f),
		               static_cast<double>(pfCounterCos[i + 2] / fs * 1.8849558f),
		               static_cast<double>(pfCounterCos[i + 3] / fs * 1.8849558f)};
		const V4d q = __builtin_convertvector(__builtin_convertvector(x * kTwoOverPi + 0.5, V4i), V4d);
		const V4d r = (x - q * kHalfPiHigh) - q * kHalfPiLow;
		const V4d r2 = r * r;
		const V4d vSin =
			r + r * r2 *
			        (-1.0 / 6 + r2 * (1.0 / 120 + r2 * (-1.0 / 5040 + r2 * (1.0 / 362880 + r2 * (-1.0 / 39916800 +
			        r2 * (1.0 / 6227020800 + r2 * (-1.0 / 1307674368000.0)))))));
		const V4d vCos =
			1.0 + r2 * (-0.5 + r2 * (1.0 / 24 + r2 * (-1.0 / 720 + r2 * (1.0 / 40320 + r2 * (-1.0 / 3628800 +
			      r2 * (1.0 / 479001600 + r2 * (-1.0 / 87178291200.0 + r2 * (1.0 / 20922789888000.0))))))));
		// Quarter turns 0 to 4; the fourth is a whole turn.
		const V4l bOne = q == 1.0, bTwo = q == 2.0, bThree = q == 3.0;
		const V4l bSwap = bOne | bThree;
		// Same-size vector casts keep the bits.
		const V4l c = (reinterpret_cast<V4l>(vSin) & bSwap) | (reinterpret_cast<V4l>(vCos) & ~bSwap);
		const V4l sn = (reinterpret_cast<V4l>(vCos) & bSwap) | (reinterpret_cast<V4l>(vSin) & ~bSwap);
		const V4f fC = __builtin_convertvector(reinterpret_cast<V4d>(c ^ ((bOne | bTwo) & kSignBit)), V4f);
		const V4f fS = __builtin_convertvector(reinterpret_cast<V4d>(sn ^ ((bTwo | bThree) & kSignBit)), V4f);
		__builtin_memcpy(pfCounterCos + i, &fC, sizeof fC);
		__builtin_memcpy(pfSin + i, &fS, sizeof fS);
	};
	for (int i = 0; i < iCount; i += 8)
	{
		four(i);
		four(i + 4);
	}
}

// The ring and how the taps read it and mix.
struct Taps
{
	const float* afRing;
	// What the second tap reads: the first ring when mono.
	const float* afRing2;
	int L;
	float fCentreOffset;
	float fDepth;
	float fWet;
	float fDry;
	float fLevel;
};

// A linear read between the two entries around the position, which lies
// within [-2, 2L - 1): one wrap each way is enough.
__attribute__((always_inline)) inline float ReadAt(const Taps& t, const float* afRing, float fPosition)
{
	// The floor and the wraps as arithmetic on comparisons, so that a loop
	// of reads vectorises.
	int k = static_cast<int>(fPosition);
	k -= static_cast<int>(static_cast<float>(k) > fPosition);
	const float f = fPosition - static_cast<float>(k);
	k += t.L & -static_cast<int>(k < 0);
	k -= t.L & -static_cast<int>(k >= t.L);
	int k1 = k + 1;
	k1 -= t.L & -static_cast<int>(k1 >= t.L);
	return (1.0f - f) * afRing[k] + f * afRing[k1];
}

__attribute__((always_inline)) inline void ReadTapsBody(const Taps& t, const int* __restrict piCursor,
                                                        const float* __restrict pfCos, const float* __restrict pfSin,
                                                        const float* __restrict pfX1, const float* __restrict pfX2,
                                                        float* __restrict pfY1, float* __restrict pfY2, int n)
{
	for (int i = 0; i < n; ++i)
	{
		const float fCentre = static_cast<float>(piCursor[i]) + t.fCentreOffset;
		const float fTap1 = ReadAt(t, t.afRing, fCentre + t.fDepth * pfCos[i]);
		const float fTap2 = ReadAt(t, t.afRing2, fCentre + t.fDepth * pfSin[i]);
		pfY1[i] = (t.fWet * fTap1 + t.fDry * pfX1[i]) * t.fLevel;
		pfY2[i] = (t.fWet * fTap2 + t.fDry * pfX2[i]) * t.fLevel;
	}
}

void ReadTaps(const Taps& t, const int* piCursor, const float* pfCos, const float* pfSin, const float* pfX1,
              const float* pfX2, float* pfY1, float* pfY2, int n)
{
	RunBestBuild([&](auto) BRONTAL_INLINE { ReadTapsBody(t, piCursor, pfCos, pfSin, pfX1, pfX2, pfY1, pfY2, n); });
}
} // namespace

CMyChorus::CMyChorus() : m_afRing(new float[kRingCapacity]()), m_afRing2(new float[kRingCapacity]()) {}

CMyChorus::~CMyChorus()
{
	delete[] m_afRing;
	delete[] m_afRing2;
}

void CMyChorus::SetStereo(bool bStereo)
{
	m_bStereoWanted = bStereo;
	if (bStereo)
	{
		// Until now input 2 was input 1: its ring starts as input 1's.
		if (!m_bStereo)
			std::memcpy(m_afRing2, m_afRing, sizeof(float) * static_cast<size_t>(m_iRingLength));
		m_bStereo = true;
		m_iMonoRun = 0;
	}
}

int CMyChorus::Reset()
{
	std::memset(m_afRing, 0, sizeof(float) * kRingCapacity);
	std::memset(m_afRing2, 0, sizeof(float) * kRingCapacity);
	m_bStereo = m_bStereoWanted;
	m_iMonoRun = 0;
	m_iRingLength = m_iConfiguredLength;
	m_iWriteCursor = 0;
	m_iCounter = 0;
	Snap();
	return 1;
}

int CMyChorus::SetSampleRate(const double* pdSampleRate)
{
	if (pdSampleRate)
	{
		bool bOverCapacity;
		m_iConfiguredLength = LengthAtRate(*pdSampleRate, 0.04f, kRingCapacity, bOverCapacity);
	}
	return CMyEffect::SetSampleRate(pdSampleRate);
}

int CMyChorus::MemorySamples() const
{
	return m_afParams && IsSwitchOn(GetParam(kModulationOnOff)) ? m_iRingLength : 0;
}

int CMyChorus::Process(const float* pfIn1, const float* pfIn2, float* pfOut1, float* pfOut2, int iCount)
{
	// Back to mono once input 2's ring has been overwritten with input 1.
	if (m_bStereo && !m_bStereoWanted)
	{
		if (m_iMonoRun >= m_iRingLength)
			m_bStereo = false;
		m_iMonoRun += iCount;
	}
	if (!m_afParams)
	{
		BRONTAL_ASSERT(false, "m_afParams", "MyChorus");
		CopyStereo(pfIn1, pfIn2, pfOut1, pfOut2, iCount);
		return 1;
	}
	m_speedGlide.Follow(GetParam(kChorusSpeed), m_pdSampleRate ? *m_pdSampleRate : 0.0);
	const float fs = m_pdSampleRate ? SampleRateF() : 0.0f;
	// Switched on, the ring first fills with the signal (it holds whatever
	// it held when last on), then the taps fade in.
	m_fade.Follow(IsSwitchOn(GetParam(kModulationOnOff)), m_pdSampleRate ? *m_pdSampleRate : 0.0, m_iRingLength);
	if (m_fade.Off() || m_iRingLength < kMinRingLength || !(fs > 0.0f) || !std::isfinite(fs))
	{
		// Nobody hears the level: switched on, it is where it was set.
		m_speedGlide.Snap();
		CopyStereo(pfIn1, pfIn2, pfOut1, pfOut2, iCount);
		return 1;
	}

	const float fCounterLimit = fs * 3.3333333f;
	// Half the ring in use: equal to half the configured length whenever the
	// ring has been reset since the rate was set, and never past the ring.
	const float h = static_cast<float>(m_iRingLength / 2);
	const float fCentreOffset = h - 2.0f;
	const float fDepth = 0.15f * h;
	// kChorusSpeed sets the wet/dry balance and the level.
	const auto tapsFor = [&](float fSpeed) {
		const float fDry = 1.0f - 0.7f * fSpeed;
		return Taps{m_afRing, m_bStereo ? m_afRing2 : m_afRing, m_iRingLength, fCentreOffset, fDepth, 1.0f - fDry,
		            fDry, (0.01f * fSpeed + 0.3f) * 3.33f};
	};

	// The taps read at least 0.85 h samples behind the newest sample: a
	// stretch shorter than that may be written to the ring before any of
	// its reads, which then find what they would have found sample by sample.
	const int iStretch = std::max(1, std::min(kStretch, static_cast<int>(0.85f * h) - 3));
	float afCos[kStretch], afSin[kStretch], afFrom1[kStretch], afFrom2[kStretch];
	int aiCursor[kStretch];
	for (int iRunStart = 0; iRunStart < iCount;)
	{
		// A gliding level moves the mix across the run, from its first value's to its last's.
		const CLevelGlide::Run run = m_speedGlide.Next(iCount - iRunStart);
		const Taps taps = tapsFor(run.fTo);
		const Taps tapsFrom = tapsFor(run.fFrom);
		const float* pfX = pfIn1 + iRunStart;
		const float* pfX2 = (m_bStereo ? pfIn2 : pfIn1) + iRunStart;
		float* pfY1 = pfOut1 + iRunStart;
		float* pfY2 = pfOut2 + iRunStart;
		for (int iDone = 0; iDone < run.iCount;)
		{
			const int n = std::min(iStretch, run.iCount - iDone);
			// The oscillator's phases for the stretch, then its cosines and
			// sines side by side.
			for (int i = 0; i < n; ++i)
			{
				if (fCounterLimit > static_cast<float>(m_iCounter))
					++m_iCounter;
				else
					m_iCounter = 0;
				afCos[i] = static_cast<float>(m_iCounter);
			}
			const int iWhole = (n + 7) & ~7;
			std::fill(afCos + n, afCos + iWhole, 0.0f);
			RunBestBuild([&](auto) BRONTAL_INLINE { CosSin(afCos, afSin, iWhole, fs); });

			// The stretch into the ring, and where the cursor stands after each sample.
			const int iCursorBefore = m_iWriteCursor;
			for (int i = 0; i < n; ++i)
			{
				m_afRing[m_iWriteCursor] = pfX[iDone + i];
				if (++m_iWriteCursor >= m_iRingLength)
					m_iWriteCursor = 0;
				aiCursor[i] = m_iWriteCursor;
			}
			if (m_bStereo)
				for (int i = 0, k = iCursorBefore; i < n; ++i)
				{
					m_afRing2[k] = pfX2[iDone + i];
					if (++k >= m_iRingLength)
						k = 0;
				}
			ReadTaps(taps, aiCursor, afCos, afSin, pfX + iDone, pfX2 + iDone, pfY1 + iDone, pfY2 + iDone, n);
			if (run.Moving())
			{
				ReadTaps(tapsFrom, aiCursor, afCos, afSin, pfX + iDone, pfX2 + iDone, afFrom1, afFrom2, n);
				for (int i = 0; i < n; ++i)
				{
					const float fNew = static_cast<float>(iDone + i + 1) / static_cast<float>(run.iCount);
					pfY1[iDone + i] = fNew * pfY1[iDone + i] + (1.0f - fNew) * afFrom1[i];
					pfY2[iDone + i] = fNew * pfY2[iDone + i] + (1.0f - fNew) * afFrom2[i];
				}
			}
			iDone += n;
		}
		iRunStart += run.iCount;
	}
	// The on path carries the dry signal too: the two add in phase.
	if (m_fade.Mixing())
		m_fade.Crossfade(pfIn1, pfOut1, pfIn2, pfOut2, iCount, CSwitchFade::kEqualGain);
	return 1;
}
