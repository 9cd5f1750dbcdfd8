#pragma once

#include "LevelGlide.h"
#include "MyEffect.h"
#include "SwitchFade.h"

// Tempo-synced stereo delay: channel 1 repeats after an eighth note,
// channel 2 after a quarter note, and each line feeds mostly the other so
// the repeats alternate between the sides.
class CMyDelay : public CMyEffect
{
public:
	// 33 s at 192 kHz, the highest supported rate: the most a ring holds.
	static constexpr int kRingCapacity = 6336000;
	// Tempo assumed when no tempo cell is attached.
	static constexpr float kDefaultTempo = 90.0f;

	CMyDelay();
	~CMyDelay() override;

	int Reset() override;
	int SetSampleRate(const double* pdSampleRate) override;
	int Process(const float* pfIn1, const float* pfIn2, float* pfOut1, float* pfOut2, int iCount) override;
	double GetTailSeconds() const override;

	int GetConfiguredLength() const { return m_iConfiguredLength; }
	int GetRingLength() const { return m_iRingLength; }
	void Snap() override
	{
		m_fade.Forget();
		m_levelGlide.Snap();
	}

private:
	// Half a beat in samples at the current tempo and rate, as the design
	// states it, before any bound.
	float SamplesForDelay() const;
	// The delay actually read: at least one sample, at most half the ring.
	float BoundDelay(float samplesfordelay) const;

	void AllocateRings();

	float* m_afRing1 = nullptr;
	float* m_afRing2 = nullptr;
	int m_iAllocatedLength = 0;
	int m_iRingLength = 0;
	int m_iWriteCursor = 0;
	int m_iConfiguredLength = 0;
	// Entries at and above this index are zero: Reset clears only what was
	// written since the last clear.
	int m_iDirtyLength = 0;
	CSwitchFade m_fade;
	CLevelGlide m_levelGlide;
};
