#pragma once

#include "LevelGlide.h"
#include "MyEffect.h"
#include "SwitchFade.h"

// Stereo chorus: a 40 ms ring read by two taps that a 0.3 Hz oscillator
// moves in quadrature (cosine on output 1, sine on output 2). Mono, both
// taps read input 1's ring; stereo, output 2 reads input 2's own ring.
// kChorusSpeed sets the wet/dry balance and, slightly, the level; the rate
// of the oscillator is fixed.
class CMyChorus : public CMyEffect
{
public:
	static constexpr int kRingCapacity = 32768;

	CMyChorus();
	~CMyChorus() override;

	int Reset() override;
	int SetSampleRate(const double* pdSampleRate) override;
	int Process(const float* pfIn1, const float* pfIn2, float* pfOut1, float* pfOut2, int iCount) override;

	// Whether the two inputs differ (a stereo cabinet); mono, input 2 is
	// taken to be input 1. Going back to mono waits until input 2's ring
	// holds only what input 1's does.
	void SetStereo(bool bStereo);
	bool Stereo() const { return m_bStereo; }

	int GetConfiguredLength() const { return m_iConfiguredLength; }
	void Snap() override
	{
		m_fade.Forget();
		m_speedGlide.Snap();
	}
	int MemorySamples() const override;

private:
	// Samples whose oscillator values are worked out at a time.
	static constexpr int kStretch = 256;


	float* m_afRing;
	float* m_afRing2;
	bool m_bStereo = false;
	bool m_bStereoWanted = false;
	// Samples of equal inputs since stereo was last wanted.
	int m_iMonoRun = 0;
	int m_iCounter = 0;
	int m_iRingLength = 0;
	int m_iWriteCursor = 0;
	int m_iConfiguredLength = 0;
	CSwitchFade m_fade;
	CLevelGlide m_speedGlide;
};
