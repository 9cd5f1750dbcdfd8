#include "MyChorus.h"

#include "brontalassert.h"
#include "cpufeatures.h"
#include "brontalparams.h"

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
// multiple of 4.
__attribute__((always_inline)) inline void CosSin(float* pfCounterCos, float* pfSin, int iCount, float fs)
{
	typedef double Vec __attribute__((vector_size(32)));
	typedef long long Mask __attribute__((vector_size(32)));
	typedef int Int4 __attribute__((vector_size(16)));
	constexpr double kTwoOverPi = 0.63661977236758134308;
	constexpr double kHalfPiHigh = 1.57079632673412561417; // 33 bits
	constexpr double kHalfPiLow = 6.07710050650619224932e-11;
	const Mask kSignBit = {INT64_MIN, INT64_MIN, INT64_MIN, INT64_MIN};
	for (int i = 0; i < iCount; i += 4)
	{
		const Vec x = {static_cast<double>(pfCounterCos[i] / fs * 1.8849558f),
		               static_cast<double>(pfCounterCos[i + 1] / fs * 1.8849558f),
		               static_cast<double>(pfCounterCos[i + 2] / fs * 1.8849558f),
		               static_cast<double>(pfCounterCos[i + 3] / fs * 1.8849558f)};
		const Vec q = __builtin_convertvector(__builtin_convertvector(x * kTwoOverPi + 0.5, Int4), Vec);
		const Vec r = (x - q * kHalfPiHigh) - q * kHalfPiLow;
		const Vec r2 = r * r;
		const Vec vSin =
			r + r * r2 *
			        (-1.0 / 6 + r2 * (1.0 / 120 + r2 * (-1.0 / 5040 + r2 * (1.0 / 362880 + r2 * (-1.0 / 39916800 +
			        r2 * (1.0 / 6227020800 + r2 * (-1.0 / 1307674368000.0)))))));
		const Vec vCos =
			1.0 + r2 * (-0.5 + r2 * (1.0 / 24 + r2 * (-1.0 / 720 + r2 * (1.0 / 40320 + r2 * (-1.0 / 3628800 +
			      r2 * (1.0 / 479001600 + r2 * (-1.0 / 87178291200.0 + r2 * (1.0 / 20922789888000.0))))))));
		// Quarter turns 0 to 4; the fourth is a whole turn.
		const Mask bOne = q == 1.0, bTwo = q == 2.0, bThree = q == 3.0;
		const Mask bSwap = bOne | bThree;
		// Same-size vector casts keep the bits.
		const Mask c = (reinterpret_cast<Mask>(vSin) & bSwap) | (reinterpret_cast<Mask>(vCos) & ~bSwap);
		const Mask sn = (reinterpret_cast<Mask>(vCos) & bSwap) | (reinterpret_cast<Mask>(vSin) & ~bSwap);
		const Vec vC = reinterpret_cast<Vec>(c ^ ((bOne | bTwo) & kSignBit));
		const Vec vS = reinterpret_cast<Vec>(sn ^ ((bTwo | bThree) & kSignBit));
		for (int j = 0; j < 4; ++j)
		{
			pfCounterCos[i + j] = static_cast<float>(vC[j]);
			pfSin[i + j] = static_cast<float>(vS[j]);
		}
	}
}

void Oscillator(float* pfCounterCos, float* pfSin, int iCount, float fs)
{
	CosSin(pfCounterCos, pfSin, iCount, fs);
}

BRONTAL_AVX2 void OscillatorAvx2(float* pfCounterCos, float* pfSin, int iCount, float fs)
{
	CosSin(pfCounterCos, pfSin, iCount, fs);
}
} // namespace

CMyChorus::CMyChorus() : m_afRing(new float[kRingCapacity]()) {}

CMyChorus::~CMyChorus()
{
	delete[] m_afRing;
}

int CMyChorus::Reset()
{
	std::memset(m_afRing, 0, sizeof(float) * kRingCapacity);
	m_iRingLength = m_iConfiguredLength;
	m_iWriteCursor = 0;
	m_iCounter = 0;
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

// Linear read between the two entries around the position. The callers keep
// the position within [-2, 2L - 1), so one wrap each way is enough.
inline float CMyChorus::ReadTap(float fPosition) const
{
	int k = FloorToInt(fPosition);
	const float f = fPosition - static_cast<float>(k);
	if (k < 0)
		k += m_iRingLength;
	else if (k >= m_iRingLength)
		k -= m_iRingLength;
	int k1 = k + 1;
	if (k1 >= m_iRingLength)
		k1 -= m_iRingLength;
	return (1.0f - f) * m_afRing[k] + f * m_afRing[k1];
}

int CMyChorus::Process(const float* pfIn1, const float* pfIn2, float* pfOut1, float* pfOut2, int iCount)
{
	if (!m_afParams)
	{
		BRONTAL_ASSERT(false, "m_afParams", "MyChorus");
		CopyStereo(pfIn1, pfIn2, pfOut1, pfOut2, iCount);
		return 1;
	}
	const float s = GetParam(kChorusSpeed);
	const float fDry = 1.0f - 0.7f * s;
	const float fWet = 1.0f - fDry;

	const float fs = m_pdSampleRate ? SampleRateF() : 0.0f;
	if (!IsSwitchOn(GetParam(kModulationOnOff)) || m_iRingLength < kMinRingLength || !(fs > 0.0f) ||
	    !std::isfinite(fs))
	{
		CopyStereo(pfIn1, pfIn2, pfOut1, pfOut2, iCount);
		return 1;
	}

	const float fCounterLimit = fs * 3.3333333f;
	// Half the ring in use: equal to half the configured length whenever the
	// ring has been reset since the rate was set, and never past the ring.
	const float h = static_cast<float>(m_iRingLength / 2);
	const float fCentreOffset = h - 2.0f;
	const float fDepth = 0.15f * h;
	const float fLevel = (0.01f * s + 0.3f) * 3.33f;

	float afCos[kStretch], afSin[kStretch];
	for (int iDone = 0; iDone < iCount; iDone += kStretch)
	{
		const int n = std::min(kStretch, iCount - iDone);
		// The oscillator's phases for the stretch, then its cosines and sines
		// side by side.
		for (int i = 0; i < n; ++i)
		{
			if (fCounterLimit > static_cast<float>(m_iCounter))
				++m_iCounter;
			else
				m_iCounter = 0;
			afCos[i] = static_cast<float>(m_iCounter);
		}
		const int iWhole = (n + 3) & ~3;
		std::fill(afCos + n, afCos + iWhole, 0.0f);
		if (HasAvx2())
			OscillatorAvx2(afCos, afSin, iWhole, fs);
		else
			Oscillator(afCos, afSin, iWhole, fs);

		for (int i = 0; i < n; ++i)
		{
			const float x = pfIn1[iDone + i];
			m_afRing[m_iWriteCursor] = x;
			if (++m_iWriteCursor >= m_iRingLength)
				m_iWriteCursor = 0;

			const float fCentre = static_cast<float>(m_iWriteCursor) + fCentreOffset;
			const float fTap1 = ReadTap(fCentre + fDepth * afCos[i]);
			const float fTap2 = ReadTap(fCentre + fDepth * afSin[i]);

			pfOut1[iDone + i] = (fWet * fTap1 + fDry * x) * fLevel;
			pfOut2[iDone + i] = (fWet * fTap2 + fDry * x) * fLevel;
		}
	}
	return 1;
}
