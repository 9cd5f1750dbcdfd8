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
// A level reaches a new value in this time: long enough that a 45 dB jump of
// the drive is a swell rather than a thump, short enough that automation
// still lands on a 32nd note at 200 BPM (37 ms).
constexpr double kGlideSeconds = 0.02;
// While a level glides the chain runs in pieces this long, each with the
// level where the glide stands at its end (0.7 ms at 48 kHz).
constexpr int32 kGlideSlice = 32;

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
	for (int i = kFirstParam; i <= kLastParam; ++i)
		pAudioProcess->SetParamPointer(i, &afParamValues[i]);
	// The chain reads the levels where their glides stand.
	for (int j = 0; j < kNumLevels; ++j)
	{
		const int iId = kGlidingLevels[j];
		m_aGlides[j] = {iId, kDefaultParamValues[iId], 0, nullptr, 0, 0};
		m_afChainLevels[j].store(kDefaultParamValues[iId], std::memory_order_relaxed);
		pAudioProcess->SetParamPointer(iId, &m_afChainLevels[j]);
	}

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
		for (int i = kFirstIndicator; i <= kLastIndicator; ++i)
			afParams[i]->store(0.0f, std::memory_order_relaxed);
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
		if (id < kFirstParam || id > kLastParam || iPoints <= 0)
			continue;
		// The host's value is the last point; switches take it for the whole
		// block, levels glide through the points at their offsets.
		int32 iOffset = 0;
		ParamValue dValue = 0.0;
		float fValue;
		if (pQueue->getPoint(iPoints - 1, iOffset, dValue) == kResultTrue && brontal::SanitiseParamValue(dValue, fValue))
			SetCell(static_cast<int>(id), fValue);
		for (LevelGlide& glide : m_aGlides)
			if (glide.iId == static_cast<int>(id))
			{
				glide.pQueue = pQueue;
				glide.iPoints = iPoints;
				glide.iNextPoint = 0;
			}
	}
}

void Brontal::Snap()
{
	for (int j = 0; j < kNumLevels; ++j)
	{
		LevelGlide& glide = m_aGlides[j];
		glide.fTarget = GetCell(glide.iId);
		glide.iRemaining = 0;
		glide.pQueue = nullptr;
		m_afChainLevels[j].store(glide.fTarget, std::memory_order_relaxed);
	}
	pAudioProcess->Snap();
}

void Brontal::GlideTo(LevelGlide& glide, float fTarget)
{
	if (fTarget == glide.fTarget)
		return;
	glide.fTarget = fTarget;
	glide.iRemaining = std::max<int32>(1, static_cast<int32>(kGlideSeconds * processSetup.sampleRate + 0.5));
}

int32 Brontal::TakePointsAt(int32 iOffset, int32 iCount)
{
	int32 iRun = iCount - iOffset;
	for (LevelGlide& glide : m_aGlides)
	{
		while (glide.pQueue && glide.iNextPoint < glide.iPoints)
		{
			int32 iPointOffset = 0;
			ParamValue dValue = 0.0;
			if (glide.pQueue->getPoint(glide.iNextPoint, iPointOffset, dValue) != kResultTrue)
			{
				glide.pQueue = nullptr;
				break;
			}
			if (iPointOffset > iOffset && iPointOffset < iCount)
			{
				iRun = std::min(iRun, iPointOffset - iOffset);
				break;
			}
			++glide.iNextPoint;
			float fValue;
			if (brontal::SanitiseParamValue(dValue, fValue))
				GlideTo(glide, fValue);
		}
	}
	return iRun;
}

void Brontal::ReportIndicators(IParameterChanges* pChanges)
{
	if (!pChanges)
		return;
	for (int i = kFirstIndicator; i <= kLastIndicator; ++i)
	{
		const float fValue = GetCell(i);
		if (fValue == afLastMeterValues[i - kFirstIndicator])
			continue;
		int32 iIndex = 0;
		if (IParamValueQueue* pQueue = pChanges->addParameterData(static_cast<ParamID>(i), iIndex))
			pQueue->addPoint(0, fValue, iIndex);
	}
}

bool Brontal::RunChain(const ChainChannels& io, int32 iCount)
{
	// The chain's work buffers hold one chain block; longer host blocks go
	// through in pieces, and so do the stretches between automation points
	// and, while a level glides, short slices. The bypass fade runs on from
	// piece to piece: wherever it has come to rest on the dry path, the
	// rest of the block is dry.
	const int32 iChunk = pAudioProcess->GetBlockSize();
	for (int32 iDone = 0, n = 0; iDone < iCount; iDone += n)
	{
		n = std::min(iChunk, TakePointsAt(iDone, iCount));
		for (int j = 0; j < kNumLevels; ++j)
		{
			LevelGlide& glide = m_aGlides[j];
			if (glide.iRemaining <= 0)
				continue;
			n = std::min(n, kGlideSlice);
			const float fValue = m_afChainLevels[j].load(std::memory_order_relaxed);
			const int32 iStep = std::min(n, glide.iRemaining);
			glide.iRemaining -= iStep;
			const float fNext = glide.iRemaining == 0
			                        ? glide.fTarget
			                        : fValue + (glide.fTarget - fValue) * static_cast<float>(iStep) /
			                                       static_cast<float>(glide.iRemaining + iStep);
			m_afChainLevels[j].store(fNext, std::memory_order_relaxed);
		}
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
	for (LevelGlide& glide : m_aGlides)
		glide.pQueue = nullptr;
	ApplyParameterChanges(data.inputParameterChanges);

	// No buses or no samples: a parameter flush, which is all done now.
	if (data.numInputs < 1 || data.numOutputs < 1 || data.numSamples <= 0 || !data.inputs || !data.outputs)
	{
		TakePointsAt(0, 0);
		return kResultOk;
	}
	AudioBusBuffers& in = data.inputs[0];
	AudioBusBuffers& out = data.outputs[0];
	if (!AllChannelsPresent(in) || !AllChannelsPresent(out))
	{
		TakePointsAt(0, 0);
		return kResultOk;
	}
	const int32 iCount = data.numSamples;

	// Until the first block of audio after activation, a new setup or a
	// loaded state, every value (flushes included) applies at once.
	if (m_bSnapPending.exchange(false))
	{
		Snap();
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
		Snap();
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
		Snap();
		m_processingFade.Forget();
		return kResultOk;
	}
	out.silenceFlags = 0;

	for (int i = kFirstIndicator; i <= kLastIndicator; ++i)
		afLastMeterValues[i - kFirstIndicator] = GetCell(i);

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
	for (int i = kFirstParam; i <= kLastParam; ++i)
		afValues[i] = GetCell(i);
	return brontal::WriteStateRecord(state, afValues) ? kResultOk : kResultFalse;
}

tresult PLUGIN_API Brontal::setState(IBStream* state)
{
	if (!pAudioProcess)
	{
		BRONTAL_ASSERT(false, "0", "brontal");
		return kResultFalse;
	}
	brontal::StateValues afValues = {};
	if (!brontal::ReadStateRecord(state, afValues))
		return kResultFalse;
	for (int i = kFirstParam; i <= kLastParam; ++i)
	{
		float fValue;
		if (brontal::SanitiseParamValue(afValues[i], fValue))
			SetCell(i, fValue);
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
