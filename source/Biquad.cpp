#include "Biquad.h"

#include "brontalassert.h"
#include "cpufeatures.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {
constexpr double kPi = 3.141592653589793;
constexpr double kSqrt2 = 1.4142135623730951;
} // namespace

Biquad::Biquad() = default;

Biquad::Biquad(int iType, double dDecay, double dDelay)
	: m_iType(iType), m_dDelay(dDelay), m_dDecay(dDecay), m_bDelayLine(true)
{
	m_iActiveLength = m_iMaxLength;
	ComputeCoefficients();
}

Biquad::~Biquad()
{
	delete[] m_afDelayLine;
}

// A host resets on activation: nothing of the audio before may ring on.
int Biquad::Reset()
{
	m_dZ1 = 0.0;
	m_dZ2 = 0.0;
	if (m_bDelayLine)
	{
		if (m_afDelayLine)
			std::memset(m_afDelayLine, 0, sizeof(float) * 2 * static_cast<size_t>(m_iRingSize));
		m_iActiveLength = m_iMaxLength;
		m_iWritePos = 0;
		m_iRingPos = 0;
		UpdateDelaySamples();
	}
	return 1;
}

int Biquad::Process(const float*, const float*, float*, float*, int)
{
	BRONTAL_ASSERT(false, "0", "Biquad");
	return 0;
}

int Biquad::SetSampleRate(const double* pdSampleRate)
{
	if (pdSampleRate)
	{
		// A rate that is not a positive number leaves no usable ring.
		bool bOverCapacity;
		m_iMaxLength = LengthAtRate(*pdSampleRate, 3.0f, kMaxDelayLength, bOverCapacity);
		if (m_bDelayLine)
			AllocateRing(*pdSampleRate);
	}
	const int iResult = CMyEffect::SetSampleRate(pdSampleRate);
	if (iResult)
		ComputeCoefficients();
	return iResult;
}

void Biquad::AllocateRing(double dRate)
{
	// A read steps back at most the ceiling of the longest delay, and needs
	// one entry more; under two samples a read reaches the entry about to
	// be overwritten, which only the whole ring holds.
	int iSize = m_iMaxLength;
	if (m_dMaxDelay > 0.0)
	{
		const float fLongest = std::ceil(static_cast<float>(dRate) * static_cast<float>(m_dMaxDelay));
		if (fLongest >= 2.0f && fLongest + 1.0f < static_cast<float>(m_iMaxLength))
			iSize = static_cast<int>(fLongest) + 1;
	}
	if (iSize == m_iRingSize && m_afDelayLine)
		return;
	delete[] m_afDelayLine;
	m_afDelayLine = iSize > 0 ? new float[2 * static_cast<size_t>(iSize)]() : nullptr;
	m_iRingSize = iSize;
	m_iRingPos = 0;
}

void Biquad::SetParameters(int iType, double dFreq, double dQ, double dGainDb)
{
	m_iType = iType;
	m_dFreq = dFreq;
	m_dQ = dQ;
	m_dGainDb = dGainDb;
	ComputeCoefficients();
}

void Biquad::SetDecayTime(double dDecay)
{
	m_dDecay = dDecay;
	ComputeCoefficients();
}

void Biquad::SetDelayTime(double dDelay)
{
	m_dDelay = dDelay;
	ComputeCoefficients();
}

void Biquad::SetMaxDelayTime(double dMaxDelay)
{
	m_dMaxDelay = dMaxDelay;
}

void Biquad::GetCoefficients(double& dB0, double& dB1, double& dB2, double& dA1, double& dA2) const
{
	dB0 = m_dB0;
	dB1 = m_dB1;
	dB2 = m_dB2;
	dA1 = m_dA1;
	dA2 = m_dA2;
}

void Biquad::ComputeCoefficients()
{
	if (m_iType == kComb || m_iType == kAllPass)
	{
		// Falls by 60 dB in the decay time; a zero decay gives 0.001^inf = 0.
		// Zero over zero has no meaning and must not reach the loop.
		const double dFeedback = std::pow(0.001, m_dDelay / m_dDecay);
		m_dFeedback = std::isnan(dFeedback) ? 0.0 : dFeedback;
		UpdateDelaySamples();
		return;
	}
	if (m_iType == kDelayLine)
	{
		m_dFeedback = 0.0;
		UpdateDelaySamples();
		return;
	}
	if (m_iType < kLowPass || m_iType > kHighShelf)
		return;

	const double dFreq = m_dFreq > 0.0 ? std::min(m_dFreq, kMaxNormalisedFreq) : 0.0;
	const double K = std::tan(kPi * dFreq);
	const double K2 = K * K;
	const double Q = m_dQ;
	const double V = std::pow(10.0, std::fabs(m_dGainDb) / 20.0);
	const bool bBoost = m_dGainDb >= 0.0;
	double b0, b1, b2, a0, a1, a2;

	switch (m_iType)
	{
	case kLowPass:
		a0 = 1 + K / Q + K2;
		b0 = K2, b1 = 2 * K2, b2 = K2;
		a1 = 2 * (K2 - 1), a2 = 1 - K / Q + K2;
		break;
	case kHighPass:
		a0 = 1 + K / Q + K2;
		b0 = 1, b1 = -2, b2 = 1;
		a1 = 2 * (K2 - 1), a2 = 1 - K / Q + K2;
		break;
	case kBandPass:
		a0 = 1 + K / Q + K2;
		b0 = K / Q, b1 = 0, b2 = -K / Q;
		a1 = 2 * (K2 - 1), a2 = 1 - K / Q + K2;
		break;
	case kNotch:
		a0 = 1 + K / Q + K2;
		b0 = 1 + K2, b1 = 2 * (K2 - 1), b2 = 1 + K2;
		a1 = 2 * (K2 - 1), a2 = 1 - K / Q + K2;
		break;
	case kPeak:
		if (bBoost)
		{
			a0 = 1 + K / Q + K2;
			b0 = 1 + V * K / Q + K2, b1 = 2 * (K2 - 1), b2 = 1 - V * K / Q + K2;
			a1 = 2 * (K2 - 1), a2 = 1 - K / Q + K2;
		}
		else
		{
			a0 = 1 + V * K / Q + K2;
			b0 = 1 + K / Q + K2, b1 = 2 * (K2 - 1), b2 = 1 - K / Q + K2;
			a1 = 2 * (K2 - 1), a2 = 1 - V * K / Q + K2;
		}
		break;
	case kLowShelf:
		if (bBoost)
		{
			a0 = 1 + kSqrt2 * K + K2;
			b0 = 1 + std::sqrt(2 * V) * K + V * K2, b1 = 2 * (V * K2 - 1), b2 = 1 - std::sqrt(2 * V) * K + V * K2;
			a1 = 2 * (K2 - 1), a2 = 1 - kSqrt2 * K + K2;
		}
		else
		{
			a0 = 1 + std::sqrt(2 * V) * K + V * K2;
			b0 = 1 + kSqrt2 * K + K2, b1 = 2 * (K2 - 1), b2 = 1 - kSqrt2 * K + K2;
			a1 = 2 * (V * K2 - 1), a2 = 1 - std::sqrt(2 * V) * K + V * K2;
		}
		break;
	default: // kHighShelf
		if (bBoost)
		{
			a0 = 1 + kSqrt2 * K + K2;
			b0 = V + std::sqrt(2 * V) * K + K2, b1 = 2 * (K2 - V), b2 = V - std::sqrt(2 * V) * K + K2;
			a1 = 2 * (K2 - 1), a2 = 1 - kSqrt2 * K + K2;
		}
		else
		{
			a0 = V + std::sqrt(2 * V) * K + K2;
			b0 = 1 + kSqrt2 * K + K2, b1 = 2 * (K2 - 1), b2 = 1 - kSqrt2 * K + K2;
			a1 = 2 * (K2 - V), a2 = V - std::sqrt(2 * V) * K + K2;
		}
		break;
	}
	m_dB0 = b0 / a0;
	m_dB1 = b1 / a0;
	m_dB2 = b2 / a0;
	m_dA1 = a1 / a0;
	m_dA2 = a2 / a0;
}

void Biquad::UpdateDelaySamples()
{
	// Bounded to one ring length, and to what the stored ring holds, so a
	// read never leaves the ring whatever the rate or the delay time asked for.
	const int iBound = m_iRingSize < m_iActiveLength ? m_iRingSize - 1 : m_iActiveLength;
	float fDelaySamples = m_pdSampleRate ? SampleRateF() * static_cast<float>(m_dDelay) : 0.0f;
	if (!(fDelaySamples > 0.0f) || iBound <= 0)
		fDelaySamples = 0.0f;
	else if (fDelaySamples > static_cast<float>(iBound))
		fDelaySamples = static_cast<float>(iBound);
	m_fDelaySamples = fDelaySamples;
	m_iDelayBack = static_cast<int>(std::ceil(fDelaySamples));
}

float Biquad::ProcessSample(float fSample)
{
	if (m_iType >= kComb && m_iType <= kDelayLine)
		return ProcessDelaySample(fSample);

	// Transposed direct form II.
	const double x = fSample;
	const double y = m_dB0 * x + m_dZ1;
	m_dZ1 = m_dB1 * x + m_dZ2 - m_dA1 * y;
	m_dZ2 = m_dB2 * x - m_dA2 * y;
	return static_cast<float>(y);
}

// Out of line, so that the second-order sections' path needs no frame.
__attribute__((noinline)) float Biquad::ProcessDelaySample(float fSample)
{
	float fResult;
	ProcessDelayLine(&fSample, &fResult, 1);
	return fResult;
}

void Biquad::ProcessDelayLine(const float* pfIn, float* pfOut, int iCount)
{
	if (m_iActiveLength <= 0 || m_iRingSize <= 0 || !m_afDelayLine)
	{
		if (pfIn != pfOut && iCount > 0)
			std::memmove(pfOut, pfIn, sizeof(float) * static_cast<size_t>(iCount));
		return;
	}
	RunBestBuild([&](auto) BRONTAL_INLINE { ProcessDelayTyped(pfIn, pfOut, iCount); });
}

__attribute__((always_inline)) inline void Biquad::ProcessDelayTyped(const float* pfIn, float* pfOut, int iCount)
{
	switch (m_iType)
	{
	case kComb:
		ProcessDelayStretch<kComb>(pfIn, pfOut, iCount);
		break;
	case kAllPass:
		ProcessDelayStretch<kAllPass>(pfIn, pfOut, iCount);
		break;
	default:
		ProcessDelayStretch<kDelayLine>(pfIn, pfOut, iCount);
		break;
	}
}

// The writes of a stretch and its outputs, from the delayed values read
// before it: inputs, outputs, the ring and its second copy are apart.
template <int iType>
__attribute__((always_inline)) inline void StoreStretch(const float* __restrict pfDelayed, const float* __restrict pfX,
                                                        float* __restrict pfStore, float* __restrict pfMirror,
                                                        float* __restrict pfY, float g, int C)
{
	for (int i = 0; i < C; ++i)
	{
		// Nothing that is not a finite number may enter a feedback loop.
		const float x = SanitiseSample(pfX[i]);
		const float d = pfDelayed[i];
		if (iType == Biquad::kComb)
		{
			const float y = d * g + x;
			pfStore[i] = y;
			pfMirror[i] = y;
			pfY[i] = y;
		}
		else if (iType == Biquad::kAllPass)
		{
			const float v = d * g + x;
			pfStore[i] = v;
			pfMirror[i] = v;
			pfY[i] = (-g) * v + d;
		}
		else
		{
			pfStore[i] = x;
			pfMirror[i] = x;
			pfY[i] = d;
		}
	}
}

// A read at w - D interpolates between the entries written iBack and
// iBack - 1 samples ago, iBack the ceiling of D. Within a stretch no longer
// than iBack - 1 every read finds entries written before the stretch, so the
// reads, then the writes, run side by side over it. The fraction is formed
// exactly as a sample-by-sample read forms it: from the position w - D in
// single precision, against the ring of m_iActiveLength entries.
template <int iType> __attribute__((always_inline)) inline void Biquad::ProcessDelayStretch(const float* pfIn, float* pfOut, int iCount)
{
	constexpr int kStretch = 256;
	const int N = m_iActiveLength;
	const int R = m_iRingSize;
	const int iBack = m_iDelayBack;
	const float D = m_fDelaySamples;
	const float g = static_cast<float>(m_dFeedback);
	const int iLongest = std::min(iBack >= 2 ? iBack - 1 : 1, kStretch);
	int w = m_iWritePos;
	int p = m_iRingPos;
	float afDelayed[kStretch];

	for (int iDone = 0; iDone < iCount;)
	{
		const int C = std::min({iCount - iDone, N - w, R - p, iLongest});
		int r = p - iBack;
		if (r < 0)
			r += R;
		const float* pfOlder = m_afDelayLine + r;
		const float* pfNewer = pfOlder + 1;
		for (int i = 0; i < C; ++i)
		{
			const float fPosition = static_cast<float>(w + i) - D;
			const float t = fPosition - static_cast<float>(w + i - iBack);
			afDelayed[i] = (1.0f - t) * pfOlder[i] + t * pfNewer[i];
		}

		StoreStretch<iType>(afDelayed, pfIn + iDone, m_afDelayLine + p, m_afDelayLine + p + R, pfOut + iDone, g, C);
		iDone += C;
		w += C;
		if (w >= N)
			w = 0;
		p += C;
		if (p >= R)
			p = 0;
	}
	m_iWritePos = w;
	m_iRingPos = p;
}

void BiquadBank::SetSection(int iLane, const Biquad& section)
{
	double b0, b1, b2, a1, a2;
	section.GetCoefficients(b0, b1, b2, a1, a2);
	const int h = iLane / 4, j = iLane % 4;
	m_b0[h][j] = b0;
	m_a1[h][j] = a1;
	m_a2[h][j] = a2;
	m_c1[h][j] = b1 - a1 * b0;
	m_c2[h][j] = b2 - a2 * b0;
}

void BiquadBank::ClearState()
{
	for (int h = 0; h < kHalves; ++h)
	{
		m_z1[h] = simd::V4d{};
		m_z2[h] = simd::V4d{};
	}
}
