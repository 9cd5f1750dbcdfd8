#include "GainDEntree.h"

#include <cmath>

int CGainDEntree::Process(const float* pfIn1, const float* pfIn2, float* pfOut1, float* pfOut2, int iCount)
{
	const float fGain = static_cast<float>(std::pow(10.0, kGainDb / 20.0));
	for (int i = 0; i < iCount; ++i)
	{
		pfOut1[i] = fGain * pfIn1[i];
		pfOut2[i] = fGain * pfIn2[i];
	}
	return 1;
}
