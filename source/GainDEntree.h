#pragma once

#include "MyEffect.h"

// Input gain, fixed at 0 dB.
class CGainDEntree : public CMyEffect
{
public:
	static constexpr double kGainDb = 0.0;

	int Reset() override { return 1; }
	int Process(const float* pfIn1, const float* pfIn2, float* pfOut1, float* pfOut2, int iCount) override;
};
