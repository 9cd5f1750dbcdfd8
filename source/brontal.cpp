#include "brontal.h"

#include "brontalids.h"
#include "brontalstatestream.h"
#include "irstate.h"

#include "pluginterfaces/base/ustring.h"
#include "pluginterfaces/vst/ivstparameterchanges.h"
#include "pluginterfaces/vst/ivstprocesscontext.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

namespace Steinberg {
namespace Vst {

Brontal::Brontal()
{
	setControllerClass(BrontalControllerUID);
}

tresult PLUGIN_API Brontal::initialize(FUnknown* context)
{
	const tresult result = AudioEffect::initialize(context);
	if (result != kResultOk)
		return result;
	addAudioInput(STR16("Stereo In"), SpeakerArr::kStereo);
	addAudioOutput(STR16("Stereo Out"), SpeakerArr::kStereo);
	addEventInput(STR16("Event In"), 1);
	m_programs.Build(brontal::kProcessorClassId.data(), brontal::UserPresetFolder());
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
	m_core.Reset();
	const tresult result = AudioEffect::setupProcessing(setup);
	if (result == kResultOk)
		m_core.SetSampleRate(processSetup.sampleRate);
	return result;
}

tresult PLUGIN_API Brontal::setActive(TBool state)
{
	sendTextMessage(state ? "Brontal::setActive (true)" : "Brontal::setActive (false)");
	m_core.ClearIndicators();
	m_core.Reset();
	m_core.CollectCabinets();
	return AudioEffect::setActive(state);
}

uint32 PLUGIN_API Brontal::getTailSamples()
{
	return m_core.TailSamples();
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
		const int iSlot = m_core.LevelSlot(static_cast<int>(id));
		if (iSlot >= 0)
		{
			m_aQueues[iSlot].pQueue = pQueue;
			m_core.SetLevelPoints(iSlot, &m_aQueues[iSlot]);
			continue;
		}
		// The last point that holds a value counts, as it would for a level.
		for (int32 iPoint = iPoints - 1; iPoint >= 0; --iPoint)
		{
			int32 iOffset = 0;
			ParamValue dValue = 0.0;
			if (pQueue->getPoint(iPoint, iOffset, dValue) == kResultTrue &&
			    m_core.SetParam(static_cast<int>(id), dValue))
				break;
		}
	}
}

void Brontal::ApplyProgramChange(IParameterChanges* pChanges)
{
	const int32 iQueues = pChanges ? pChanges->getParameterCount() : 0;
	for (int32 i = 0; i < iQueues; ++i)
	{
		IParamValueQueue* pQueue = pChanges->getParameterData(i);
		if (!pQueue || pQueue->getParameterId() != ParamID(kProgram))
			continue;
		// The last program chosen in the block counts.
		int32 iOffset = 0;
		ParamValue dValue = 0.0;
		const int32 iLast = pQueue->getPointCount() - 1;
		if (iLast >= 0 && pQueue->getPoint(iLast, iOffset, dValue) == kResultTrue)
			if (const brontal::Program* pProgram = m_programs.At(dValue))
				pProgram->Apply([this](int iId, float fValue) { m_core.SetParam(iId, fValue); });
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
		const int iSwitch = ParamDefOf(iId).pedal.iTarget;
		const float fBefore = m_core.GetParam(iSwitch);
		// Every point counts: each press of a toggling pedal turns the switch over.
		for (int32 iPoint = 0; iPoint < pQueue->getPointCount(); ++iPoint)
		{
			int32 iOffset = 0;
			ParamValue dValue = 0.0;
			if (pQueue->getPoint(iPoint, iOffset, dValue) == kResultTrue)
				m_core.ApplyPedal(iId, dValue);
		}
		const float fSwitch = m_core.GetParam(iSwitch);
		if (fSwitch == fBefore)
			continue;
		// The host and the controller learn the switch's new place from us.
		int32 iIndex = 0;
		if (IParamValueQueue* pReport = pOutput ? pOutput->addParameterData(static_cast<ParamID>(iSwitch), iIndex) : nullptr)
			pReport->addPoint(0, fSwitch, iIndex);
	}
}

void Brontal::ReportIndicators(IParameterChanges* pChanges)
{
	if (!pChanges)
		return;
	for (int j = 0; j < kNumIndicators; ++j)
	{
		if (!m_core.IndicatorChanged(j))
			continue;
		const int iId = kIndicatorIds[j];
		int32 iIndex = 0;
		if (IParamValueQueue* pQueue = pChanges->addParameterData(static_cast<ParamID>(iId), iIndex))
			pQueue->addPoint(0, m_core.GetParam(iId), iIndex);
	}
}

tresult PLUGIN_API Brontal::process(ProcessData& data)
{
	if (const ProcessContext* pContext = data.processContext)
		if (pContext->state & ProcessContext::kTempoValid)
			m_core.SetTempo(pContext->tempo);
	m_core.BeginBlock();
	// A program first: the block's own points for its settings still count.
	ApplyProgramChange(data.inputParameterChanges);
	ApplyParameterChanges(data.inputParameterChanges);
	ApplyPedals(data.inputParameterChanges, data.outputParameterChanges);

	// No buses: a parameter flush, which is all done now.
	if (data.numInputs < 1 || data.numOutputs < 1 || !data.inputs || !data.outputs)
	{
		m_core.Flush();
		return kResultOk;
	}
	AudioBusBuffers& in = data.inputs[0];
	AudioBusBuffers& out = data.outputs[0];
	brontal::AudioBlock block{in.numChannels, in.channelBuffers32,  in.silenceFlags, out.numChannels,
	                          out.channelBuffers32, out.silenceFlags, data.numSamples};
	const brontal::CBrontalCore::Result result = m_core.Process(block);
	if (result == brontal::CBrontalCore::Result::Flushed)
		return kResultOk;
	out.silenceFlags = block.uOutSilent;
	if (result == brontal::CBrontalCore::Result::Failed)
		return kResultFalse;
	ReportIndicators(data.outputParameterChanges);
	return kResultOk;
}

tresult PLUGIN_API Brontal::getState(IBStream* state)
{
	brontal::StateValues afValues = {};
	for (const ParamDef& def : kParams)
		if (brontal::IsSaved(def))
			afValues[def.iId] = m_core.GetParam(def.iId);
	std::vector<brontal::StateChunk> chunks;
	if (m_core.Cabinet())
		chunks.push_back(brontal::EncodeIrChunk(*m_core.Cabinet()));
	return brontal::WriteStateStream(state, brontal::SerialiseState(afValues, chunks)) ? kResultOk : kResultFalse;
}

tresult PLUGIN_API Brontal::setState(IBStream* state)
{
	brontal::StateBytes bytes;
	brontal::ParsedState parsed;
	if (!brontal::ReadStateStream(state, bytes) || !brontal::ParseState(bytes.data(), bytes.size(), parsed))
		return kResultFalse;
	for (const ParamDef& def : kParams)
		if (brontal::IsSaved(def))
			m_core.SetParam(def.iId, parsed.afValues[def.iId]);
	// The cabinet the state holds; without a whole, valid response, the built-in one.
	auto pCabinet = std::make_unique<brontal::LoadedIr>();
	const auto chunk = std::find_if(parsed.chunks.begin(), parsed.chunks.end(),
	                                [](const brontal::StateChunk& c) { return c.uTag == brontal::kIrChunkTag; });
	const bool bCabinet = chunk != parsed.chunks.end() && brontal::DecodeIrChunk(*chunk, *pCabinet);
	m_core.SetCabinet(bCabinet ? std::move(pCabinet) : nullptr);
	// A loaded setting is heard at once, not reached by a glide.
	m_core.SnapNext();
	return kResultOk;
}

tresult PLUGIN_API Brontal::notify(IMessage* message)
{
	if (!message)
		return kInvalidArgument;
	const char* szId = message->getMessageID();
	// The editor's cabinet: a response as the state chunk holds it, or
	// nothing for the built-in mix.
	if (szId && std::strcmp(szId, brontal::kCabinetMessageId) == 0)
	{
		const void* pData = nullptr;
		uint32 uSize = 0;
		IAttributeList* pAttributes = message->getAttributes();
		if (!pAttributes)
			return kInvalidArgument;
		if (pAttributes->getBinary(brontal::kCabinetMessageData, pData, uSize) != kResultOk || uSize == 0)
		{
			m_core.SetCabinet(nullptr);
			return kResultOk;
		}
		brontal::StateChunk chunk{brontal::kIrChunkTag, brontal::kIrChunkVersion, {}};
		chunk.payload.assign(static_cast<const unsigned char*>(pData), static_cast<const unsigned char*>(pData) + uSize);
		auto pCabinet = std::make_unique<brontal::LoadedIr>();
		if (!brontal::DecodeIrChunk(chunk, *pCabinet))
			return kInvalidArgument;
		m_core.SetCabinet(std::move(pCabinet));
		return kResultOk;
	}
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
