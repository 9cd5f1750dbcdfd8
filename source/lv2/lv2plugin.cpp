// The LV2 shell: the same core and chain as the VST 3 processor behind LV2's
// ports, atom sequence and state interface. Two plug-ins, stereo and mono,
// share the binary.

#include "brontalcore.h"
#include "brontalstate.h"
#include "lv2/lv2ports.h"

#include <lv2/atom/atom.h>
#include <lv2/atom/util.h>
#include <lv2/core/lv2.h>
#include <lv2/state/state.h>
#include <lv2/time/time.h>
#include <lv2/urid/urid.h>

#include <cmath>
#include <cstring>
#include <new>

namespace brontal::lv2 {
namespace {

// All 0 for a host without a URID map: then there is neither an event to
// read nor a state to keep, and the tempo stays 120.
struct Uris
{
	LV2_URID atomBlank = 0, atomObject = 0, atomChunk = 0, atomFloat = 0, atomDouble = 0, atomInt = 0, atomLong = 0;
	LV2_URID timePosition = 0, timeBeatsPerMinute = 0;
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
		timePosition = map(LV2_TIME__Position);
		timeBeatsPerMinute = map(LV2_TIME__beatsPerMinute);
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
	}

	const PortLayout layout;
	const Uris uris;
	CBrontalCore core;
	const float* apfIn[2] = {};
	float* apfOut[2] = {};
	const LV2_Atom_Sequence* pEvents = nullptr;
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
};

const LV2_URID_Map* FindMap(const LV2_Feature* const* features)
{
	for (const LV2_Feature* const* p = features; p && *p; ++p)
		if (std::strcmp((*p)->URI, LV2_URID__map) == 0)
			return static_cast<const LV2_URID_Map*>((*p)->data);
	return nullptr;
}

const PortLayout& LayoutOf(const LV2_Descriptor* descriptor)
{
	return std::strcmp(descriptor->URI, kMonoPluginUri) == 0 ? kMono : kStereo;
}

LV2_Handle Instantiate(const LV2_Descriptor* descriptor, double dRate, const char* /*bundle*/,
                       const LV2_Feature* const* features)
{
	const LV2_URID_Map* pMap = FindMap(features);
	if (!(dRate > 0.0) || !std::isfinite(dRate))
		return nullptr;
	Instance* pInstance = new (std::nothrow) Instance(LayoutOf(descriptor), pMap);
	if (!pInstance)
		return nullptr;
	pInstance->core.Reset();
	pInstance->core.SetSampleRate(dRate);
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
	for (const ParamDef& def : kParams)
		if (l.ParamPort(def.iId) == iPort)
			s.apfParamPorts[def.iId] = static_cast<float*>(pData);
}

void Activate(LV2_Handle handle)
{
	Instance& s = *static_cast<Instance*>(handle);
	s.core.ClearIndicators();
	s.core.Reset();
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

// The host's time position carries the tempo; MIDI has no use here yet.
void ReadEvents(Instance& s)
{
	if (!s.pEvents || !s.uris.Mapped())
		return;
	LV2_ATOM_SEQUENCE_FOREACH(s.pEvents, pEvent)
	{
		const LV2_Atom& body = pEvent->body;
		if (body.type != s.uris.atomObject && body.type != s.uris.atomBlank)
			continue;
		const auto* pObject = reinterpret_cast<const LV2_Atom_Object*>(&body);
		if (pObject->body.otype != s.uris.timePosition)
			continue;
		const LV2_Atom* pBpm = nullptr;
		lv2_atom_object_get(pObject, s.uris.timeBeatsPerMinute, &pBpm, 0);
		double dTempo = 0.0;
		if (NumberOf(s.uris, pBpm, dTempo))
			s.core.SetTempo(dTempo);
	}
}

void Run(LV2_Handle handle, uint32_t uCount)
{
	Instance& s = *static_cast<Instance*>(handle);
	ReadEvents(s);
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

	AudioBlock block{s.layout.iChannels, s.apfIn, 0, s.layout.iChannels, s.apfOut, 0,
	                 static_cast<int32_t>(uCount < 0x7fffffffu ? uCount : 0x7fffffffu)};
	s.core.Process(block);

	for (const ParamDef& def : kParams)
		if (float* pfPort = s.apfParamPorts[def.iId]; pfPort && IsOutputPort(def))
			*pfPort = s.core.GetParam(def.iId);
	if (s.pfLatency)
		*s.pfLatency = 0.0f;
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
	const StateBytes bytes = SerialiseState(afValues);
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
	// A loaded setting is heard at once, not reached by a glide.
	s.core.SnapNext();
	s.bPortsTaken = true;
	return LV2_STATE_SUCCESS;
}

const void* ExtensionData(const char* szUri)
{
	static const LV2_State_Interface state = {Save, Restore};
	if (std::strcmp(szUri, LV2_STATE__interface) == 0)
		return &state;
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
