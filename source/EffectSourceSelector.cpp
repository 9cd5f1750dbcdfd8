#include "EffectSourceSelector.h"

#include "brontalassert.h"
#include "brontalparams.h"

#include <algorithm>

int CEffectSourceSelector::Process(const float* pfIn1, const float* pfIn2, float* pfOut1, float* pfOut2, int iCount)
{
	if (!m_afParams)
	{
		BRONTAL_ASSERT(false, "0", "EffectSourceSelector");
		return 0;
	}
	if (iCount <= 0)
		return 1;
	m_fade.Follow(IsSwitchOn(GetParam(kInputSelection)), m_pdSampleRate ? *m_pdSampleRate : 0.0);
	const float* pfSource = m_fade.On() ? pfIn1 : pfIn2;
	if (m_fade.Mixing())
	{
		// Two different strings, or a string and nothing: unrelated signals.
		std::copy(pfIn1, pfIn1 + iCount, pfOut1);
		m_fade.Crossfade(pfIn2, pfOut1, nullptr, nullptr, iCount, CSwitchFade::kEqualPower);
		pfSource = pfOut1;
	}
	else
		std::copy(pfSource, pfSource + iCount, pfOut1);
	std::copy(pfSource, pfSource + iCount, pfOut2);
	return 1;
}
