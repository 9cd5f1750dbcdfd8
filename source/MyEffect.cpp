#include "MyEffect.h"

#include "brontalassert.h"

int CMyEffect::ProcessSaturation(const float*, const float*, float*, float*, int)
{
	BRONTAL_ASSERT(false, "0", "MyEffect");
	return 1;
}

int CMyEffect::SetSampleRate(const double* pdSampleRate)
{
	if (!pdSampleRate)
	{
		BRONTAL_ASSERT(false, "0", "MyEffect");
		return 0;
	}
	m_pdSampleRate = pdSampleRate;
	return 1;
}

int CMyEffect::Configure(int, int, int, int, int, int, int, int, int, int, bool)
{
	BRONTAL_ASSERT(false, "0", "MyEffect");
	return 1;
}

float CMyEffect::ProcessSample(float)
{
	BRONTAL_ASSERT(false, "0", "MyEffect");
	return 0.0f;
}

int CMyEffect::SetParams(ParamCell** afParams)
{
	if (!afParams)
	{
		BRONTAL_ASSERT(false, "0", "MyEffect");
		return 0;
	}
	m_afParams = afParams;
	return 1;
}

int CMyEffect::SetTempo(const ParamCell* pfTempo)
{
	m_pfTempo = pfTempo;
	return 1;
}
