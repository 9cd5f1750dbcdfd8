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
	const float* pfSource = IsSwitchOn(GetParam(kInputSelection)) ? pfIn1 : pfIn2;
	if (iCount > 0)
	{
		std::copy(pfSource, pfSource + iCount, pfOut1);
		std::copy(pfSource, pfSource + iCount, pfOut2);
	}
	return 1;
}
