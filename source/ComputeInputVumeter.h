#pragma once

#include "MyEffect.h"

// Blocks an indicator stays lit after the one that triggered it.
constexpr int kClipHoldBlocks = 200;

// Largest magnitude in a buffer, from 0; NaN samples never win.
float BlockPeak(const float* pfIn, int iCount);

// Drives the input clip indicator from the gain stage's output; a tap that
// writes no audio.
class CComputeInputVumeter : public CMyEffect
{
public:
	int Reset() override;
	int Process(const float* pfIn1, const float* pfIn2, float* pfOut1, float* pfOut2, int iCount) override;

protected:
	int m_iClipHold = 0;
};
