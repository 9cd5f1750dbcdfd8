#pragma once

#include "LevelGlide.h"
#include "MyEffect.h"
#include "SwitchFade.h"

class Biquad;

// Per channel, five parallel feedback combs summed into two parallel
// all-passes; the reverberation is subtracted from the scaled dry signal.
// Also carries the stereo enhancer: a ~100 ms delay on channel 2 ahead of
// its reverberator, active whether the reverberation is on or not.
class CMyReverb : public CMyEffect
{
public:
	static constexpr int kCombCount = 5;
	static constexpr double kEnhancerDelay = 0.10004001;

	CMyReverb();
	~CMyReverb() override;

	int Reset() override;
	int SetSampleRate(const double* pdSampleRate) override;
	int Process(const float* pfIn1, const float* pfIn2, float* pfOut1, float* pfOut2, int iCount) override;
	double GetTailSeconds() const override;
	void Snap() override
	{
		m_reverbFade.Forget();
		m_enhancerFade.Forget();
		m_levelGlide.Snap();
	}
	int MemorySamples() const override;

private:
	struct Channel
	{
		Biquad* apComb[kCombCount];
		Biquad* pAllPassA;
		Biquad* pAllPassB;
	};

	// Samples run through the elements at a time.
	static constexpr int kStretch = 256;

	// Samples the enhancer's delay needs to hold the present signal.
	int EnhancerMemory() const;
	void ApplySettings(float fLevel, double dEnhancerDelay);
	static void Reverberate(const Channel& channel, const float* pfIn, float* pfOut, int iCount);
	template <typename Fn> void ForEachElement(Fn fn);

	Biquad* m_pEnhancerDelay;
	Channel m_channel1;
	Channel m_channel2;
	// The settings the elements now hold.
	bool m_bSettingsValid = false;
	float m_fAppliedLevel = 0.0f;
	double m_dAppliedEnhancerDelay = 0.0;
	CSwitchFade m_reverbFade;
	CSwitchFade m_enhancerFade;
	CLevelGlide m_levelGlide;
};
