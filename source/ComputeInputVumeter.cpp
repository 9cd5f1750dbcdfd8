#include "ComputeInputVumeter.h"

#include "GainDEntree.h"
#include "brontalparams.h"

#include <cmath>

float BlockPeak(const float* pfIn, int iCount)
{
	// Eight running peaks side by side; a NaN never becomes a peak.
	float afPeak[8] = {};
	int i = 0;
	for (; i + 8 <= iCount; i += 8)
		for (int j = 0; j < 8; ++j)
		{
			const float fMagnitude = std::fabs(pfIn[i + j]);
			afPeak[j] = fMagnitude > afPeak[j] ? fMagnitude : afPeak[j];
		}
	for (; i < iCount; ++i)
	{
		const float fMagnitude = std::fabs(pfIn[i]);
		afPeak[0] = fMagnitude > afPeak[0] ? fMagnitude : afPeak[0];
	}
	float fPeak = 0.0f;
	for (float f : afPeak)
		fPeak = f > fPeak ? f : fPeak;
	return fPeak;
}

int CComputeInputVumeter::Reset()
{
	m_iClipHold = 0;
	return 1;
}

int CComputeInputVumeter::Process(const float* pfIn1, const float*, float*, float*, int iCount)
{
	const float fPeak = BlockPeak(pfIn1, iCount);
	// Clipping is judged against the level the fixed input gain passes at full scale.
	const float fReference = static_cast<float>(std::pow(10.0, CGainDEntree::kGainDb / 20.0));
	if (fReference != 0.0f && fPeak / fReference > 0.99f)
		m_iClipHold = kClipHoldBlocks;
	SetParam(kInputClippingLed, m_iClipHold != 0 ? 1.0f : 0.0f);
	if (m_iClipHold > 0)
		--m_iClipHold;
	return 1;
}
