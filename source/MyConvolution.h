#pragma once

#include "Fft.h"
#include "MyEffect.h"
#include "SwitchFade.h"

#include <vector>

// Capacity of the input history and of the mixed response: 50 ms at 192 kHz.
constexpr int BUFCONVOLUTIONSIZE = 9600;

// Cabinet simulation: convolution of input 1 with a response mixed from
// seven base responses (44.1 kHz) in one of two voicings, chosen by the
// distortion switch, and resampled to the host rate. Mono: both outputs get
// the same signal. The first kPartition taps are convolved directly, sample
// by sample; the rest in partitions of kPartition taps through the
// frequency domain, once per kPartition samples, so no sample waits.
class CIrConvolver;

class CMyConvolution : public CMyEffect
{
public:
	static constexpr int kNumBaseResponses = 7;
	static constexpr int kPartition = 64;
	// Partitions past the direct part at the largest response: 0.208 of 9600 taps.
	static constexpr int kMaxPartitions = 1996 / kPartition;

	CMyConvolution();
	~CMyConvolution() override;

	int Reset() override;
	int SetSampleRate(const double* pdSampleRate) override;
	int Process(const float* pfIn1, const float* pfIn2, float* pfOut1, float* pfOut2, int iCount) override;
	int MemorySamples() const override { return m_iTaps; }

	// The player's response heard from the next Process on (nullptr: the
	// built-in mix), crossfaded from the one heard now, or at once. Only
	// the audio thread calls it; the response is not owned here, and stays
	// in use until Switching() is false. Reset takes the newest at once.
	void UseResponse(CIrConvolver* pResponse, bool bAtOnce);
	bool Switching() const { return m_responseFade.Mixing(); }
	// The two outputs differ: a stereo response is heard, or fades.
	bool StereoOutput() const;
	// The energy of the built-in response as ResponseEnergy measures it
	// (clean voicing, 44.1 kHz, before the voicing's level): what a
	// normalised player's response is matched to.
	static double BuiltInEnergy();

	// What the last build produced, for inspection.
	const float* GetResponse() const { return m_afResponse; }
	int GetResponseLength() const { return BuffSizeToUse; }
	int GetConvolvedTaps() const { return m_iTaps; }
	int GetNonZeroTaps() const { return m_iNonZeroTaps; }
	int GetBuildCount() const { return m_iBuildCount; }

private:
	void BuildResponse(const float* afWeights, double dSampleRate);
	// One path of the response switch into pfOut1 and pfOut2.
	void RunPath(CIrConvolver* pResponse, const float* pfIn, float* pfOut1, float* pfOut2, int iCount);
	template <bool bAvx2> void Convolve(const float* pfIn, float* pfOut1, float* pfOut2, int iCount);
	void PushInputSpectrum();
	void ClearHistory();
	void SumTail();

	float* m_afResponse;
	int BuffSizeToUse = BUFCONVOLUTIONSIZE;
	// What the response was built for: the voicing and the rate.
	int m_iBuiltDrive = 0;
	double m_dBuiltSampleRate = 0.0;
	int m_iResponseValid = 0;
	float m_fOutputFactor = 0.0f;
	// Convolved taps (M) and how many of them are non-zero, both fixed by the build.
	int m_iTaps = 0;
	int m_iNonZeroTaps = 0;
	int m_iBuildCount = 0;

	// The last two partitions' worth of input in time order: the older one,
	// then the current one up to m_iGridPos. The direct taps read it; at
	// the end of each partition it becomes a spectrum in m_afLine (a ring,
	// newest at m_iLineHead), and each response partition p (its spectrum
	// in m_afPart, scaled so the unnormalised inverse gives the sum) times
	// the spectrum p partitions old, summed and back in time, is the rest
	// of the next partition's output, m_afTail.
	CFft m_fft{2 * kPartition};
	int m_iPartitions = 0;
	float m_afWindow[2 * kPartition] = {};
	// The same in double, and the direct taps, for the direct part.
	double m_adWindow[2 * kPartition] = {};
	double m_adDirectTaps[kPartition] = {};
	int m_iGridPos = 0;
	std::vector<float> m_afPartRe, m_afPartIm;
	std::vector<float> m_afLineRe, m_afLineIm;
	int m_iLineHead = 0;
	float m_afTail[kPartition] = {};
	std::vector<float> m_afAccRe, m_afAccIm;

	struct BaseResponse
	{
		const float* pfData;
		int iLength;
	};
	BaseResponse m_aBase[kNumBaseResponses];

	// The two paths the response switch goes between (off, on) and the
	// path left behind while the fade runs, worked in pieces this long.
	CIrConvolver* m_apResponse[2] = {};
	CSwitchFade m_responseFade;
	static constexpr int kPiece = 256;
	float m_afLeaving1[kPiece] = {};
	float m_afLeaving2[kPiece] = {};
};
