// The LV2 shell: the same core and chain as the VST 3 processor behind LV2's
// ports, atom sequence, worker and state interface. Two plug-ins, stereo and
// mono, share the binary.

#include "brontalclassid.h"
#include "brontalcore.h"
#include "brontalstate.h"
#include "irstate.h"
#include "lv2/lv2ports.h"
#include "midimap.h"
#include "programs.h"

#include <lv2/atom/atom.h>
#include <lv2/atom/forge.h>
#include <lv2/atom/util.h>
#include <lv2/core/lv2.h>
#include <lv2/log/log.h>
#include <lv2/log/logger.h>
#include <lv2/midi/midi.h>
#include <lv2/patch/patch.h>
#include <lv2/state/state.h>
#include <lv2/time/time.h>
#include <lv2/urid/urid.h>
#include <lv2/worker/worker.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <string>

namespace brontal::lv2 {
namespace {

// All 0 for a host without a URID map: then there is neither an event to
// read nor a state to keep, and the tempo stays 120.
struct Uris
{
	LV2_URID atomBlank = 0, atomObject = 0, atomChunk = 0, atomFloat = 0, atomDouble = 0, atomInt = 0, atomLong = 0;
	LV2_URID atomPath = 0, atomString = 0, atomUrid = 0;
	LV2_URID timePosition = 0, timeBeatsPerMinute = 0;
	LV2_URID midiEvent = 0;
	LV2_URID patchSet = 0, patchGet = 0, patchProperty = 0, patchValue = 0;
	LV2_URID cabinet = 0, controlValue = 0, controlPort = 0, controlValueKey = 0;
	LV2_URID state = 0;

	explicit Uris(const LV2_URID_Map* pMap)
	{
		if (!pMap)
			return;
		const auto map = [pMap](const char* szUri) { return pMap->map(pMap->handle, szUri); };
		atomBlank = map(LV2_ATOM__Blank);
		atomObject = map(LV2_ATOM__Object);
		atomChunk = map(LV2_ATOM__Chunk);
		atomFloat = map(LV2_ATOM__Float);
		atomDouble = map(LV2_ATOM__Double);
		atomInt = map(LV2_ATOM__Int);
		atomLong = map(LV2_ATOM__Long);
		atomPath = map(LV2_ATOM__Path);
		atomString = map(LV2_ATOM__String);
		atomUrid = map(LV2_ATOM__URID);
		timePosition = map(LV2_TIME__Position);
		timeBeatsPerMinute = map(LV2_TIME__beatsPerMinute);
		midiEvent = map(LV2_MIDI__MidiEvent);
		patchSet = map(LV2_PATCH__Set);
		patchGet = map(LV2_PATCH__Get);
		patchProperty = map(LV2_PATCH__property);
		patchValue = map(LV2_PATCH__value);
		cabinet = map(kCabinetParameterUri);
		controlValue = map(kControlValueUri);
		controlPort = map(kControlPortUri);
		controlValueKey = map(kControlValueKeyUri);
		state = map(kStateUri);
	}
	bool Mapped() const { return state != 0; }
};

struct Instance
{
	Instance(const PortLayout& portLayout, const LV2_URID_Map* pMap) : layout(portLayout), uris(pMap)
	{
		for (float& fLast : afLastPortValues)
			fLast = NAN;
		for (const ParamDef& def : kParams)
			afToldValues[def.iId] = PortValueOf(def);
		if (pMap)
			lv2_atom_forge_init(&forge, const_cast<LV2_URID_Map*>(pMap));
	}

	// A parameter's value as its port shows it: Enabled is the bypass turned round.
	float PortValueOf(const ParamDef& def) const
	{
		const float fValue = core.GetParam(def.iId);
		return IsEnabledPort(def) ? 1.0f - fValue : fValue;
	}

	const PortLayout layout;
	const Uris uris;
	CBrontalCore core;
	// Read when the instance starts, as every VST 3 instance reads them.
	CMidiMap midiMap;
	CPrograms programs;
	LV2_Log_Logger logger{};
	const LV2_Worker_Schedule* pSchedule = nullptr;
	// Set up with the map: initialising a forge maps URIs, which run must not.
	LV2_Atom_Forge forge{};
	const float* apfIn[2] = {};
	float* apfOut[2] = {};
	const LV2_Atom_Sequence* pEvents = nullptr;
	LV2_Atom_Sequence* pNotify = nullptr;
	float* pfLatency = nullptr;
	// The parameters' control ports by id; null for ids without one.
	float* apfParamPorts[kNumParams] = {};
	// What each input port held when last taken: only a change of the port
	// enters the cell, so that a loaded state is not undone by ports the
	// host left as they were.
	float afLastPortValues[kNumParams];
	// Set by a restore: the next block takes the ports as they stand as
	// already applied, so that a host which restores only the state does not
	// lose it to ports it never moved.
	bool bPortsTaken = false;
	// What the notify port last told of each input's value, so that a value
	// the DSP set by itself is told once.
	float afToldValues[kNumParams];

	// The cabinet response's file as the notify port tells it (audio thread;
	// a restore, which never runs beside run, writes it too).
	char szCabinetPath[kIrMaxPathBytes + 1] = {};
	bool bTellCabinet = false;
	// The core's cabinet is set and collected off the audio thread: by the
	// worker, a restore, a save and activation, which may run beside each
	// other but never take the audio thread's time.
	std::mutex cabinetMutex;
};

template <typename T> T* FindFeature(const LV2_Feature* const* features, const char* szUri)
{
	for (const LV2_Feature* const* p = features; p && *p; ++p)
		if (std::strcmp((*p)->URI, szUri) == 0)
			return static_cast<T*>((*p)->data);
	return nullptr;
}

const PortLayout& LayoutOf(const LV2_Descriptor* descriptor)
{
	return std::strcmp(descriptor->URI, kMonoPluginUri) == 0 ? kMono : kStereo;
}

LV2_Handle Instantiate(const LV2_Descriptor* descriptor, double dRate, const char* /*bundle*/,
                       const LV2_Feature* const* features)
{
	LV2_URID_Map* pMap = FindFeature<LV2_URID_Map>(features, LV2_URID__map);
	if (!(dRate > 0.0) || !std::isfinite(dRate))
		return nullptr;
	Instance* pInstance = new (std::nothrow) Instance(LayoutOf(descriptor), pMap);
	if (!pInstance)
		return nullptr;
	Instance& s = *pInstance;
	s.core.Reset();
	s.core.SetSampleRate(dRate);
	// Without a map the log writes to the standard error.
	lv2_log_logger_init(&s.logger, pMap, FindFeature<LV2_Log_Log>(features, LV2_LOG__log));
	s.pSchedule = FindFeature<const LV2_Worker_Schedule>(features, LV2_WORKER__schedule);
	s.programs.Build(kProcessorClassId.data(), UserPresetFolder());
	std::string sError;
	const std::filesystem::path file = PlayerMappingsFile();
	if (!file.empty() && !s.midiMap.Load(file, sError))
		lv2_log_error(&s.logger, "Brontal: %s; no controller is mapped\n", sError.c_str());
	return pInstance;
}

void ConnectPort(LV2_Handle handle, uint32_t uPort, void* pData)
{
	Instance& s = *static_cast<Instance*>(handle);
	const int iPort = static_cast<int>(uPort);
	const PortLayout& l = s.layout;
	for (int c = 0; c < l.iChannels; ++c)
	{
		if (iPort == l.AudioIn(c))
			s.apfIn[c] = static_cast<const float*>(pData);
		if (iPort == l.AudioOut(c))
			s.apfOut[c] = static_cast<float*>(pData);
	}
	if (iPort == l.Events())
		s.pEvents = static_cast<const LV2_Atom_Sequence*>(pData);
	if (iPort == l.Latency())
		s.pfLatency = static_cast<float*>(pData);
	if (iPort == l.Notify())
		s.pNotify = static_cast<LV2_Atom_Sequence*>(pData);
	for (const ParamDef& def : kParams)
		if (l.ParamPort(def.iId) == iPort)
			s.apfParamPorts[def.iId] = static_cast<float*>(pData);
}

void Activate(LV2_Handle handle)
{
	Instance& s = *static_cast<Instance*>(handle);
	s.core.ClearIndicators();
	s.core.Reset();
	const std::lock_guard<std::mutex> lock(s.cabinetMutex);
	s.core.CollectCabinets();
}

bool NumberOf(const Uris& uris, const LV2_Atom* pAtom, double& dValue)
{
	if (!pAtom)
		return false;
	if (pAtom->type == uris.atomFloat && pAtom->size >= sizeof(float))
		dValue = reinterpret_cast<const LV2_Atom_Float*>(pAtom)->body;
	else if (pAtom->type == uris.atomDouble && pAtom->size >= sizeof(double))
		dValue = reinterpret_cast<const LV2_Atom_Double*>(pAtom)->body;
	else if (pAtom->type == uris.atomInt && pAtom->size >= sizeof(int32_t))
		dValue = reinterpret_cast<const LV2_Atom_Int*>(pAtom)->body;
	else if (pAtom->type == uris.atomLong && pAtom->size >= sizeof(int64_t))
		dValue = static_cast<double>(reinterpret_cast<const LV2_Atom_Long*>(pAtom)->body);
	else
		return false;
	return true;
}

// A controller message: the parameter the player's mapping names, with the
// value a VST 3 host would send for it (a pedal sets its switch); a program
// change: the program of that number, as the VST 3 program list has them.
void ReadMidi(Instance& s, const LV2_Atom& body)
{
	const auto* pMessage = static_cast<const uint8_t*>(LV2_ATOM_BODY_CONST(&body));
	if (body.size < 2)
		return;
	const int iStatus = pMessage[0] & 0xF0;
	const int iChannel = pMessage[0] & 0x0F;
	if (iStatus == LV2_MIDI_MSG_CONTROLLER && body.size >= 3)
	{
		const int iParam = s.midiMap.HostParamFor(iChannel, pMessage[1] & 0x7F);
		if (iParam == 0)
			return;
		const double dValue = ControllerValue(pMessage[2] & 0x7F);
		if (ParamDefOf(iParam).kind == ParamKind::Pedal)
			s.core.ApplyPedal(iParam, dValue);
		else
			s.core.SetParam(iParam, dValue);
	}
	else if (iStatus == LV2_MIDI_MSG_PGM_CHANGE)
	{
		const std::size_t uProgram = pMessage[1] & 0x7F;
		if (uProgram < s.programs.All().size())
			s.programs.All()[uProgram].Apply([&s](int iId, float fValue) { s.core.SetParam(iId, fValue); });
	}
}

// A patch:Set of the cabinet's file goes to the worker, which reads it; a
// patch:Get has the file told on the notify port.
void ReadPatch(Instance& s, const LV2_Atom_Object* pObject)
{
	const LV2_Atom* pProperty = nullptr;
	const LV2_Atom* pValue = nullptr;
	lv2_atom_object_get(pObject, s.uris.patchProperty, &pProperty, s.uris.patchValue, &pValue, 0);
	const bool bCabinet = pProperty && pProperty->type == s.uris.atomUrid && pProperty->size >= sizeof(LV2_URID) &&
	                      reinterpret_cast<const LV2_Atom_URID*>(pProperty)->body == s.uris.cabinet;
	if (pObject->body.otype == s.uris.patchGet)
	{
		if (!pProperty || bCabinet)
			s.bTellCabinet = true;
		return;
	}
	if (!bCabinet || !pValue || (pValue->type != s.uris.atomPath && pValue->type != s.uris.atomString) || !s.pSchedule)
		return;
	// The path without its terminating zero, if it has one.
	const char* szPath = static_cast<const char*>(LV2_ATOM_BODY_CONST(pValue));
	const uint32_t uLength = static_cast<uint32_t>(strnlen(szPath, pValue->size));
	if (uLength <= kIrMaxPathBytes)
		s.pSchedule->schedule_work(s.pSchedule->handle, uLength, szPath);
}

// The host's time position carries the tempo, MIDI moves what the player
// mapped, patch messages load and tell the cabinet.
void ReadEvents(Instance& s)
{
	if (!s.pEvents || !s.uris.Mapped())
		return;
	LV2_ATOM_SEQUENCE_FOREACH(s.pEvents, pEvent)
	{
		const LV2_Atom& body = pEvent->body;
		if (body.type == s.uris.midiEvent)
		{
			ReadMidi(s, body);
			continue;
		}
		// An object too short to hold its type is none.
		if ((body.type != s.uris.atomObject && body.type != s.uris.atomBlank) ||
		    body.size < sizeof(LV2_Atom_Object_Body))
			continue;
		const auto* pObject = reinterpret_cast<const LV2_Atom_Object*>(&body);
		if (pObject->body.otype == s.uris.patchSet || pObject->body.otype == s.uris.patchGet)
		{
			ReadPatch(s, pObject);
			continue;
		}
		if (pObject->body.otype != s.uris.timePosition)
			continue;
		const LV2_Atom* pBpm = nullptr;
		lv2_atom_object_get(pObject, s.uris.timeBeatsPerMinute, &pBpm, 0);
		double dTempo = 0.0;
		if (NumberOf(s.uris, pBpm, dTempo))
			s.core.SetTempo(dTempo);
	}
}

// The notify port: every input whose value in force is not what its port
// holds (set by MIDI, a program or a restored state) is told once, and the
// cabinet's file when asked or changed. What does not fit waits for the
// next block.
void Notify(Instance& s)
{
	if (!s.pNotify || !s.uris.Mapped())
		return;
	LV2_Atom_Forge& forge = s.forge;
	lv2_atom_forge_set_buffer(&forge, reinterpret_cast<uint8_t*>(s.pNotify), sizeof(LV2_Atom) + s.pNotify->atom.size);
	LV2_Atom_Forge_Frame sequence;
	if (!lv2_atom_forge_sequence_head(&forge, &sequence, 0))
		return;
	for (const ParamDef& def : kParams)
	{
		const float* pfPort = s.apfParamPorts[def.iId];
		if (!pfPort || IsOutputPort(def))
			continue;
		const float fValue = s.PortValueOf(def);
		if (fValue == *pfPort || fValue == s.afToldValues[def.iId])
		{
			s.afToldValues[def.iId] = fValue;
			continue;
		}
		LV2_Atom_Forge_Frame object;
		if (!lv2_atom_forge_frame_time(&forge, 0) || !lv2_atom_forge_object(&forge, &object, 0, s.uris.controlValue) ||
		    !lv2_atom_forge_key(&forge, s.uris.controlPort) ||
		    !lv2_atom_forge_int(&forge, s.layout.ParamPort(def.iId)) ||
		    !lv2_atom_forge_key(&forge, s.uris.controlValueKey) || !lv2_atom_forge_float(&forge, fValue))
			break;
		lv2_atom_forge_pop(&forge, &object);
		s.afToldValues[def.iId] = fValue;
	}
	if (s.bTellCabinet)
	{
		LV2_Atom_Forge_Frame object;
		const uint32_t uLength = static_cast<uint32_t>(std::strlen(s.szCabinetPath));
		if (lv2_atom_forge_frame_time(&forge, 0) && lv2_atom_forge_object(&forge, &object, 0, s.uris.patchSet) &&
		    lv2_atom_forge_key(&forge, s.uris.patchProperty) && lv2_atom_forge_urid(&forge, s.uris.cabinet) &&
		    lv2_atom_forge_key(&forge, s.uris.patchValue) && lv2_atom_forge_path(&forge, s.szCabinetPath, uLength))
		{
			lv2_atom_forge_pop(&forge, &object);
			s.bTellCabinet = false;
		}
	}
	lv2_atom_forge_pop(&forge, &sequence);
}

void Run(LV2_Handle handle, uint32_t uCount)
{
	Instance& s = *static_cast<Instance*>(handle);
	s.core.BeginBlock();
	for (const ParamDef& def : kParams)
	{
		const float* pfPort = s.apfParamPorts[def.iId];
		if (!pfPort || IsOutputPort(def))
			continue;
		const float fValue = *pfPort;
		if (fValue == s.afLastPortValues[def.iId])
			continue;
		s.afLastPortValues[def.iId] = fValue;
		if (s.bPortsTaken)
			continue;
		// Enabled is the bypass turned round.
		s.core.SetParam(def.iId, IsEnabledPort(def) ? 1.0 - static_cast<double>(fValue) : fValue);
	}
	s.bPortsTaken = false;
	// After the ports: a pedal pressed in the block of a port change of its
	// switch wins, as under VST 3.
	ReadEvents(s);

	AudioBlock block{s.layout.iChannels, s.apfIn, 0, s.layout.iChannels, s.apfOut, 0,
	                 static_cast<int32_t>(uCount < 0x7fffffffu ? uCount : 0x7fffffffu)};
	s.core.Process(block);

	for (const ParamDef& def : kParams)
		if (float* pfPort = s.apfParamPorts[def.iId]; pfPort && IsOutputPort(def))
			*pfPort = s.core.GetParam(def.iId);
	if (s.pfLatency)
		*s.pfLatency = 0.0f;
	Notify(s);
}

// The worker: a cabinet file read and prepared (or the built-in cabinet for
// an empty path) and handed to the chain, which takes it lock-free; run
// hears the path back through the response.
LV2_Worker_Status Work(LV2_Handle handle, LV2_Worker_Respond_Function respond, LV2_Worker_Respond_Handle respondHandle,
                       uint32_t uSize, const void* pData)
{
	Instance& s = *static_cast<Instance*>(handle);
	const std::string sPath(static_cast<const char*>(pData), std::min<std::size_t>(uSize, kIrMaxPathBytes));
	std::unique_ptr<LoadedIr> pCabinet;
	if (!sPath.empty())
	{
		pCabinet = std::make_unique<LoadedIr>();
		std::string sMessage;
		if (!LoadIrFile(sPath, *pCabinet, sMessage))
		{
			lv2_log_error(&s.logger, "Brontal: %s\n", sMessage.c_str());
			return LV2_WORKER_SUCCESS;
		}
		if (!sMessage.empty())
			lv2_log_note(&s.logger, "Brontal: %s\n", sMessage.c_str());
	}
	{
		const std::lock_guard<std::mutex> lock(s.cabinetMutex);
		s.core.SetCabinet(std::move(pCabinet));
	}
	respond(respondHandle, static_cast<uint32_t>(sPath.size()), sPath.data());
	return LV2_WORKER_SUCCESS;
}

LV2_Worker_Status WorkResponse(LV2_Handle handle, uint32_t uSize, const void* pData)
{
	Instance& s = *static_cast<Instance*>(handle);
	const std::size_t uLength = std::min<std::size_t>(uSize, kIrMaxPathBytes);
	std::memcpy(s.szCabinetPath, pData, uLength);
	s.szCabinetPath[uLength] = '\0';
	s.bTellCabinet = true;
	return LV2_WORKER_SUCCESS;
}

void Cleanup(LV2_Handle handle)
{
	delete static_cast<Instance*>(handle);
}

LV2_State_Status Save(LV2_Handle handle, LV2_State_Store_Function store, LV2_State_Handle stateHandle,
                      uint32_t /*flags*/, const LV2_Feature* const* /*features*/)
{
	Instance& s = *static_cast<Instance*>(handle);
	if (!s.uris.Mapped())
		return LV2_STATE_ERR_NO_FEATURE;
	StateValues afValues = {};
	for (const ParamDef& def : kParams)
		if (IsSaved(def))
			afValues[def.iId] = s.core.GetParam(def.iId);
	// The cabinet's samples themselves, as under VST 3: the state needs no file.
	std::vector<StateChunk> chunks;
	{
		const std::lock_guard<std::mutex> lock(s.cabinetMutex);
		if (s.core.Cabinet())
			chunks.push_back(EncodeIrChunk(*s.core.Cabinet()));
	}
	const StateBytes bytes = SerialiseState(afValues, chunks);
	return store(stateHandle, s.uris.state, bytes.data(), bytes.size(), s.uris.atomChunk,
	             LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE);
}

LV2_State_Status Restore(LV2_Handle handle, LV2_State_Retrieve_Function retrieve, LV2_State_Handle stateHandle,
                         uint32_t /*flags*/, const LV2_Feature* const* /*features*/)
{
	Instance& s = *static_cast<Instance*>(handle);
	if (!s.uris.Mapped())
		return LV2_STATE_ERR_NO_FEATURE;
	size_t uSize = 0;
	uint32_t uType = 0;
	uint32_t uFlags = 0;
	const void* pData = retrieve(stateHandle, s.uris.state, &uSize, &uType, &uFlags);
	if (!pData)
		return LV2_STATE_ERR_NO_PROPERTY;
	if (uType != s.uris.atomChunk)
		return LV2_STATE_ERR_BAD_TYPE;
	ParsedState parsed;
	if (!ParseState(static_cast<const unsigned char*>(pData), uSize, parsed))
		return LV2_STATE_ERR_UNKNOWN;
	for (const ParamDef& def : kParams)
		if (IsSaved(def))
			s.core.SetParam(def.iId, parsed.afValues[def.iId]);
	// The cabinet the state holds; without a whole, valid response, the built-in one.
	auto pCabinet = std::make_unique<LoadedIr>();
	const auto chunk = std::find_if(parsed.chunks.begin(), parsed.chunks.end(),
	                                [](const StateChunk& c) { return c.uTag == kIrChunkTag; });
	const bool bCabinet = chunk != parsed.chunks.end() && DecodeIrChunk(*chunk, *pCabinet);
	const std::string sPath = bCabinet ? pCabinet->sPath.substr(0, kIrMaxPathBytes) : std::string();
	{
		const std::lock_guard<std::mutex> lock(s.cabinetMutex);
		s.core.SetCabinet(bCabinet ? std::move(pCabinet) : nullptr);
	}
	// A restore never runs beside run.
	std::memcpy(s.szCabinetPath, sPath.c_str(), sPath.size() + 1);
	s.bTellCabinet = true;
	// A loaded setting is heard at once, not reached by a glide.
	s.core.SnapNext();
	s.bPortsTaken = true;
	return LV2_STATE_SUCCESS;
}

const void* ExtensionData(const char* szUri)
{
	static const LV2_State_Interface state = {Save, Restore};
	static const LV2_Worker_Interface worker = {Work, WorkResponse, nullptr};
	if (std::strcmp(szUri, LV2_STATE__interface) == 0)
		return &state;
	if (std::strcmp(szUri, LV2_WORKER__interface) == 0)
		return &worker;
	return nullptr;
}

const LV2_Descriptor kDescriptors[] = {
    {kPluginUri, Instantiate, ConnectPort, Activate, Run, nullptr, Cleanup, ExtensionData},
    {kMonoPluginUri, Instantiate, ConnectPort, Activate, Run, nullptr, Cleanup, ExtensionData},
};

} // namespace
} // namespace brontal::lv2

LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t uIndex)
{
	return uIndex < 2 ? &brontal::lv2::kDescriptors[uIndex] : nullptr;
}
