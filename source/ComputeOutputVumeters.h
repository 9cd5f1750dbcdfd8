#pragma once

#include "ComputeInputVumeter.h"

// Output level meters (45 dB scale, instant rise, 2.0 per second fall) and
// the output clip indicator, measured on exactly what the host receives.
class CComputeOutputVumeters : public CComputeInputVumeter
{
public:
	static constexpr float kInvRangeDb = 0.022222223f; // 1/45

	int Process(const float* pfIn1, const float* pfIn2, float* pfOut1, float* pfOut2, int iCount) override;
};
