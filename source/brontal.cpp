#include "brontal.h"

#include "ComputeInputVumeter.h"
#include "brontalassert.h"
#include "brontalids.h"
#include "brontalstate.h"
#include "processaudio.h"

#include "pluginterfaces/base/ustring.h"
#include "pluginterfaces/vst/ivstparameterchanges.h"
#include "pluginterfaces/vst/ivstprocesscontext.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <xmmintrin.h>

namespace Steinberg {
namespace Vst {
namespace {

constexpr int32 kChainBufferCount = CProcessAudio::kBufferCount;
// Below this the ringing-out output counts as silence.
constexpr float kSilenceThreshold = 1.0e-6f;

// Flush-to-zero and denormals-are-zero for the duration of one process call,
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

bool AllChannelsPresent(const AudioBusBuffers& bus)
{
	if (!bus.channelBuffers32 || bus.numChannels < 1)
		return false;
	for (int32 i = 0; i < bus.numChannels; ++i)
		if (!bus.channelBuffers32[i])
			return false;
	return true;
}

bool ChannelSilent(const AudioBusBuffers& bus, int32 iChannel)
{
	return iChannel < 64 && ((bus.silenceFlags >> iChannel) & 1u) != 0;
}

uint64 ChannelBit(int32 iChannel)
{
	return iChannel < 64 ? uint64(1) << iChannel : 0;
}

// Silent outputs are cleared here; an output that is the very buffer of a
// silent input already holds the host's zeros.
void SilenceOutputs(const AudioBusBuffers& in, AudioBusBuffers& out, int32 iCount)
{
	uint64 uFlags = 0;
	for (int32 i = 0; i < out.numChannels; ++i)
	{
		const bool bClearedByHost =
		    i < in.numChannels && ChannelSilent(in, i) && out.channelBuffers32[i] == in.channelBuffers32[i];
		if (!bClearedByHost)
			std::memset(out.channelBuffers32[i], 0, sizeof(float) * static_cast<size_t>(iCount));
		uFlags |= ChannelBit(i);
	}
	out.silenceFlags = uFlags;
}

// Each channel passes as it is, its silence flag with it; an output without
// an input of its own is silent.
void BypassChannels(const AudioBusBuffers& in, AudioBusBuffers& out, int32 iCount)
{
	uint64 uFlags = 0;
	for (int32 i = 0; i < out.numChannels; ++i)
	{
		float* pfOut = out.channelBuffers32[i];
		const float* pfIn = i < in.numChannels ? in.channelBuffers32[i] : nullptr;
		if (!pfIn || ChannelSilent(in, i))
		{
			if (pfIn != pfOut)
				std::memset(pfOut, 0, sizeof(float) * static_cast<size_t>(iCount));
			uFlags |= ChannelBit(i);
		}
		else if (pfIn != pfOut)
			std::memcpy(pfOut, pfIn, sizeof(float) * static_cast<size_t>(iCount));
	}
	out.silenceFlags = uFlags;
}

} // namespace

Brontal::Brontal() : pAudioProcess(new CProcessAudio), afLastMeterValues(), fTempo(120.0f)
{
	for (int i = 0; i < kNumParams; ++i)
		afParamValues[i].store(kDefaultParamValues[i], std::memory_order_relaxed);

	pAudioProcess->SetBlockSize(processSetup.maxSamplesPerBlock);
	pAudioProcess->SetSampleRate(&processSetup.sampleRate);
	pAudioProcess->SetBufferCount(kChainBufferCount);
	pAudioProcess->SetParamCount(kNumParams);
	pAudioProcess->SetTempo(&fTempo);
	pAudioProcess->Init();
	for (const ParamDef& def : kParams)
		pAudioProcess->SetParamPointer(def.iId, &afParamValues[def.iId]);
	for (int j = 0; j < kNumLevels; ++j)
		m_aLevelPoints[j] = {kGlidingLevels[j], nullptr, 0, 0};

	const int iBlockSize = pAudioProcess->GetBlockSize();
	m_pfScratchIn = new float[static_cast<size_t>(iBlockSize)]();
	m_pfScratchOut = new float[static_cast<size_t>(iBlockSize)]();
	m_pfDryLeft = new float[static_cast<size_t>(iBlockSize)]();
	m_pfDryRight = new float[static_cast<size_t>(iBlockSize)]();

	setControllerClass(BrontalControllerUID);
}

Brontal::~Brontal()
{
	pAudioProcess->FreeBuffers();
	delete pAudioProcess;
	delete[] m_pfScratchIn;
	delete[] m_pfScratchOut;
	delete[] m_pfDryLeft;
	delete[] m_pfDryRight;
}

tresult PLUGIN_API Brontal::initialize(FUnknown* context)
{
	const tresult result = AudioEffect::initialize(context);
	if (result != kResultOk)
		return result;
	addAudioInput(STR16("Stereo In"), SpeakerArr::kStereo);
	addAudioOutput(STR16("Stereo Out"), SpeakerArr::kStereo);
	addEventInput(STR16("Event In"), 1);
	return kResultOk;
}

void Brontal::ReplaceBusses(const TChar* szIn, SpeakerArrangement inArr, const TChar* szOut,
                            SpeakerArrangement outArr)
{
	removeAudioBusses();
	addAudioInput(szIn, inArr);
	addAudioOutput(szOut, outArr);
}

tresult PLUGIN_API Brontal::setBusArrangements(SpeakerArrangement* inputs, int32 numIns,
                                               SpeakerArrangement* outputs, int32 numOuts)
{
	if (numIns != 1 || numOuts != 1 || !inputs || !outputs)
		return kResultFalse;
	const int32 iInChannels = SpeakerArr::getChannelCount(inputs[0]);
	const int32 iOutChannels = SpeakerArr::getChannelCount(outputs[0]);
	AudioBus* pInput = getAudioInput(0);

	if (iInChannels == 1 && iOutChannels == 1)
	{
		if (!pInput)
			return kResultFalse;
		if (pInput->getArrangement() != inputs[0])
			ReplaceBusses(STR16("Mono In"), inputs[0], STR16("Mono Out"), inputs[0]);
		return kResultTrue;
	}
	if (!pInput)
		return kResultFalse;
	if (iInChannels == 2 && iOutChannels == 2)
	{
		ReplaceBusses(STR16("Stereo In"), inputs[0], STR16("Stereo Out"), outputs[0]);
		return kResultTrue;
	}
	if (pInput->getArrangement() != SpeakerArr::kStereo)
		ReplaceBusses(STR16("Stereo In"), SpeakerArr::kStereo, STR16("Stereo Out"), SpeakerArr::kStereo);
	return kResultFalse;
}

tresult PLUGIN_API Brontal::setupProcessing(ProcessSetup& setup)
{
	// A rate that is not a positive number would make every derived length meaningless.
	if (!(setup.sampleRate > 0.0) || !std::isfinite(setup.sampleRate))
		return kInvalidArgument;
	pAudioProcess->Reset();
	const tresult result = AudioEffect::setupProcessing(setup);
	if (result == kResultOk)
		pAudioProcess->SampleRateChanged();
	m_llTailRemaining = 0;
	m_bSnapPending.store(true);
	return result;
}

tresult PLUGIN_API Brontal::setActive(TBool state)
{
	sendTextMessage(state ? "Brontal::setActive (true)" : "Brontal::setActive (false)");
	ParamCell** afParams = nullptr;
	if (pAudioProcess->GetParams(&afParams))
		for (int iId : kIndicatorIds)
			afParams[iId]->store(0.0f, std::memory_order_relaxed);
	pAudioProcess->Reset();
	m_llTailRemaining = 0;
	m_bSnapPending.store(true);
	return AudioEffect::setActive(state);
}

uint32 PLUGIN_API Brontal::getTailSamples()
{
	return static_cast<uint32>(std::ceil(pAudioProcess->GetTailSeconds() * processSetup.sampleRate));
}

void Brontal::ApplyParameterChanges(IParameterChanges* pChanges)
{
	if (!pChanges)
		return;
	const int32 iQueues = pChanges->getParameterCount();
	for (int32 i = 0; i < iQueues; ++i)
	{
		IParamValueQueue* pQueue = pChanges->getParameterData(i);
		if (!pQueue)
			continue;
		const ParamID id = pQueue->getParameterId();
		const int32 iPoints = pQueue->getPointCount();
		if (!IsParamId(static_cast<int>(id)) || iPoints <= 0 || ParamDefOf(static_cast<int>(id)).kind == ParamKind::Pedal)
			continue;
		// Switches take the host's last point for the whole block; levels
		// reach each point at its offset, where their blocks start a glide.
		const auto level = std::find_if(std::begin(m_aLevelPoints), std::end(m_aLevelPoints),
		                                [id](const LevelPoints& points) { return points.iId == static_cast<int>(id); });
		if (level != std::end(m_aLevelPoints))
		{
			*level = {level->iId, pQueue, iPoints, 0};
			continue;
		}
		// The last point that holds a value counts, as it would for a level.
		for (int32 iPoint = iPoints - 1; iPoint >= 0; --iPoint)
		{
			int32 iOffset = 0;
			ParamValue dValue = 0.0;
			float fValue;
			if (pQueue->getPoint(iPoint, iOffset, dValue) == kResultTrue && brontal::SanitiseParamValue(dValue, fValue))
			{
				SetCell(static_cast<int>(id), fValue);
				break;
			}
		}
	}
}

void Brontal::ApplyPedals(IParameterChanges* pChanges, IParameterChanges* pOutput)
{
	if (!pChanges)
		return;
	// After every other queue, so that a pedal pressed in the block of an
	// automation point of its switch wins, whatever order the host chose.
	const int32 iQueues = pChanges->getParameterCount();
	for (int32 i = 0; i < iQueues; ++i)
	{
		IParamValueQueue* pQueue = pChanges->getParameterData(i);
		const int iId = pQueue ? static_cast<int>(pQueue->getParameterId()) : 0;
		if (!IsParamId(iId) || ParamDefOf(iId).kind != ParamKind::Pedal)
			continue;
		const PedalSlot& pedal = ParamDefOf(iId).pedal;
		const float fBefore = GetCell(pedal.iTarget);
		float fSwitch = fBefore;
		// Every point counts: each press of a toggling pedal turns the switch over.
		for (int32 iPoint = 0; iPoint < pQueue->getPointCount(); ++iPoint)
		{
			int32 iOffset = 0;
			ParamValue dValue = 0.0;
			float fValue;
			if (pQueue->getPoint(iPoint, iOffset, dValue) == kResultTrue && brontal::SanitiseParamValue(dValue, fValue))
			{
				fSwitch = PedalSwitchValue(pedal.mode, fSwitch, fValue);
				SetCell(iId, fValue);
			}
		}
		if (fSwitch == fBefore)
			continue;
		SetCell(pedal.iTarget, fSwitch);
		// The host and the controller learn the switch's new place from us.
		int32 iIndex = 0;
		if (IParamValueQueue* pReport = pOutput ? pOutput->addParameterData(static_cast<ParamID>(pedal.iTarget), iIndex) : nullptr)
			pReport->addPoint(0, fSwitch, iIndex);
	}
}

int32 Brontal::TakePointsAt(int32 iOffset, int32 iCount)
{
	int32 iRun = iCount - iOffset;
	for (LevelPoints& points : m_aLevelPoints)
	{
		while (points.pQueue && points.iNextPoint < points.iPoints)
		{
			int32 iPointOffset = 0;
			ParamValue dValue = 0.0;
			if (points.pQueue->getPoint(points.iNextPoint, iPointOffset, dValue) != kResultTrue)
			{
				points.pQueue = nullptr;
				break;
			}
			if (iPointOffset > iOffset && iPointOffset < iCount)
			{
				iRun = std::min(iRun, iPointOffset - iOffset);
				break;
			}
			++points.iNextPoint;
			float fValue;
			if (brontal::SanitiseParamValue(dValue, fValue))
				SetCell(points.iId, fValue);
		}
	}
	return iRun;
}

void Brontal::TakeAllPoints()
{
	TakePointsAt(0, 0);
	for (LevelPoints& points : m_aLevelPoints)
		points.pQueue = nullptr;
}

void Brontal::ReportIndicators(IParameterChanges* pChanges)
{
	if (!pChanges)
		return;
	for (int j = 0; j < kNumIndicators; ++j)
	{
		const float fValue = GetCell(kIndicatorIds[j]);
		if (fValue == afLastMeterValues[j])
			continue;
		int32 iIndex = 0;
		if (IParamValueQueue* pQueue = pChanges->addParameterData(static_cast<ParamID>(kIndicatorIds[j]), iIndex))
			pQueue->addPoint(0, fValue, iIndex);
	}
}

bool Brontal::RunChain(const ChainChannels& io, int32 iCount)
{
	// The chain's work buffers hold one chain block; longer host blocks go
	// through in pieces, and so do the stretches between automation points.
	// The bypass fade runs on from piece to piece: wherever it has come to
	// rest on the dry path, the rest of the block is dry.
	const int32 iChunk = pAudioProcess->GetBlockSize();
	for (int32 iDone = 0, n = 0; iDone < iCount; iDone += n)
	{
		n = std::min(iChunk, TakePointsAt(iDone, iCount));
		// Silent input reads the same zeros for every piece, and the scratch
		// right output of a mono bus is reused for each.
		const auto at = [iDone](auto* pf, const float* pfShared) { return pf == pfShared ? pf : pf + iDone; };
		const float* pfInLeft = at(io.pfInLeft, m_pfScratchIn);
		const float* pfInRight = at(io.pfInRight, m_pfScratchIn);
		const float* pfDryLeft = at(io.pfDryLeft, m_pfScratchIn);
		const float* pfDryRight = at(io.pfDryRight, m_pfScratchIn);
		float* pfOutLeft = io.pfOutLeft + iDone;
		float* pfOutRight = at(io.pfOutRight, m_pfScratchOut);
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
			std::memcpy(m_pfDryLeft, pfDryLeft, sizeof(float) * static_cast<size_t>(n));
			std::memcpy(m_pfDryRight, pfDryRight, sizeof(float) * static_cast<size_t>(n));
		}
		if (!pAudioProcess->Process(pfInLeft, pfInRight, pfOutLeft, pfOutRight, n))
			return false;
		// The chain's sound and the dry input have little in common.
		if (bMixing)
			m_processingFade.Crossfade(m_pfDryLeft, pfOutLeft, m_pfDryRight, pfOutRight, n,
			                           CSwitchFade::kEqualPower);
	}
	return true;
}

tresult PLUGIN_API Brontal::process(ProcessData& data)
{
	DenormalGuard denormalGuard;

	if (const ProcessContext* pContext = data.processContext)
	{
		const double dTempo = pContext->tempo;
		if ((pContext->state & ProcessContext::kTempoValid) && std::isfinite(dTempo) && dTempo > 0.0)
			fTempo.store(static_cast<float>(dTempo), std::memory_order_relaxed);
	}
	for (LevelPoints& points : m_aLevelPoints)
		points.pQueue = nullptr;
	ApplyParameterChanges(data.inputParameterChanges);
	ApplyPedals(data.inputParameterChanges, data.outputParameterChanges);

	// No buses or no samples: a parameter flush, which is all done now.
	if (data.numInputs < 1 || data.numOutputs < 1 || data.numSamples <= 0 || !data.inputs || !data.outputs)
	{
		TakeAllPoints();
		return kResultOk;
	}
	AudioBusBuffers& in = data.inputs[0];
	AudioBusBuffers& out = data.outputs[0];
	if (!AllChannelsPresent(in) || !AllChannelsPresent(out))
	{
		TakeAllPoints();
		return kResultOk;
	}
	const int32 iCount = data.numSamples;

	// Until the first block of audio after activation, a new setup or a
	// loaded state, every value (flushes included) applies at once.
	if (m_bSnapPending.exchange(false))
	{
		TakeAllPoints();
		pAudioProcess->Snap();
		m_processingFade.Forget();
	}
	// Back from the bypass, the chain first runs unheard until what its
	// blocks hold is the present signal, then fades in.
	const int iChainFill = m_processingFade.Off() ? pAudioProcess->MemorySamples() : 0;
	m_processingFade.Follow(!IsSwitchOn(GetCell(kBypass)), processSetup.sampleRate, iChainFill);
	if (m_processingFade.Off())
	{
		// Nobody hears the chain: it takes whatever changes meanwhile at once.
		BypassChannels(in, out, iCount);
		TakeAllPoints();
		pAudioProcess->Snap();
		return kResultOk;
	}

	// The chain hears one channel: the one the source selector reads, or the
	// only one of a mono bus. A flag on the other says nothing about it.
	const int32 iSelected = in.numChannels > 1 && !IsSwitchOn(GetCell(kInputSelection)) ? 1 : 0;
	const bool bSilentInput = ChannelSilent(in, iSelected);
	if (bSilentInput && m_llTailRemaining <= 0)
	{
		// Dry or processed, silence is silence: the bypass is where it
		// stands at the next block, without a fade.
		SilenceOutputs(in, out, iCount);
		TakeAllPoints();
		pAudioProcess->Snap();
		m_processingFade.Forget();
		return kResultOk;
	}
	out.silenceFlags = 0;

	for (int j = 0; j < kNumIndicators; ++j)
		afLastMeterValues[j] = GetCell(kIndicatorIds[j]);

	// A mono bus feeds its one channel to both chain inputs; silent input
	// while ringing out reads zeros of our own. The dry side of the bypass
	// is each channel as it came, a flagged one as silence.
	const int32 iRight = in.numChannels > 1 ? 1 : 0;
	const auto dry = [&](int32 iChannel) {
		return ChannelSilent(in, iChannel) ? m_pfScratchIn : in.channelBuffers32[iChannel];
	};
	const ChainChannels io{bSilentInput ? m_pfScratchIn : in.channelBuffers32[0],
	                       bSilentInput ? m_pfScratchIn : in.channelBuffers32[iRight],
	                       dry(0),
	                       iRight > 0 ? dry(1) : m_pfScratchIn,
	                       out.channelBuffers32[0],
	                       out.numChannels > 1 ? out.channelBuffers32[1] : m_pfScratchOut};
	float* pfOutLeft = io.pfOutLeft;
	if (!RunChain(io, iCount))
		return kResultFalse;
	for (int32 i = 2; i < out.numChannels; ++i)
		std::memset(out.channelBuffers32[i], 0, sizeof(float) * static_cast<size_t>(iCount));

	if (!bSilentInput)
		m_llTailRemaining = getTailSamples();
	else if ((m_llTailRemaining -= iCount) <= 0 && BlockPeak(pfOutLeft, iCount) > kSilenceThreshold)
		m_llTailRemaining = iCount; // not decayed yet: one more block

	ReportIndicators(data.outputParameterChanges);
	return kResultOk;
}

tresult PLUGIN_API Brontal::getState(IBStream* state)
{
	if (!pAudioProcess)
	{
		BRONTAL_ASSERT(false, "0", "brontal");
		return kResultFalse;
	}
	brontal::StateValues afValues = {};
	for (const ParamDef& def : kParams)
		if (brontal::IsSaved(def))
			afValues[def.iId] = GetCell(def.iId);
	return brontal::WriteStateStream(state, brontal::SerialiseState(afValues)) ? kResultOk : kResultFalse;
}

tresult PLUGIN_API Brontal::setState(IBStream* state)
{
	if (!pAudioProcess)
	{
		BRONTAL_ASSERT(false, "0", "brontal");
		return kResultFalse;
	}
	brontal::StateBytes bytes;
	brontal::ParsedState parsed;
	if (!brontal::ReadStateStream(state, bytes) || !brontal::ParseState(bytes.data(), bytes.size(), parsed))
		return kResultFalse;
	for (const ParamDef& def : kParams)
	{
		float fValue;
		if (brontal::IsSaved(def) && brontal::SanitiseParamValue(parsed.afValues[def.iId], fValue))
			SetCell(def.iId, fValue);
	}
	// A loaded setting is heard at once, not reached by a glide.
	m_bSnapPending.store(true);
	return kResultOk;
}

tresult PLUGIN_API Brontal::notify(IMessage* message)
{
	if (!message)
		return kInvalidArgument;
	const char* szId = message->getMessageID();
	if (szId && std::strcmp(szId, "BinaryMessage") == 0)
	{
		const void* pData = nullptr;
		uint32 uSize = 0;
		IAttributeList* pAttributes = message->getAttributes();
		if (pAttributes && pAttributes->getBinary("MyData", pData, uSize) == kResultOk)
			return kResultOk;
	}
	return AudioEffect::notify(message);
}

tresult Brontal::receiveText(const char8* text)
{
	std::fprintf(stderr, "[Brontal] received: %s\n", text ? text : "");
	return kResultOk;
}

} // namespace Vst
} // namespace Steinberg
