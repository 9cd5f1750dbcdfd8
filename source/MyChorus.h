#pragma once

#include "MyEffect.h"

// Stereo chorus.
// Placeholder: passes its inputs through until the block itself is written.
class CMyChorus : public CMyEffect
{
public:
	int Reset() override { return 1; }
	int Process(const float* pfIn1, const float* pfIn2, float* pfOut1, float* pfOut2, int iCount) override
	{
		CopyStereo(pfIn1, pfIn2, pfOut1, pfOut2, iCount);
		return 1;
	}
};
