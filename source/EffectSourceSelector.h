#pragma once

#include "MyEffect.h"

// Picks one host input channel (kInputSelection: 0 the second, else the
// first) and puts it on both working channels: the chain is mono from here.
class CEffectSourceSelector : public CMyEffect
{
public:
	int Reset() override { return 1; }
	int Process(const float* pfIn1, const float* pfIn2, float* pfOut1, float* pfOut2, int iCount) override;
};
