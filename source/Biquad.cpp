#include "Biquad.h"

#include "brontalassert.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {
constexpr double kPi = 3.141592653589793;
constexpr double kSqrt2 = 1.4142135623730951;
} // namespace

Biquad::Biquad() = default;

Biquad::Biquad(int iType, double dDecay, double dDelay)
	: m_iType(iType), m_dDelay(dDelay), m_dDecay(dDecay), m_afDelayLine(new float[kMaxDelayLength]())
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
	if (m_afDelayLine)
	{
		// Only what was written since the last clear can be non-zero: the
		// ring up to the write position, or all of it once it came round.
		// Clearing the whole capacity every time cost a host 35 MB of
		// stores per reset for the reverb alone.
		const int iWritten = m_bWrapped ? m_iActiveLength : m_iWritePos;
		std::memset(m_afDelayLine, 0, sizeof(float) * static_cast<size_t>(iWritten));
		m_bWrapped = false;
		m_iActiveLength = m_iMaxLength;
		m_iWritePos = 0;
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
	}
	const int iResult = CMyEffect::SetSampleRate(pdSampleRate);
	if (iResult)
		ComputeCoefficients();
	return iResult;
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
	// Bounded to one ring length, so a read never leaves the ring whatever
	// the rate or the delay time asked for.
	float fDelaySamples = m_pdSampleRate ? SampleRateF() * static_cast<float>(m_dDelay) : 0.0f;
	if (!(fDelaySamples > 0.0f))
		fDelaySamples = 0.0f;
	else if (fDelaySamples > static_cast<float>(m_iActiveLength))
		fDelaySamples = static_cast<float>(m_iActiveLength);
	m_fDelaySamples = fDelaySamples;
}

float Biquad::ProcessSample(float fSample)
{
	if (m_iType >= kComb && m_iType <= kDelayLine)
		return ProcessDelayLine(fSample);

	// Transposed direct form II.
	const double x = fSample;
	const double y = m_dB0 * x + m_dZ1;
	m_dZ1 = m_dB1 * x + m_dZ2 - m_dA1 * y;
	m_dZ2 = m_dB2 * x - m_dA2 * y;
	return static_cast<float>(y);
}

float Biquad::ReadInterpolated(float fPosition) const
{
	// Floor, so the fraction is always in 0..1 and a position before the
	// ring's start interpolates between the two entries that surround it.
	int i = FloorToInt(fPosition);
	const float t = fPosition - static_cast<float>(i);
	if (i < 0)
		i += m_iActiveLength;
	int j = i + 1;
	if (j >= m_iActiveLength)
		j -= m_iActiveLength;
	return (1.0f - t) * m_afDelayLine[i] + t * m_afDelayLine[j];
}

float Biquad::ProcessDelayLine(float fSample)
{
	if (m_iActiveLength <= 0)
		return fSample;
	// Nothing that is not a finite number may enter a feedback loop.
	const float x = std::isfinite(fSample) ? fSample : 0.0f;
	const float d = ReadInterpolated(static_cast<float>(m_iWritePos) - m_fDelaySamples);
	const float g = static_cast<float>(m_dFeedback);

	float fResult;
	switch (m_iType)
	{
	case kComb:
		fResult = d * g + x;
		m_afDelayLine[m_iWritePos] = fResult;
		break;
	case kAllPass:
	{
		const float w = d * g + x;
		m_afDelayLine[m_iWritePos] = w;
		fResult = (-g) * w + d;
		break;
	}
	default: // kDelayLine
		m_afDelayLine[m_iWritePos] = x;
		fResult = d;
		break;
	}
	if (++m_iWritePos >= m_iActiveLength)
	{
		m_iWritePos = 0;
		m_bWrapped = true;
	}
	return fResult;
}
