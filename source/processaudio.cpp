#include "processaudio.h"

#include "ComputeInputVumeter.h"
#include "ComputeOutputVumeters.h"
#include "EffectSourceSelector.h"
#include "GainDEntree.h"
#include "MyChorus.h"
#include "MyComp.h"
#include "MyConvolution.h"
#include "MyDelay.h"
#include "MyDisto.h"
#include "MyEqu.h"
#include "MyReverb.h"
#include "brontalassert.h"
#include "brontalparams.h"

#include <algorithm>
#include <cmath>

CProcessAudio::CProcessAudio()
	: m_pSourceSelector(new CEffectSourceSelector)
	, m_pInputGain(new CGainDEntree)
	, m_pInputVumeter(new CComputeInputVumeter)
	, m_pComp(new CMyComp)
	, m_pEquPre(new CMyEqu)
	, m_pEquPost(new CMyEqu)
	, m_pDisto(new CMyDisto)
	, m_pChorus(new CMyChorus)
	, m_pDelay(new CMyDelay)
	, m_pReverb(new CMyReverb)
	, m_pOutputVumeters(new CComputeOutputVumeters)
	, m_pSaturator(new CMyComp)
	, m_pConvolution(new CMyConvolution)
{
}

CProcessAudio::~CProcessAudio()
{
	FreeBuffers();
	delete m_pSourceSelector;
	delete m_pInputGain;
	delete m_pInputVumeter;
	delete m_pComp;
	delete m_pEquPre;
	delete m_pEquPost;
	delete m_pDisto;
	delete m_pChorus;
	delete m_pDelay;
	delete m_pReverb;
	delete m_pConvolution;
	delete m_pOutputVumeters;
	delete m_pSaturator;
	delete[] m_afParams;
}

// The blocks in the order they are attached and reset.
template <typename Fn> void CProcessAudio::ForEachEffect(Fn fn)
{
	CMyEffect* const apEffects[] = {m_pSourceSelector, m_pInputGain, m_pInputVumeter, m_pComp, m_pEquPre,
	                                m_pEquPost, m_pDisto, m_pConvolution, m_pChorus, m_pDelay,
	                                m_pReverb, m_pOutputVumeters, m_pSaturator};
	for (CMyEffect* pEffect : apEffects)
		fn(pEffect);
}

int CProcessAudio::SetBlockSize(int iBlockSize)
{
	if (iBlockSize < 1)
		return 0;
	m_iBlockSize = iBlockSize;
	return 1;
}

int CProcessAudio::SetSampleRate(const double* pdSampleRate)
{
	if (!pdSampleRate)
		return 0;
	m_pdSampleRate = pdSampleRate;
	return 1;
}

int CProcessAudio::SetBufferCount(int iBufferCount)
{
	if (iBufferCount < 2)
		return 0;
	m_iBufferCount = iBufferCount;
	return 1;
}

int CProcessAudio::SetParamCount(int iParamCount)
{
	if (iParamCount < 1)
		return 0;
	m_iParamCount = iParamCount;
	return 1;
}

int CProcessAudio::SetTempo(const ParamCell* pfTempo)
{
	m_pfTempo = pfTempo;
	return 1;
}

int CProcessAudio::Init()
{
	if (m_iParamCount < 1)
		return 0;
	delete[] m_afParams;
	m_afParams = new ParamCell*[m_iParamCount]();

	if (m_iBufferCount < 2 || m_iBlockSize < 1)
		return 0;
	if (m_ppfBuffers)
	{
		BRONTAL_ASSERT(false, "0", "processaudio");
		return 0;
	}
	m_ppfBuffers = new float*[m_iBufferCount];
	for (int i = 0; i < m_iBufferCount; ++i)
		m_ppfBuffers[i] = new float[m_iBlockSize]();

	ForEachEffect([this](CMyEffect* pEffect) {
		pEffect->SetSampleRate(m_pdSampleRate);
		if (pEffect == m_pDelay || pEffect == m_pReverb)
			pEffect->SetTempo(m_pfTempo);
	});
	ForEachEffect([this](CMyEffect* pEffect) { pEffect->SetParams(m_afParams); });

	m_pEquPre->Configure(0, 0, 0, 0, 0, 0, 0, 0, 0, 0, false);
	m_pEquPost->Configure(7, 0, 0, 0, 0, 0, 0, 0, 0, 0, true);
	Reset();
	return 1;
}

int CProcessAudio::SetParamPointer(int iId, ParamCell* pfValue)
{
	if (iId < kFirstParam || iId > kLastParam || iId >= m_iParamCount || !m_afParams)
	{
		BRONTAL_ASSERT(false, "0", "processaudio");
		return 0;
	}
	m_afParams[iId] = pfValue;
	return 1;
}

int CProcessAudio::GetParams(ParamCell*** pafParams) const
{
	if (!m_afParams || !pafParams)
		return 0;
	*pafParams = m_afParams;
	return 1;
}

int CProcessAudio::Reset()
{
	ForEachEffect([](CMyEffect* pEffect) { pEffect->Reset(); });
	return 1;
}

void CProcessAudio::Snap()
{
	ForEachEffect([](CMyEffect* pEffect) { pEffect->Snap(); });
}

int CProcessAudio::SampleRateChanged()
{
	if (!m_pdSampleRate)
		return 0;
	ForEachEffect([this](CMyEffect* pEffect) { pEffect->SetSampleRate(m_pdSampleRate); });
	return Reset();
}

int CProcessAudio::Process(const float* pfInLeft, const float* pfInRight, float* pfOutLeft, float* pfOutRight,
                           int iCount)
{
	if (iCount < 1 || !pfInLeft || !pfInRight || !pfOutLeft || !pfOutRight)
		return 0;
	if (!m_ppfBuffers || iCount > m_iBlockSize || m_iBufferCount < 22)
	{
		BRONTAL_ASSERT(false, "0", "processaudio");
		return 0;
	}
	float** W = m_ppfBuffers;

	// W0 and W1 hold the host input with every non-finite sample made 0, so
	// one bad sample can never poison a filter or a feedback line.
	for (int i = 0; i < iCount; ++i)
	{
		W[0][i] = SanitiseSample(pfInLeft[i]);
		W[1][i] = SanitiseSample(pfInRight[i]);
	}

	if (!m_pSourceSelector->Process(W[0], W[1], W[2], W[3], iCount))
		return 0;
	if (!m_pInputGain->Process(W[2], W[3], W[4], W[5], iCount))
		return 0;
	if (!m_pInputVumeter->Process(W[4], W[5], nullptr, nullptr, iCount))
		return 0;
	if (!m_pComp->Process(W[4], W[5], W[6], W[7], iCount))
		return 0;
	if (!m_pEquPre->Process(W[6], W[7], W[8], W[9], iCount))
		return 0;
	if (!m_pDisto->Process(W[8], W[9], W[10], W[11], iCount))
		return 0;
	if (!m_pConvolution->Process(W[10], W[11], W[12], W[13], iCount))
		return 0;
	if (!m_pEquPost->Process(W[12], W[13], W[14], W[15], iCount))
		return 0;
	if (!m_pChorus->Process(W[14], W[15], W[16], W[17], iCount))
		return 0;
	if (!m_pDelay->Process(W[16], W[17], W[18], W[19], iCount))
		return 0;
	if (!m_pReverb->Process(W[18], W[19], W[20], W[21], iCount))
		return 0;
	if (!m_pSaturator->ProcessSaturation(W[20], W[21], pfOutLeft, pfOutRight, iCount))
		return 0;
	return m_pOutputVumeters->Process(pfOutLeft, pfOutRight, nullptr, nullptr, iCount) != 0 ? 1 : 0;
}

double CProcessAudio::GetTailSeconds() const
{
	// The cabinet, the chorus and the filters settle within this.
	constexpr double kSettleSeconds = 0.1;
	constexpr double kLongestTail = 300.0;
	const double dTail = kSettleSeconds + m_pDelay->GetTailSeconds() + m_pReverb->GetTailSeconds();
	return std::isfinite(dTail) ? std::min(dTail, kLongestTail) : kLongestTail;
}

int CProcessAudio::FreeBuffers()
{
	if (m_ppfBuffers)
	{
		for (int i = 0; i < m_iBufferCount; ++i)
			delete[] m_ppfBuffers[i];
		delete[] m_ppfBuffers;
		m_ppfBuffers = nullptr;
	}
	return 1;
}
