#pragma once

#include "MyEffect.h"
#include "simd.h"

// The filter element of the chain: a second-order section, or a delay-line
// element (feedback comb, all-pass, plain fractional delay) for the reverb.
// Blocks own these and drive them one sample at a time.
class Biquad final : public CMyEffect
{
public:
	enum
	{
		kLowPass = 0,
		kHighPass,
		kBandPass,
		kNotch,
		kPeak,
		kLowShelf,
		kHighShelf,
		kComb,
		kAllPass,
		kDelayLine
	};

	// Ring capacity: 3 s at the highest supported rate, 192 kHz.
	static constexpr int kMaxDelayLength = 576000;
	// Normalised frequencies are held just below Nyquist so a section stays
	// stable whatever the host rate.
	static constexpr double kMaxNormalisedFreq = 0.499;

	Biquad();
	Biquad(int iType, double dDecay, double dDelay);
	~Biquad() override;

	int Reset() override;
	int Process(const float* pfIn1, const float* pfIn2, float* pfOut1, float* pfOut2, int iCount) override;
	int SetSampleRate(const double* pdSampleRate) override;
	float ProcessSample(float fSample) override;

	void SetParameters(int iType, double dFreq, double dQ, double dGainDb);
	void SetDecayTime(double dDecay);
	void SetDelayTime(double dDelay);
	// The longest delay this element will be set to, in seconds: its ring
	// then holds only what such a read needs (allocated by SetSampleRate).
	// Without it the ring spans the whole three seconds.
	void SetMaxDelayTime(double dMaxDelay);
	// A delay-line element over a block: the same result as ProcessSample
	// sample by sample, computed a stretch at a time. pfIn and pfOut are
	// distinct buffers.
	void ProcessDelayLine(const float* pfIn, float* pfOut, int iCount);

	int GetType() const { return m_iType; }
	double GetFeedback() const { return m_dFeedback; }
	int GetMaxLength() const { return m_iMaxLength; }
	int GetActiveLength() const { return m_iActiveLength; }
	int GetRingSize() const { return m_iRingSize; }
	void GetCoefficients(double& dB0, double& dB1, double& dB2, double& dA1, double& dA2) const;

private:
	void ComputeCoefficients();
	void UpdateDelaySamples();
	void AllocateRing(double dRate);
	float ProcessDelaySample(float fSample);
	__attribute__((always_inline)) void ProcessDelayTyped(const float* pfIn, float* pfOut, int iCount);
	// ProcessDelayTyped built for AVX2.
	template <int iType> __attribute__((always_inline)) void ProcessDelayStretch(const float* pfIn, float* pfOut, int iCount);

	int m_iType = kLowPass;
	double m_dB0 = 1.0, m_dB1 = 0.0, m_dB2 = 0.0;
	double m_dA1 = 0.0, m_dA2 = 0.0;
	double m_dFreq = 0.5;
	double m_dQ = 0.707;
	double m_dGainDb = 0.0;
	double m_dZ1 = 0.0, m_dZ2 = 0.0;
	double m_dDelay = 0.0;
	double m_dDecay = 0.0;
	double m_dFeedback = 0.0;
	// The element reads as if from a ring of m_iActiveLength entries written
	// at m_iWritePos: that position decides how the fraction of a read
	// rounds. What it stores lives in a shorter ring of m_iRingSize entries
	// written at m_iRingPos, kept twice (at q and q + m_iRingSize) so a
	// stretch of reads never wraps.
	bool m_bDelayLine = false;
	float* m_afDelayLine = nullptr;
	int m_iActiveLength = 0;
	int m_iWritePos = 0;
	int m_iMaxLength = 0;
	int m_iRingSize = 0;
	int m_iRingPos = 0;
	double m_dMaxDelay = 0.0;
	// The delay in samples at the current rate, bounded to the ring, and the
	// whole samples a read steps back (its ceiling); follow every change of
	// delay, rate or ring length so no sample recomputes them.
	float m_fDelaySamples = 0.0f;
	int m_iDelayBack = 0;
};

// Up to eight second-order sections that filter the same input side by side,
// each with its own coefficients and state: Biquad::ProcessSample's
// difference equation, lane by lane. The next state is formed from the
// state itself rather than from the output, z1' = (b1 - a1 b0) x + z2 - a1 z1
// and z2' = (b2 - a2 b0) x - a2 z1, so that a sample waits for one product
// and one difference of the one before, not for three operations; each
// lane's output agrees with what its section alone would give to the last
// bits of double precision.
class BiquadBank
{
public:
	static constexpr int kLanes = 8;

	// Lane iLane takes the section's current coefficients; its state stays.
	void SetSection(int iLane, const Biquad& section);
	void ClearState();

	// Filters a block through every lane; pafOut[i][lane] receives sample
	// i's outputs narrowed to float (lanes never set give 0). Inputs that are
	// not finite numbers go in as 0.
	__attribute__((always_inline)) void Filter(const float* pfIn, int iCount, float (*pafOut)[kLanes])
	{
		// The state stays in registers for the whole block.
		simd::V4d z1[kHalves], z2[kHalves];
		for (int h = 0; h < kHalves; ++h)
		{
			z1[h] = m_z1[h];
			z2[h] = m_z2[h];
		}
		for (int i = 0; i < iCount; ++i)
		{
			const double x = static_cast<double>(SanitiseSample(pfIn[i]));
			for (int h = 0; h < kHalves; ++h)
			{
				const simd::V4d y = m_b0[h] * x + z1[h];
				const simd::V4d z1Before = z1[h];
				z1[h] = m_c1[h] * x + z2[h] - m_a1[h] * z1Before;
				z2[h] = m_c2[h] * x - m_a2[h] * z1Before;
				const simd::V4f f = __builtin_convertvector(y, simd::V4f);
				__builtin_memcpy(&pafOut[i][4 * h], &f, sizeof f);
			}
		}
		for (int h = 0; h < kHalves; ++h)
		{
			m_z1[h] = z1[h];
			m_z2[h] = z2[h];
		}
	}

private:
	static constexpr int kHalves = kLanes / 4;
	simd::V4d m_b0[kHalves] = {};
	simd::V4d m_a1[kHalves] = {}, m_a2[kHalves] = {};
	// b1 - a1 b0 and b2 - a2 b0.
	simd::V4d m_c1[kHalves] = {}, m_c2[kHalves] = {};
	simd::V4d m_z1[kHalves] = {}, m_z2[kHalves] = {};
};
