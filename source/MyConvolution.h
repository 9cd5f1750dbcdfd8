#pragma once

#include "MyEffect.h"

// Capacity of the input history and of the mixed response: 50 ms at 192 kHz.
constexpr int BUFCONVOLUTIONSIZE = 9600;

// Cabinet simulation: direct convolution of input 1 with a response mixed
// from seven base responses (44.1 kHz) in one of two voicings, chosen by the
// distortion switch, and resampled to the host rate. Mono: both outputs get
// the same signal.
class CMyConvolution : public CMyEffect
{
public:
	static constexpr int kNumBaseResponses = 7;

	CMyConvolution();
	~CMyConvolution() override;

	int Reset() override;
	int SetSampleRate(const double* pdSampleRate) override;
	int Process(const float* pfIn1, const float* pfIn2, float* pfOut1, float* pfOut2, int iCount) override;

	// What the last build produced, for inspection.
	const float* GetResponse() const { return m_afResponse; }
	int GetResponseLength() const { return BuffSizeToUse; }
	int GetConvolvedTaps() const { return m_iTaps; }
	int GetNonZeroTaps() const { return m_iNonZeroTaps; }
	int GetBuildCount() const { return m_iBuildCount; }

private:
	void BuildResponse(const float* afWeights, double dSampleRate);

	// The history is kept twice, at p and p + lSize, and the cursor runs
	// backwards: the last M inputs, newest first, are then one contiguous run
	// that lines up with the response, with no wrap inside the dot product.
	float* m_afInputRing;
	float* m_afResponse;
	int lSize = BUFCONVOLUTIONSIZE;
	int lWriteCursor = 0;
	int BuffSizeToUse = BUFCONVOLUTIONSIZE;
	float m_afBuiltWeights[kNumBaseResponses] = {};
	double m_dBuiltSampleRate = 0.0;
	int m_iBuiltSwitch = 0;
	int m_iResponseValid = 0;
	// Convolved taps (M, never more than the history holds) and how many of
	// them are non-zero, both fixed by the build.
	int m_iTaps = 0;
	int m_iNonZeroTaps = 0;
	int m_iBuildCount = 0;

	struct BaseResponse
	{
		const float* pfData;
		int iLength;
	};
	BaseResponse m_aBase[kNumBaseResponses];
};
