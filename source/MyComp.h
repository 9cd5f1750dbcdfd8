#pragma once

#include "LevelGlide.h"
#include "MyEffect.h"
#include "SwitchFade.h"

#include <cstdint>

// Two blocks in one class. Through Process: a noise gate (downward expander)
// and compressor with make-up gain, driven by a moving average of the
// rectified input. Through ProcessSaturation: the fixed output saturator.
class CMyComp : public CMyEffect
{
public:
	static constexpr int BUFCOMPSIZE = 1024;

	CMyComp();
	~CMyComp() override;

	int Reset() override;
	int Process(const float* pfIn1, const float* pfIn2, float* pfOut1, float* pfOut2, int iCount) override;
	int ProcessSaturation(const float* pfIn1, const float* pfIn2, float* pfOut1, float* pfOut2,
	                      int iCount) override;
	void Snap() override
	{
		m_fade.Forget();
		m_levelGlide.Snap();
	}
	int MemorySamples() const override;

private:
	// Samples whose detector means are worked out before their gains.
	static constexpr int kStretch = 256;

	void DetectMeans(const float* pfIn, int iCount);
	// One run of the level's glide: the first channel's detector, gains and
	// both outputs, and the state its last sample leaves.
	void CompressRun(const float* pfIn, float* pfOut1, float* pfOut2, const CLevelGlide::Run& run);

	// 0 linear, 1 compressing, 2 gating, for the latest sample.
	int m_iState = 0;
	// Magnitudes of the latest samples in the sum's fixed point, a ring.
	int64_t* m_allHistory;
	int m_iWriteIndice = 0;
	// Sum of the ring's magnitudes with 32 fractional bits: exact, so the
	// moving average never drifts however long it runs.
	int64_t m_llLevelSum = 0;
	// The stretch's means, then their levels in dB, and their gains; room
	// for a whole number of vectors.
	alignas(16) float m_afLevel[kStretch + 8] = {};
	alignas(16) float m_afGain[kStretch + 8] = {};
	CSwitchFade m_fade;
	CLevelGlide m_levelGlide;
	// While the level glides: the gains its run's first value would give.
	alignas(16) float m_afFromLevel[kStretch + 8] = {};
	alignas(16) float m_afFromGain[kStretch + 8] = {};
};
