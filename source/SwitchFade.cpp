#include "SwitchFade.h"

#include <algorithm>
#include <cmath>
#include <cstring>

void CSwitchFade::Follow(bool bOn, double dSampleRate, int iFill)
{
	if (!m_bKnown)
	{
		m_bKnown = true;
		m_bOn = bOn;
		m_iLength = 0;
		m_iFill = 0;
		return;
	}
	if (bOn == m_bOn)
		return;
	m_bOn = bOn;
	if (m_iFill > 0)
	{
		// Nothing of the on path has been heard yet.
		m_iFill = 0;
		m_iLength = 0;
		return;
	}
	if (m_iLength > 0)
	{
		m_iDone = m_iLength - m_iDone;
		return;
	}
	const double dLength = kFadeSeconds * dSampleRate;
	m_iLength = dLength >= 1.0 ? static_cast<int>(dLength < 65536.0 ? dLength + 0.5 : 65536.0) : 1;
	m_iDone = 0;
	m_iFill = bOn ? std::max(0, iFill) : 0;
}

void CSwitchFade::Crossfade(const float* pfOff1, float* pfOn1, const float* pfOff2, float* pfOn2, int iCount,
                            Law law)
{
	if (iCount <= 0 || m_iLength == 0)
		return;
	const int iFilling = std::min(m_iFill, iCount);
	if (iFilling > 0)
	{
		std::memmove(pfOn1, pfOff1, sizeof(float) * static_cast<size_t>(iFilling));
		if (pfOn2)
			std::memmove(pfOn2, pfOff2, sizeof(float) * static_cast<size_t>(iFilling));
		m_iFill -= iFilling;
	}
	for (int i = iFilling; i < iCount; ++i)
	{
		// Past the fade's end the on path's share stays where it ended.
		const int iPos = std::min(m_iDone + i - iFilling + 1, m_iLength);
		const float fRamp = static_cast<float>(iPos) / static_cast<float>(m_iLength);
		const float fShare = m_bOn ? fRamp : 1.0f - fRamp;
		float fOn = fShare, fOff = 1.0f - fShare;
		if (law == kEqualPower)
		{
			fOn = std::sin(1.5707963f * fShare);
			fOff = std::cos(1.5707963f * fShare);
		}
		pfOn1[i] = fOn * pfOn1[i] + fOff * pfOff1[i];
		if (pfOn2)
			pfOn2[i] = fOn * pfOn2[i] + fOff * pfOff2[i];
	}
	m_iDone += iCount - iFilling;
	if (m_iDone >= m_iLength)
		m_iLength = 0;
}
