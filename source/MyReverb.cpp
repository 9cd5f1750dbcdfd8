#include "MyReverb.h"

#include "Biquad.h"
#include "brontalassert.h"
#include "brontalparams.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>

namespace {
// Comb k (0-based) loops over 39.7 ms plus 3.5 ms per step.
float CombDelay(int k)
{
	return (3.5f * static_cast<float>(k) + 39.7f) * 0.001f;
}

constexpr float kAllPassADelay = 0.005f;
constexpr float kAllPassBDelay = 0.0017f;
constexpr float kMaxDecay = 3.0f;
constexpr float kWetOn = 0.45f;
constexpr float kReverbScale = 0.04f;
} // namespace

CMyReverb::CMyReverb() : m_pEnhancerDelay(new Biquad(Biquad::kDelayLine, 0.0, 1.0))
{
	// Every element is later set to one fixed delay, so its ring need hold
	// no more than that.
	m_pEnhancerDelay->SetMaxDelayTime(kEnhancerDelay);
	for (Channel* pChannel : {&m_channel1, &m_channel2})
	{
		for (int k = 0; k < kCombCount; ++k)
		{
			pChannel->apComb[k] = new Biquad(Biquad::kComb, 1.0, k * 0.0101);
			pChannel->apComb[k]->SetMaxDelayTime(CombDelay(k));
		}
		pChannel->pAllPassA = new Biquad(Biquad::kAllPass, 0.09683, 0.005);
		pChannel->pAllPassA->SetMaxDelayTime(kAllPassADelay);
		pChannel->pAllPassB = new Biquad(Biquad::kAllPass, 0.03292, 0.0017);
		pChannel->pAllPassB->SetMaxDelayTime(kAllPassBDelay);
	}
	Reset();
}

double CMyReverb::GetTailSeconds() const
{
	if (!m_afParams)
		return 0.0;
	double dTail = IsSwitchOn(GetParam(kStereoEnhancerOnOff)) ? kEnhancerDelay : 0.0;
	// The combs fall 60 dB in their decay time, the same at every level
	// below; the longest comb adds its own loop once.
	if (IsSwitchOn(GetParam(kReverbOnOff)))
		dTail += static_cast<double>(kMaxDecay * GetParam(kReverbLevel)) * (kTailFloorDb / -60.0) +
		         static_cast<double>(CombDelay(kCombCount - 1));
	return dTail;
}

CMyReverb::~CMyReverb()
{
	ForEachElement([](Biquad* pElement) { delete pElement; });
}

// Combs pairwise across the channels, then the enhancer, then the all-passes.
template <typename Fn> void CMyReverb::ForEachElement(Fn fn)
{
	for (int k = 0; k < kCombCount; ++k)
	{
		fn(m_channel1.apComb[k]);
		fn(m_channel2.apComb[k]);
	}
	fn(m_pEnhancerDelay);
	fn(m_channel1.pAllPassA);
	fn(m_channel1.pAllPassB);
	fn(m_channel2.pAllPassA);
	fn(m_channel2.pAllPassB);
}

int CMyReverb::Reset()
{
	ForEachElement([](Biquad* pElement) { pElement->Reset(); });
	m_bSettingsValid = false;
	Snap();
	return 1;
}

int CMyReverb::SetSampleRate(const double* pdSampleRate)
{
	int iResult = 1;
	ForEachElement([&](Biquad* pElement) { iResult &= pElement->SetSampleRate(pdSampleRate); });
	m_bSettingsValid = false;
	// The switches' fades are timed by the rate too.
	return CMyEffect::SetSampleRate(pdSampleRate) & iResult;
}

int CMyReverb::EnhancerMemory() const
{
	const double dRate = m_pdSampleRate ? *m_pdSampleRate : 0.0;
	return dRate > 0.0 && dRate < 1e7 ? std::max(1, static_cast<int>(std::ceil(kEnhancerDelay * dRate))) : 1;
}

int CMyReverb::MemorySamples() const
{
	return m_afParams && IsSwitchOn(GetParam(kStereoEnhancerOnOff)) ? EnhancerMemory() : 0;
}

void CMyReverb::ApplySettings(float fLevel, double dEnhancerDelay)
{
	// The elements' gains and read positions follow only these two and the
	// rate; a block that changes none of them keeps what they hold.
	if (m_bSettingsValid && fLevel == m_fAppliedLevel && dEnhancerDelay == m_dAppliedEnhancerDelay)
		return;
	m_bSettingsValid = true;
	m_fAppliedLevel = fLevel;
	m_dAppliedEnhancerDelay = dEnhancerDelay;
	const float fCombDecay = kMaxDecay * fLevel;
	const float fAllPassADecay = fCombDecay / 31.25f;
	const float fAllPassBDecay = fCombDecay / 911.0f;

	m_pEnhancerDelay->SetDecayTime(0.0);
	m_pEnhancerDelay->SetDelayTime(dEnhancerDelay);
	for (const Channel* pChannel : {&m_channel1, &m_channel2})
	{
		for (int k = 0; k < kCombCount; ++k)
		{
			pChannel->apComb[k]->SetDecayTime(fCombDecay);
			pChannel->apComb[k]->SetDelayTime(CombDelay(k));
		}
		pChannel->pAllPassA->SetDecayTime(fAllPassADecay);
		pChannel->pAllPassA->SetDelayTime(kAllPassADelay);
		pChannel->pAllPassB->SetDecayTime(fAllPassBDecay);
		pChannel->pAllPassB->SetDelayTime(kAllPassBDelay);
	}
}

void CMyReverb::Reverberate(const Channel& channel, const float* pfIn, float* pfOut, int iCount)
{
	float afSum[kStretch];
	float afElement[kStretch];
	std::fill(afSum, afSum + iCount, 0.0f);
	// The combs' outputs summed in their order, as one sample at a time would.
	for (Biquad* pComb : channel.apComb)
	{
		pComb->ProcessDelayLine(pfIn, afElement, iCount);
		for (int i = 0; i < iCount; ++i)
			afSum[i] += afElement[i];
	}
	channel.pAllPassA->ProcessDelayLine(afSum, pfOut, iCount);
	channel.pAllPassB->ProcessDelayLine(afSum, afElement, iCount);
	for (int i = 0; i < iCount; ++i)
		pfOut[i] += afElement[i];
}

int CMyReverb::Process(const float* pfIn1, const float* pfIn2, float* pfOut1, float* pfOut2, int iCount)
{
	if (!m_afParams)
	{
		BRONTAL_ASSERT(false, "m_afParams", "MyReverb");
		CopyStereo(pfIn1, pfIn2, pfOut1, pfOut2, iCount);
		return 1;
	}
	const double dRate = m_pdSampleRate ? *m_pdSampleRate : 0.0;
	// Switched on, the enhancer's delay first fills with the present signal
	// (its ring holds whatever it held when last on), then fades in.
	m_enhancerFade.Follow(IsSwitchOn(GetParam(kStereoEnhancerOnOff)), dRate, EnhancerMemory());
	m_reverbFade.Follow(IsSwitchOn(GetParam(kReverbOnOff)), dRate);
	// While the enhancer fills or fades either way its delay runs.
	const bool bEnhancer = !m_enhancerFade.Off();
	m_levelGlide.Follow(GetParam(kReverbLevel), dRate);

	float afA[kStretch], afB[kStretch], afDelayedB[kStretch], afR1[kStretch], afR2[kStretch];
	int iRunEnd = 0;
	for (int iDone = 0, n = 0; iDone < iCount; iDone += n)
	{
		// A gliding level steps at each run: every element's gain follows it.
		if (iDone == iRunEnd)
		{
			const CLevelGlide::Run run = m_levelGlide.Next(iCount - iDone);
			ApplySettings(run.fTo, bEnhancer ? kEnhancerDelay : 0.0);
			iRunEnd += run.iCount;
		}
		n = std::min(kStretch, iRunEnd - iDone);
		// Non-finite samples become 0 before they reach any line.
		for (int i = 0; i < n; ++i)
		{
			afA[i] = SanitiseSample(pfIn1[iDone + i]);
			afB[i] = SanitiseSample(pfIn2[iDone + i]);
		}
		const float* pfB = afB;
		// A fade off may end at any run of a gliding level: from there on the
		// dry side is heard.
		if (!m_enhancerFade.Off())
		{
			m_pEnhancerDelay->ProcessDelayLine(afB, afDelayedB, n);
			// A tenth of a second apart, the two are unrelated.
			if (m_enhancerFade.Mixing())
				m_enhancerFade.Crossfade(afB, afDelayedB, nullptr, nullptr, n, CSwitchFade::kEqualPower);
			pfB = afDelayedB;
		}
		Reverberate(m_channel1, afA, afR1, n);
		Reverberate(m_channel2, pfB, afR2, n);
		// The reverberators run whether the reverb is on or not, so turning
		// it on brings in a tail that is already there. Its fade off may end
		// at any run, as the enhancer's may.
		const float fWet = m_reverbFade.Off() ? 0.0f : kWetOn;
		const float fDry = 1.0f - 0.6f * fWet;
		const float fReverbGain = kReverbScale * fWet;
		for (int i = 0; i < n; ++i)
		{
			pfOut1[iDone + i] = fDry * afA[i] - afR1[i] * fReverbGain;
			pfOut2[iDone + i] = fDry * pfB[i] - afR2[i] * fReverbGain;
		}
		// The on path carries the dry signal too: the two add in phase.
		if (m_reverbFade.Mixing())
			m_reverbFade.Crossfade(afA, pfOut1 + iDone, pfB, pfOut2 + iDone, n, CSwitchFade::kEqualGain);
	}
	return 1;
}
