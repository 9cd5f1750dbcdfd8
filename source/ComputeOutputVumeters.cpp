#include "ComputeOutputVumeters.h"

#include "brontalparams.h"

#include <algorithm>
#include <cmath>

namespace {
// The dB scale is monotonic, so the block's loudest sample alone decides its
// meter value: one logarithm per block instead of one per sample.
float MeterValue(float fPeak)
{
	const float fLevel = std::min(fPeak, 1.0f);
	const float fDb = fLevel == 0.0f ? -45.0f : 20.0f * std::log10(fLevel);
	return std::max(0.0f, (fDb + 45.0f) * CComputeOutputVumeters::kInvRangeDb);
}

float Ballistics(float fPeak, float fPrevious, float fFall)
{
	if (fPeak > fPrevious)
		return fPeak;
	const float fValue = fPrevious - fFall;
	return fValue < 0.0f ? 0.0f : fValue;
}
} // namespace

int CComputeOutputVumeters::Process(const float* pfIn1, const float* pfIn2, float*, float*, int iCount)
{
	const float fPeakLeft = MeterValue(BlockPeak(pfIn1, iCount));
	const float fPeakRight = MeterValue(BlockPeak(pfIn2, iCount));
	const float fDuration = static_cast<float>(iCount) / SampleRateF();
	SetParam(kOutputLeftVumeter, Ballistics(fPeakLeft, GetParam(kOutputLeftVumeter), 2.0f * fDuration));
	SetParam(kOutputRightVumeter, Ballistics(fPeakRight, GetParam(kOutputRightVumeter), 2.0f * fDuration));

	if (fPeakLeft > 0.99f || fPeakRight > 0.99f)
		m_iClipHold = kClipHoldBlocks;
	SetParam(kOutputClippingLed, m_iClipHold != 0 ? 1.0f : 0.0f);
	if (m_iClipHold > 0)
		--m_iClipHold;
	return 1;
}
