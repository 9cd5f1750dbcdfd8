#pragma once

#include "MyEffect.h"
#include "SwitchFade.h"

// Picks one host input channel (kInputSelection: 0 the second, else the
// first) and puts it on both working channels: the chain is mono from here.
class CEffectSourceSelector : public CMyEffect
{
public:
	int Reset() override
	{
		m_fade.Forget();
		return 1;
	}
	int Process(const float* pfIn1, const float* pfIn2, float* pfOut1, float* pfOut2, int iCount) override;
	void Snap() override { m_fade.Forget(); }

private:
	// First input (on) against the second.
	CSwitchFade m_fade;
};
