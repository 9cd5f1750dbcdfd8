#include "SwitchFade.h"

#include <algorithm>
#include <cmath>

void CSwitchFade::Crossfade(const float* pfOff1, float* pfOn1, const float* pfOff2, float* pfOn2, int iCount,
                            Law law)
{
	for (int i = 0; i < iCount; ++i)
	{
		// Past the fade's end the on path's share stays where it ended.
		const int iPos = std::min(m_iDone + i + 1, m_iLength);
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
	m_iDone += iCount;
	if (m_iDone >= m_iLength)
		m_iLength = 0;
}
