#include "MyReverb.h"

#include "Biquad.h"
#include "brontalassert.h"
#include "brontalparams.h"

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
	for (Channel* pChannel : {&m_channel1, &m_channel2})
	{
		for (int k = 0; k < kCombCount; ++k)
			pChannel->apComb[k] = new Biquad(Biquad::kComb, 1.0, k * 0.0101);
		pChannel->pAllPassA = new Biquad(Biquad::kAllPass, 0.09683, 0.005);
		pChannel->pAllPassB = new Biquad(Biquad::kAllPass, 0.03292, 0.0017);
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
	return 1;
}

int CMyReverb::SetSampleRate(const double* pdSampleRate)
{
	int iResult = 1;
	ForEachElement([&](Biquad* pElement) { iResult &= pElement->SetSampleRate(pdSampleRate); });
	return iResult;
}

void CMyReverb::ApplySettings(float fLevel, double dEnhancerDelay)
{
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

float CMyReverb::Reverberate(const Channel& channel, float x)
{
	float s = 0.0f;
	for (Biquad* pComb : channel.apComb)
		s += pComb->ProcessSample(x);
	return channel.pAllPassA->ProcessSample(s) + channel.pAllPassB->ProcessSample(s);
}

int CMyReverb::Process(const float* pfIn1, const float* pfIn2, float* pfOut1, float* pfOut2, int iCount)
{
	if (!m_afParams)
	{
		BRONTAL_ASSERT(false, "m_afParams", "MyReverb");
		CopyStereo(pfIn1, pfIn2, pfOut1, pfOut2, iCount);
		return 1;
	}
	const bool bEnhancer = IsSwitchOn(GetParam(kStereoEnhancerOnOff));
	ApplySettings(GetParam(kReverbLevel), bEnhancer ? kEnhancerDelay : 0.0);

	const float fWet = IsSwitchOn(GetParam(kReverbOnOff)) ? kWetOn : 0.0f;
	const float fDry = 1.0f - 0.6f * fWet;
	const float fReverbGain = kReverbScale * fWet;

	for (int i = 0; i < iCount; ++i)
	{
		// Non-finite samples become 0 before they reach any line.
		const float a = std::isfinite(pfIn1[i]) ? pfIn1[i] : 0.0f;
		float b = std::isfinite(pfIn2[i]) ? pfIn2[i] : 0.0f;
		if (bEnhancer)
			b = m_pEnhancerDelay->ProcessSample(b);
		pfOut1[i] = fDry * a - Reverberate(m_channel1, a) * fReverbGain;
		pfOut2[i] = fDry * b - Reverberate(m_channel2, b) * fReverbGain;
	}
	return 1;
}
