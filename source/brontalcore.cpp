#include "brontalcore.h"

#include "ComputeInputVumeter.h"
#include "MyConvolution.h"
#include "irstate.h"
#include "processaudio.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <xmmintrin.h>

namespace brontal {
namespace {

// The chain's work buffers hold this many samples; longer host blocks go
// through in pieces.
constexpr int kChainBlockSize = 1024;
// Below this the ringing-out output counts as silence.
constexpr float kSilenceThreshold = 1.0e-6f;

// Flush-to-zero and denormals-are-zero for the duration of one block,
// restoring the host's mode afterwards.
class DenormalGuard
{
public:
	DenormalGuard() : m_uSaved(_mm_getcsr()) { _mm_setcsr(m_uSaved | 0x8040u); }
	~DenormalGuard() { _mm_setcsr(m_uSaved); }
	DenormalGuard(const DenormalGuard&) = delete;
	DenormalGuard& operator=(const DenormalGuard&) = delete;

private:
	unsigned int m_uSaved;
};

template <typename Sample>
bool AllChannelsPresent(int32_t iChannels, Sample* const* ppChannels)
{
	if (!ppChannels || iChannels < 1)
		return false;
	for (int32_t i = 0; i < iChannels; ++i)
		if (!ppChannels[i])
			return false;
	return true;
}

bool ChannelSilent(uint64_t uFlags, int32_t iChannel)
{
	return iChannel < 64 && ((uFlags >> iChannel) & 1u) != 0;
}

uint64_t ChannelBit(int32_t iChannel)
{
	return iChannel < 64 ? uint64_t(1) << iChannel : 0;
}

// Silent outputs are cleared here; an output that is the very buffer of a
// silent input already holds the host's zeros.
void SilenceOutputs(AudioBlock& block)
{
	uint64_t uFlags = 0;
	for (int32_t i = 0; i < block.iOutChannels; ++i)
	{
		const bool bClearedByHost =
		    i < block.iInChannels && ChannelSilent(block.uInSilent, i) && block.ppfOut[i] == block.ppfIn[i];
		if (!bClearedByHost)
			std::memset(block.ppfOut[i], 0, sizeof(float) * static_cast<size_t>(block.iCount));
		uFlags |= ChannelBit(i);
	}
	block.uOutSilent = uFlags;
}

// Each channel passes as it is, its silence flag with it; an output without
// an input of its own is silent.
void BypassChannels(AudioBlock& block)
{
	uint64_t uFlags = 0;
	for (int32_t i = 0; i < block.iOutChannels; ++i)
	{
		float* pfOut = block.ppfOut[i];
		const float* pfIn = i < block.iInChannels ? block.ppfIn[i] : nullptr;
		if (!pfIn || ChannelSilent(block.uInSilent, i))
		{
			if (pfIn != pfOut)
				std::memset(pfOut, 0, sizeof(float) * static_cast<size_t>(block.iCount));
			uFlags |= ChannelBit(i);
		}
		else if (pfIn != pfOut)
			std::memcpy(pfOut, pfIn, sizeof(float) * static_cast<size_t>(block.iCount));
	}
	block.uOutSilent = uFlags;
}

} // namespace

CBrontalCore::CBrontalCore() : m_pChain(new CProcessAudio), m_dCabinetEnergy(CMyConvolution::BuiltInEnergy())
{
	for (int i = 0; i < kNumParams; ++i)
		m_afParamValues[i].store(kDefaultParamValues[i], std::memory_order_relaxed);

	m_pChain->SetBlockSize(kChainBlockSize);
	m_pChain->SetSampleRate(&m_dSampleRate);
	m_pChain->SetBufferCount(CProcessAudio::kBufferCount);
	m_pChain->SetParamCount(kNumParams);
	m_pChain->SetTempo(&m_fTempo);
	m_pChain->Init();
	for (const ParamDef& def : kParams)
		m_pChain->SetParamPointer(def.iId, &m_afParamValues[def.iId]);
	for (int j = 0; j < kNumLevels; ++j)
		m_aLevelPoints[j] = {kGlidingLevels[j], nullptr, 0, 0};

	const size_t uBlockSize = static_cast<size_t>(m_pChain->GetBlockSize());
	m_pfScratchIn.reset(new float[uBlockSize]());
	m_pfScratchOut.reset(new float[uBlockSize]());
	m_pfDryLeft.reset(new float[uBlockSize]());
	m_pfDryRight.reset(new float[uBlockSize]());
}

CBrontalCore::~CBrontalCore()
{
	m_pChain->FreeBuffers();
}

bool CBrontalCore::SetParam(int iId, double dValue)
{
	float fValue;
	if (!SanitiseParamValue(dValue, fValue))
		return false;
	SetCell(iId, fValue);
	return true;
}

void CBrontalCore::ApplyPedal(int iId, double dValue)
{
	float fValue;
	if (!IsParamId(iId) || ParamDefOf(iId).kind != ParamKind::Pedal || !SanitiseParamValue(dValue, fValue))
		return;
	const PedalSlot& pedal = ParamDefOf(iId).pedal;
	SetCell(iId, fValue);
	SetCell(pedal.iTarget, PedalSwitchValue(pedal.mode, GetParam(pedal.iTarget), fValue));
}

void CBrontalCore::SetTempo(double dTempo)
{
	if (std::isfinite(dTempo) && dTempo > 0.0)
		m_fTempo.store(static_cast<float>(dTempo), std::memory_order_relaxed);
}

void CBrontalCore::SetSampleRate(double dSampleRate)
{
	m_dSampleRate = dSampleRate;
	m_pChain->SampleRateChanged();
	// Resampled again from the samples as loaded, taken at the next reset or block.
	if (m_pCabinet)
		OfferCabinet();
}

void CBrontalCore::SetCabinet(std::unique_ptr<LoadedIr> pCabinet)
{
	if (!pCabinet && !m_pCabinet)
		return;
	m_pCabinet = std::move(pCabinet);
	OfferCabinet();
}

void CBrontalCore::OfferCabinet()
{
	IrTaps taps;
	if (m_pCabinet)
		taps = PrepareResponse(m_pCabinet->samples, m_pCabinet->settings, m_dSampleRate, m_dCabinetEnergy);
	m_pChain->Responses().Offer(MakePlayerResponse(taps.afLeft, taps.afRight));
}

void CBrontalCore::CollectCabinets()
{
	m_pChain->Responses().Collect();
}

void CBrontalCore::Reset()
{
	m_pChain->Reset();
	m_llTailRemaining = 0;
	m_bSnapPending.store(true);
}

void CBrontalCore::RememberIndicators()
{
	for (int j = 0; j < kNumIndicators; ++j)
		m_afLastIndicators[j] = GetParam(kIndicatorIds[j]);
}

void CBrontalCore::ClearIndicators()
{
	ParamCell** afParams = nullptr;
	if (m_pChain->GetParams(&afParams))
		for (int iId : kIndicatorIds)
			afParams[iId]->store(kDefaultParamValues[iId], std::memory_order_relaxed);
}

uint32_t CBrontalCore::TailSamples() const
{
	return static_cast<uint32_t>(std::ceil(m_pChain->GetTailSeconds() * m_dSampleRate));
}

int CBrontalCore::LevelSlot(int iId) const
{
	for (int j = 0; j < kNumLevels; ++j)
		if (m_aLevelPoints[j].iId == iId)
			return j;
	return -1;
}

void CBrontalCore::BeginBlock()
{
	for (LevelPoints& points : m_aLevelPoints)
		points.pPoints = nullptr;
}

void CBrontalCore::SetLevelPoints(int iSlot, const ILevelPoints* pPoints)
{
	LevelPoints& level = m_aLevelPoints[iSlot];
	level = {level.iId, pPoints, pPoints->Count(), 0};
}

int32_t CBrontalCore::TakePointsAt(int32_t iOffset, int32_t iCount)
{
	int32_t iRun = iCount - iOffset;
	for (LevelPoints& points : m_aLevelPoints)
	{
		while (points.pPoints && points.iNextPoint < points.iPoints)
		{
			int32_t iPointOffset = 0;
			double dValue = 0.0;
			if (!points.pPoints->Get(points.iNextPoint, iPointOffset, dValue))
			{
				points.pPoints = nullptr;
				break;
			}
			if (iPointOffset > iOffset && iPointOffset < iCount)
			{
				iRun = std::min(iRun, iPointOffset - iOffset);
				break;
			}
			++points.iNextPoint;
			SetParam(points.iId, dValue);
		}
	}
	return iRun;
}

void CBrontalCore::TakeAllPoints()
{
	TakePointsAt(0, 0);
	for (LevelPoints& points : m_aLevelPoints)
		points.pPoints = nullptr;
}

void CBrontalCore::Flush()
{
	TakeAllPoints();
}

bool CBrontalCore::RunChain(const ChainChannels& io, int32_t iCount)
{
	// Longer host blocks go through the chain in pieces, and so do the
	// stretches between automation points. The bypass fade runs on from
	// piece to piece: wherever it has come to rest on the dry path, the rest
	// of the block is dry.
	const int32_t iChunk = m_pChain->GetBlockSize();
	const float* pfZeros = m_pfScratchIn.get();
	for (int32_t iDone = 0, n = 0; iDone < iCount; iDone += n)
	{
		n = std::min(iChunk, TakePointsAt(iDone, iCount));
		// Silent input reads the same zeros for every piece, and the scratch
		// right output of a mono bus is reused for each.
		const auto at = [iDone](auto* pf, const float* pfShared) { return pf == pfShared ? pf : pf + iDone; };
		const float* pfInLeft = at(io.pfInLeft, pfZeros);
		const float* pfInRight = at(io.pfInRight, pfZeros);
		const float* pfDryLeft = at(io.pfDryLeft, pfZeros);
		const float* pfDryRight = at(io.pfDryRight, pfZeros);
		float* pfOutLeft = io.pfOutLeft + iDone;
		float* pfOutRight = at(io.pfOutRight, m_pfScratchOut.get());
		if (m_processingFade.Off())
		{
			if (pfDryLeft != pfOutLeft)
				std::memcpy(pfOutLeft, pfDryLeft, sizeof(float) * static_cast<size_t>(n));
			if (pfDryRight != pfOutRight)
				std::memcpy(pfOutRight, pfDryRight, sizeof(float) * static_cast<size_t>(n));
			continue;
		}
		// The output may be the very buffer of the input: the dry side of a
		// fade is kept before the chain writes.
		const bool bMixing = m_processingFade.Mixing();
		if (bMixing)
		{
			std::memcpy(m_pfDryLeft.get(), pfDryLeft, sizeof(float) * static_cast<size_t>(n));
			std::memcpy(m_pfDryRight.get(), pfDryRight, sizeof(float) * static_cast<size_t>(n));
		}
		if (!m_pChain->Process(pfInLeft, pfInRight, pfOutLeft, pfOutRight, n))
			return false;
		// The chain's sound and the dry input have little in common.
		if (bMixing)
			m_processingFade.Crossfade(m_pfDryLeft.get(), pfOutLeft, m_pfDryRight.get(), pfOutRight, n,
			                           CSwitchFade::kEqualPower);
	}
	return true;
}

CBrontalCore::Result CBrontalCore::Process(AudioBlock& block)
{
	DenormalGuard denormalGuard;

	if (block.iCount <= 0 || !AllChannelsPresent(block.iInChannels, block.ppfIn) ||
	    !AllChannelsPresent(block.iOutChannels, block.ppfOut))
	{
		TakeAllPoints();
		return Result::Flushed;
	}
	const int32_t iCount = block.iCount;

	// Until the first block of audio after activation, a new setup or a
	// loaded state, every value (flushes included) applies at once.
	if (m_bSnapPending.exchange(false))
	{
		TakeAllPoints();
		m_pChain->Snap();
		m_processingFade.Forget();
	}
	// Back from the bypass, the chain first runs unheard until what its
	// blocks hold is the present signal, then fades in.
	const int iChainFill = m_processingFade.Off() ? m_pChain->MemorySamples() : 0;
	m_processingFade.Follow(!IsSwitchOn(GetParam(kBypass)), m_dSampleRate, iChainFill);
	if (m_processingFade.Off())
	{
		// Nobody hears the chain: it takes whatever changes meanwhile at once.
		// The tuner lets its note go, which the host hears of.
		BypassChannels(block);
		TakeAllPoints();
		RememberIndicators();
		m_pChain->Snap();
		return Result::Quiet;
	}

	// The chain hears one channel: the one the source selector reads, or the
	// only one of a mono bus. A flag on the other says nothing about it.
	const int32_t iSelected = block.iInChannels > 1 && !IsSwitchOn(GetParam(kInputSelection)) ? 1 : 0;
	const bool bSilentInput = ChannelSilent(block.uInSilent, iSelected);
	if (bSilentInput && m_llTailRemaining <= 0)
	{
		// Dry or processed, silence is silence: the bypass is where it
		// stands at the next block, without a fade.
		SilenceOutputs(block);
		TakeAllPoints();
		RememberIndicators();
		m_pChain->Snap();
		m_processingFade.Forget();
		return Result::Quiet;
	}
	block.uOutSilent = 0;

	RememberIndicators();

	// A mono bus feeds its one channel to both chain inputs; silent input
	// while ringing out reads zeros of our own. The dry side of the bypass
	// is each channel as it came, a flagged one as silence.
	const float* pfZeros = m_pfScratchIn.get();
	const int32_t iRight = block.iInChannels > 1 ? 1 : 0;
	const auto dry = [&](int32_t iChannel) {
		return ChannelSilent(block.uInSilent, iChannel) ? pfZeros : block.ppfIn[iChannel];
	};
	const ChainChannels io{bSilentInput ? pfZeros : block.ppfIn[0],
	                       bSilentInput ? pfZeros : block.ppfIn[iRight],
	                       dry(0),
	                       iRight > 0 ? dry(1) : pfZeros,
	                       block.ppfOut[0],
	                       block.iOutChannels > 1 ? block.ppfOut[1] : m_pfScratchOut.get()};
	float* pfOutLeft = io.pfOutLeft;
	if (!RunChain(io, iCount))
		return Result::Failed;
	for (int32_t i = 2; i < block.iOutChannels; ++i)
		std::memset(block.ppfOut[i], 0, sizeof(float) * static_cast<size_t>(iCount));

	if (!bSilentInput)
		m_llTailRemaining = TailSamples();
	else if ((m_llTailRemaining -= iCount) <= 0 && BlockPeak(pfOutLeft, iCount) > kSilenceThreshold)
		m_llTailRemaining = iCount; // not decayed yet: one more block

	return Result::Played;
}

} // namespace brontal
