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
#include "Tuner.h"
#include "brontalassert.h"
#include "brontalparams.h"

#include <algorithm>
#include <cmath>
#include <cstring>

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
	, m_pTuner(new CTuner)
	, m_pEquPreTwin(new CMyEqu)
	, m_pDistoTwin(new CMyDisto)
	, m_pConvolutionTwin(new CMyConvolution)
	, m_pEquPostTwin(new CMyEqu)
	, m_aDrive{{m_pEquPre, m_pDisto, m_pConvolution, m_pEquPost, nullptr, {1.0f}},
	           {m_pEquPreTwin, m_pDistoTwin, m_pConvolutionTwin, m_pEquPostTwin, nullptr, {1.0f}}}
{
}

CProcessAudio::~CProcessAudio()
{
	FreeBuffers();
	delete m_pHeardResponse;
	delete m_pLeavingResponse;
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
	delete m_pTuner;
	delete m_pOutputVumeters;
	delete m_pSaturator;
	delete m_pEquPreTwin;
	delete m_pDistoTwin;
	delete m_pConvolutionTwin;
	delete m_pEquPostTwin;
	for (DriveStages& stages : m_aDrive)
		delete[] stages.afParams;
	delete[] m_afParams;
}

// The blocks in the order they are attached and reset.
template <typename Fn> void CProcessAudio::ForEachEffect(Fn fn) const
{
	CMyEffect* const apEffects[] = {m_pSourceSelector, m_pInputGain, m_pInputVumeter, m_pComp, m_pEquPre,
	                                m_pEquPost, m_pDisto, m_pConvolution, m_pChorus, m_pDelay,
	                                m_pReverb, m_pOutputVumeters, m_pSaturator, m_pEquPreTwin,
	                                m_pDistoTwin, m_pConvolutionTwin, m_pEquPostTwin, m_pTuner};
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
	for (DriveStages& stages : m_aDrive)
	{
		delete[] stages.afParams;
		stages.afParams = new ParamCell*[m_iParamCount]();
		if (kDistortionOnOff < m_iParamCount)
			stages.afParams[kDistortionOnOff] = &stages.fSwitch;
	}

	if (m_iBufferCount < 2 || m_iBlockSize < 1)
		return 0;
	// Too few buffers for the stages is a mistake of whoever prepares the
	// chain: it is refused here, not found on the audio thread.
	if (m_iBufferCount < kBufferCount)
	{
		BRONTAL_ASSERT(false, "m_iBufferCount >= kBufferCount", "processaudio");
		return 0;
	}
	if (m_ppfBuffers)
	{
		BRONTAL_ASSERT(false, "0", "processaudio");
		return 0;
	}
	m_ppfBuffers = new float*[m_iBufferCount];
	for (int i = 0; i < m_iBufferCount; ++i)
		m_ppfBuffers[i] = new float[m_iBlockSize]();
	// The stages' pairs are the buffers in the order Stages lists them.
	std::memcpy(&m_stages, m_ppfBuffers, sizeof m_stages);

	ForEachEffect([this](CMyEffect* pEffect) {
		pEffect->SetSampleRate(m_pdSampleRate);
		if (pEffect == m_pDelay || pEffect == m_pReverb)
			pEffect->SetTempo(m_pfTempo);
	});
	ForEachEffect([this](CMyEffect* pEffect) { pEffect->SetParams(m_afParams); });
	for (DriveStages& stages : m_aDrive)
	{
		for (CMyEffect* pEffect : {static_cast<CMyEffect*>(stages.pEquPre), static_cast<CMyEffect*>(stages.pDisto),
		                           static_cast<CMyEffect*>(stages.pConvolution), static_cast<CMyEffect*>(stages.pEquPost)})
			pEffect->SetParams(stages.afParams);
		stages.pEquPre->Configure(0, 0, 0, 0, 0, 0, 0, 0, 0, 0, false);
		stages.pEquPost->Configure(7, 0, 0, 0, 0, 0, 0, 0, 0, 0, true);
	}
	Reset();
	return 1;
}

int CProcessAudio::SetParamPointer(int iId, ParamCell* pfValue)
{
	if (!IsParamId(iId) || iId >= m_iParamCount || !m_afParams)
	{
		BRONTAL_ASSERT(false, "0", "processaudio");
		return 0;
	}
	m_afParams[iId] = pfValue;
	for (DriveStages& stages : m_aDrive)
		if (iId != kDistortionOnOff)
			stages.afParams[iId] = pfValue;
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
	m_driveFade.Forget();
	m_iDriveHeard = 0;
	ExchangeResponses(true);
	return 1;
}

void CProcessAudio::ExchangeResponses(bool bAtOnce)
{
	if (m_bResponseChanging && !m_pConvolution->Switching() && !m_pConvolutionTwin->Switching() && m_responses.CanLetGo())
	{
		m_responses.LetGo(m_pLeavingResponse);
		m_pLeavingResponse = nullptr;
		m_bResponseChanging = false;
	}
	if (m_bResponseChanging)
		return;
	CPlayerResponse* pResponse = m_responses.Take();
	if (!pResponse)
		return;
	m_pLeavingResponse = m_pHeardResponse;
	m_pHeardResponse = pResponse;
	m_bResponseChanging = true;
	// A set nobody hears takes it at once; it is cleared before it is heard.
	for (int i = 0; i < 2; ++i)
		m_aDrive[i].pConvolution->UseResponse(pResponse->Set(i), bAtOnce || (i != m_iDriveHeard && !m_driveFade.Mixing()));
	if (bAtOnce)
		ExchangeResponses(true);
}

int CProcessAudio::RunDriveStages(DriveStages& stages, const Pair& in, const Pair (&pairs)[2], int iCount)
{
	const Pair &a = pairs[0], &b = pairs[1];
	if (!stages.pEquPre->Process(in.pf1, in.pf2, a.pf1, a.pf2, iCount) ||
	    !stages.pDisto->Process(a.pf1, a.pf2, b.pf1, b.pf2, iCount) ||
	    !stages.pConvolution->Process(b.pf1, b.pf2, a.pf1, a.pf2, iCount))
		return 0;
	// A stereo cabinet response gives the equaliser after it two channels.
	stages.pEquPost->SetStereo(stages.pConvolution->StereoOutput());
	return stages.pEquPost->Process(a.pf1, a.pf2, b.pf1, b.pf2, iCount);
}

void CProcessAudio::Snap()
{
	ForEachEffect([](CMyEffect* pEffect) { pEffect->Snap(); });
	m_driveFade.Forget();
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
	if (!m_ppfBuffers || iCount > m_iBlockSize)
	{
		BRONTAL_ASSERT(false, "0", "processaudio");
		return 0;
	}
	const Stages& w = m_stages;
	ExchangeResponses(false);

	// Every non-finite sample made 0 and every absurd one bounded, so that
	// one bad sample can never poison a filter or a feedback line.
	for (int i = 0; i < iCount; ++i)
	{
		w.input.pf1[i] = BoundSample(pfInLeft[i]);
		w.input.pf2[i] = BoundSample(pfInRight[i]);
	}

	if (!m_pSourceSelector->Process(w.input.pf1, w.input.pf2, w.selected.pf1, w.selected.pf2, iCount) ||
	    !m_pTuner->Process(w.selected.pf1, nullptr, nullptr, nullptr, iCount) ||
	    !m_pInputGain->Process(w.selected.pf1, w.selected.pf2, w.gained.pf1, w.gained.pf2, iCount) ||
	    !m_pInputVumeter->Process(w.gained.pf1, w.gained.pf2, nullptr, nullptr, iCount) ||
	    !m_pComp->Process(w.gained.pf1, w.gained.pf2, w.compressed.pf1, w.compressed.pf2, iCount))
		return 0;

	// The distortion switch as the heard set hears it; a change starts the
	// other set afresh with the new voicing and fades over to it.
	const float fDrive = m_afParams[kDistortionOnOff]->load(std::memory_order_relaxed);
	const bool bSettled = !m_driveFade.Mixing();
	const bool bKnown = m_driveFade.Known();
	m_driveFade.Follow(IsSwitchOn(fDrive), *m_pdSampleRate);
	DriveStages& heard = m_aDrive[m_iDriveHeard];
	DriveStages& other = m_aDrive[1 - m_iDriveHeard];
	if (!bKnown || !m_driveFade.Mixing())
		heard.fSwitch.store(fDrive, std::memory_order_relaxed);
	else if (bSettled)
	{
		for (CMyEffect* pEffect : {static_cast<CMyEffect*>(other.pEquPre), static_cast<CMyEffect*>(other.pDisto),
		                           static_cast<CMyEffect*>(other.pConvolution), static_cast<CMyEffect*>(other.pEquPost)})
			pEffect->Reset();
		other.fSwitch.store(fDrive, std::memory_order_relaxed);
	}
	const Pair(&heardPairs)[2] = w.drive[m_iDriveHeard];
	if (!RunDriveStages(heard, w.compressed, heardPairs, iCount))
		return 0;
	Pair voiced = heardPairs[1];
	if (m_driveFade.Mixing())
	{
		const Pair(&otherPairs)[2] = w.drive[1 - m_iDriveHeard];
		if (!RunDriveStages(other, w.compressed, otherPairs, iCount))
			return 0;
		// Driven and clean sounds are unrelated: their powers add.
		const bool bHeardOn = IsSwitchOn(heard.fSwitch.load(std::memory_order_relaxed));
		const Pair& on = bHeardOn ? heardPairs[1] : otherPairs[1];
		const Pair& off = bHeardOn ? otherPairs[1] : heardPairs[1];
		m_driveFade.Crossfade(off.pf1, on.pf1, off.pf2, on.pf2, iCount, CSwitchFade::kEqualPower);
		voiced = on;
		// Faded over: from now on the set that hears the switch as it stands.
		if (!m_driveFade.Mixing() && bHeardOn != m_driveFade.On())
			m_iDriveHeard = 1 - m_iDriveHeard;
	}
	// The blocks after the cabinet carry its two channels when they differ;
	// the chorus alone reads one channel otherwise.
	m_pChorus->SetStereo(m_pConvolution->StereoOutput() || m_pConvolutionTwin->StereoOutput());
	if (!m_pChorus->Process(voiced.pf1, voiced.pf2, w.chorused.pf1, w.chorused.pf2, iCount) ||
	    !m_pDelay->Process(w.chorused.pf1, w.chorused.pf2, w.delayed.pf1, w.delayed.pf2, iCount) ||
	    !m_pReverb->Process(w.delayed.pf1, w.delayed.pf2, w.reverberated.pf1, w.reverberated.pf2, iCount) ||
	    !m_pSaturator->ProcessSaturation(w.reverberated.pf1, w.reverberated.pf2, pfOutLeft, pfOutRight, iCount))
		return 0;
	// The saturator is done with the reverb's pair: it holds the silent side
	// of the tuner's fade. The meters show what is heard.
	m_pTuner->Mute(pfOutLeft, pfOutRight, w.reverberated.pf1, w.reverberated.pf2, iCount);
	return m_pOutputVumeters->Process(pfOutLeft, pfOutRight, nullptr, nullptr, iCount) != 0 ? 1 : 0;
}

int CProcessAudio::MemorySamples() const
{
	int iLongest = 0;
	ForEachEffect([&](const CMyEffect* pEffect) { iLongest = std::max(iLongest, pEffect->MemorySamples()); });
	return iLongest;
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
		m_stages = {};
	}
	return 1;
}
