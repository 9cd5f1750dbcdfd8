#include "lv2host.h"

#include <lilv/lilv.h>
#include <lv2/atom/atom.h>
#include <lv2/atom/forge.h>
#include <lv2/atom/util.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/log/log.h>
#include <lv2/options/options.h>
#include <lv2/parameters/parameters.h>
#include <lv2/patch/patch.h>
#include <lv2/presets/presets.h>
#include <lv2/state/state.h>
#include <lv2/time/time.h>
#include <lv2/urid/urid.h>
#include <lv2/worker/worker.h>

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <map>
#include <stdexcept>

namespace brontal::lv2host {

namespace {
constexpr std::size_t kAtomBufferBytes = 8192;
// Room kept for the events, work requests and responses of one block, so
// that a block neither allocates nor frees on the audio thread.
constexpr std::size_t kQueueBytes = 64 * 1024;

// Items of a flat queue: a type (or 0), a size, the bytes, padded to 4.
void Push(std::vector<uint8_t>& queue, uint32_t uType, const void* pData, uint32_t uSize)
{
	const uint32_t header[2] = {uType, uSize};
	const auto* p = static_cast<const uint8_t*>(pData);
	queue.insert(queue.end(), reinterpret_cast<const uint8_t*>(header), reinterpret_cast<const uint8_t*>(header + 2));
	queue.insert(queue.end(), p, p + uSize);
	queue.resize((queue.size() + 3) & ~std::size_t{3});
}

template <typename F> void ForEachItem(const std::vector<uint8_t>& queue, F&& f)
{
	for (std::size_t i = 0; i + 8 <= queue.size();)
	{
		uint32_t header[2];
		std::memcpy(header, queue.data() + i, sizeof header);
		f(header[0], header[1], queue.data() + i + 8);
		i = (i + 8 + header[1] + 3) & ~std::size_t{3};
	}
}
} // namespace

struct Lv2Plugin::State
{
	LilvWorld* world = nullptr;
	const LilvPlugin* plugin = nullptr;
	LilvInstance* instance = nullptr;
	const LV2_Worker_Interface* worker = nullptr;

	std::map<std::string, LV2_URID> uris;
	std::vector<uint8_t> requests, responses, working;
	bool bWorkAfterEachBlock = true;

	std::vector<float> controls;
	std::map<std::string, uint32_t> controlIndex; // symbols and names
	std::vector<uint32_t> audioIn, audioOut;
	std::vector<std::vector<uint8_t>> atomIn, atomOut;
	double dTempo = 0.0;
	// Events for the next block, as a queue of types and bodies.
	std::vector<uint8_t> events;

	int32_t iMaxBlock = 0;
	float fRate = 0.0f;
	LV2_URID_Map map{};
	LV2_Worker_Schedule schedule{};
	LV2_Log_Log log{};
	std::vector<std::string> logLines;
	LV2_Options_Option aOptions[5]{};
	LV2_Feature mapFeature{}, scheduleFeature{}, logFeature{}, optionsFeature{}, boundedFeature{};
	std::vector<const LV2_Feature*> features;
	LV2_URID sequenceType = 0, chunkType = 0, timePosition = 0, beatsPerMinute = 0;
	// Set up once: it maps its URIs, which allocates, and run must not.
	LV2_Atom_Forge forge{};
	// A property between saveProperty's store and restoreProperty's retrieve.
	LV2_URID propertyKey = 0;
	std::vector<unsigned char> property;

	LV2_URID Map(const char* uri)
	{
		const auto found = uris.find(uri);
		if (found != uris.end())
			return found->second;
		const LV2_URID id = static_cast<LV2_URID>(uris.size() + 1);
		uris.emplace(uri, id);
		return id;
	}

	static LV2_URID MapUri(LV2_URID_Map_Handle handle, const char* uri)
	{
		return static_cast<State*>(handle)->Map(uri);
	}

	static LV2_Worker_Status Schedule(LV2_Worker_Schedule_Handle handle, uint32_t size, const void* data)
	{
		std::vector<uint8_t>& queue = static_cast<State*>(handle)->requests;
		if (queue.size() + size + 12 > queue.capacity())
			return LV2_WORKER_ERR_NO_SPACE;
		Push(queue, 0, data, size);
		return LV2_WORKER_SUCCESS;
	}

	static int LogPrintf(LV2_Log_Handle handle, LV2_URID type, const char* format, ...)
	{
		va_list args;
		va_start(args, format);
		const int n = LogVprintf(handle, type, format, args);
		va_end(args);
		return n;
	}

	static int LogVprintf(LV2_Log_Handle handle, LV2_URID /*type*/, const char* format, va_list args)
	{
		char line[2048];
		const int n = std::vsnprintf(line, sizeof line, format, args);
		static_cast<State*>(handle)->logLines.emplace_back(line);
		return n;
	}

	static LV2_Worker_Status Respond(LV2_Worker_Respond_Handle handle, uint32_t size, const void* data)
	{
		Push(static_cast<State*>(handle)->responses, 0, data, size);
		return LV2_WORKER_SUCCESS;
	}

	static void SetPortValue(const char* symbol, void* handle, const void* value, uint32_t size, uint32_t type)
	{
		State& s = *static_cast<State*>(handle);
		const auto found = s.controlIndex.find(symbol);
		if (found == s.controlIndex.end() || size != sizeof(float) || type != s.Map(LV2_ATOM__Float))
			return;
		std::memcpy(&s.controls[found->second], value, sizeof(float));
	}

	// Input sequences (a time:Position first, when there is a tempo), and
	// output sequences with their room stated.
	void PrepareAtoms()
	{
		for (std::vector<uint8_t>& buffer : atomIn)
		{
			lv2_atom_forge_set_buffer(&forge, buffer.data(), buffer.size());
			LV2_Atom_Forge_Frame sequence;
			lv2_atom_forge_sequence_head(&forge, &sequence, 0);
			if (dTempo > 0.0)
			{
				lv2_atom_forge_frame_time(&forge, 0);
				LV2_Atom_Forge_Frame object;
				lv2_atom_forge_object(&forge, &object, 0, timePosition);
				lv2_atom_forge_key(&forge, beatsPerMinute);
				lv2_atom_forge_float(&forge, static_cast<float>(dTempo));
				lv2_atom_forge_pop(&forge, &object);
			}
			ForEachItem(events, [this](uint32_t uType, uint32_t uSize, const uint8_t* pBody) {
				// Whole events only: what does not fit is left out.
				if (forge.offset + sizeof(LV2_Atom_Event) + lv2_atom_pad_size(uSize) > forge.size)
					return;
				lv2_atom_forge_frame_time(&forge, 0);
				lv2_atom_forge_atom(&forge, uSize, uType);
				if (uSize > 0)
					lv2_atom_forge_write(&forge, pBody, uSize);
			});
			lv2_atom_forge_pop(&forge, &sequence);
		}
		for (std::vector<uint8_t>& buffer : atomOut)
		{
			auto* atom = reinterpret_cast<LV2_Atom*>(buffer.data());
			atom->type = chunkType;
			atom->size = static_cast<uint32_t>(buffer.size() - sizeof(LV2_Atom));
		}
	}

	// The worker thread's part.
	void DoWork()
	{
		if (!worker)
			return;
		const LV2_Handle handle = lilv_instance_get_handle(instance);
		working.swap(requests);
		ForEachItem(working, [&](uint32_t, uint32_t uSize, const uint8_t* pData) {
			worker->work(handle, &Respond, this, uSize, pData);
		});
		working.clear();
	}

	// The audio thread's, after run.
	void HandResponses()
	{
		if (!worker)
			return;
		const LV2_Handle handle = lilv_instance_get_handle(instance);
		ForEachItem(responses, [&](uint32_t, uint32_t uSize, const uint8_t* pData) {
			worker->work_response(handle, uSize, pData);
		});
		responses.clear();
		if (worker->end_run)
			worker->end_run(handle);
	}

	const LV2_State_Interface* StateInterface() const
	{
		return static_cast<const LV2_State_Interface*>(
		    lilv_instance_get_extension_data(instance, LV2_STATE__interface));
	}
};

Lv2Plugin::Lv2Plugin(const std::string& uri, double dRate, int iMaxBlock)
    : Lv2Plugin(uri, Lv2Options{dRate, iMaxBlock, true})
{
}

Lv2Plugin::Lv2Plugin(const std::string& uri, const Lv2Options& options) : m_state(new State)
{
	State& s = *m_state;
	s.iMaxBlock = options.iMaxBlock;
	s.bWorkAfterEachBlock = options.bWorkAfterEachBlock;
	for (std::vector<uint8_t>* queue : {&s.requests, &s.responses, &s.working, &s.events})
		queue->reserve(kQueueBytes);
	s.fRate = static_cast<float>(options.dRate);
	s.world = lilv_world_new();
	lilv_world_load_all(s.world);
	LilvNode* node = lilv_new_uri(s.world, uri.c_str());
	s.plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(s.world), node);
	lilv_node_free(node);
	if (!s.plugin)
	{
		lilv_world_free(s.world);
		throw std::runtime_error(uri + " is not installed");
	}

	s.map = {&s, &State::MapUri};
	s.sequenceType = s.Map(LV2_ATOM__Sequence);
	s.chunkType = s.Map(LV2_ATOM__Chunk);
	s.timePosition = s.Map(LV2_TIME__Position);
	s.beatsPerMinute = s.Map(LV2_TIME__beatsPerMinute);
	lv2_atom_forge_init(&s.forge, &s.map);
	s.schedule = {&s, &State::Schedule};
	const LV2_URID intType = s.Map(LV2_ATOM__Int);
	s.aOptions[0] = {LV2_OPTIONS_INSTANCE, 0, s.Map(LV2_BUF_SIZE__maxBlockLength), sizeof(int32_t), intType, &s.iMaxBlock};
	s.aOptions[1] = {LV2_OPTIONS_INSTANCE, 0, s.Map(LV2_BUF_SIZE__minBlockLength), sizeof(int32_t), intType, &s.iMaxBlock};
	s.aOptions[2] = {LV2_OPTIONS_INSTANCE, 0, s.Map(LV2_BUF_SIZE__nominalBlockLength), sizeof(int32_t), intType,
	                 &s.iMaxBlock};
	s.aOptions[3] = {LV2_OPTIONS_INSTANCE, 0, s.Map(LV2_PARAMETERS__sampleRate), sizeof(float), s.Map(LV2_ATOM__Float),
	                 &s.fRate};
	s.aOptions[4] = {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr};
	s.mapFeature = {LV2_URID__map, &s.map};
	s.scheduleFeature = {LV2_WORKER__schedule, &s.schedule};
	s.optionsFeature = {LV2_OPTIONS__options, s.aOptions};
	s.boundedFeature = {LV2_BUF_SIZE__boundedBlockLength, nullptr};
	s.log = {&s, &State::LogPrintf, &State::LogVprintf};
	s.logFeature = {LV2_LOG__log, &s.log};
	s.features = {&s.mapFeature, &s.scheduleFeature, &s.logFeature};
	if (options.bOfferBlockLength)
		s.features.insert(s.features.end(), {&s.optionsFeature, &s.boundedFeature});
	s.features.push_back(nullptr);

	s.instance = lilv_plugin_instantiate(s.plugin, options.dRate, s.features.data());
	if (!s.instance)
	{
		lilv_world_free(s.world);
		throw std::runtime_error(uri + " did not instantiate");
	}
	s.worker = static_cast<const LV2_Worker_Interface*>(lilv_instance_get_extension_data(s.instance, LV2_WORKER__interface));

	const uint32_t nPorts = lilv_plugin_get_num_ports(s.plugin);
	std::vector<float> afMin(nPorts), afMax(nPorts), afDefault(nPorts);
	lilv_plugin_get_port_ranges_float(s.plugin, afMin.data(), afMax.data(), afDefault.data());
	s.controls.assign(nPorts, 0.0f);
	LilvNode* audioPort = lilv_new_uri(s.world, LV2_CORE__AudioPort);
	LilvNode* controlPort = lilv_new_uri(s.world, LV2_CORE__ControlPort);
	LilvNode* atomPort = lilv_new_uri(s.world, LV2_ATOM__AtomPort);
	LilvNode* inputPort = lilv_new_uri(s.world, LV2_CORE__InputPort);
	s.atomIn.reserve(nPorts);
	s.atomOut.reserve(nPorts);
	for (uint32_t i = 0; i < nPorts; ++i)
	{
		const LilvPort* port = lilv_plugin_get_port_by_index(s.plugin, i);
		const bool bInput = lilv_port_is_a(s.plugin, port, inputPort);
		if (lilv_port_is_a(s.plugin, port, audioPort))
			(bInput ? s.audioIn : s.audioOut).push_back(i);
		else if (lilv_port_is_a(s.plugin, port, controlPort))
		{
			s.controls[i] = afDefault[i] == afDefault[i] ? afDefault[i] : 0.0f;
			s.controlIndex[lilv_node_as_string(lilv_port_get_symbol(s.plugin, port))] = i;
			LilvNode* name = lilv_port_get_name(s.plugin, port);
			s.controlIndex.emplace(lilv_node_as_string(name), i);
			lilv_node_free(name);
			lilv_instance_connect_port(s.instance, i, &s.controls[i]);
		}
		else if (lilv_port_is_a(s.plugin, port, atomPort))
		{
			std::vector<std::vector<uint8_t>>& buffers = bInput ? s.atomIn : s.atomOut;
			buffers.emplace_back(kAtomBufferBytes, 0);
			lilv_instance_connect_port(s.instance, i, buffers.back().data());
		}
		else
			lilv_instance_connect_port(s.instance, i, nullptr);
	}
	for (LilvNode* n : {audioPort, controlPort, atomPort, inputPort})
		lilv_node_free(n);
	lilv_instance_activate(s.instance);
}

Lv2Plugin::~Lv2Plugin()
{
	lilv_instance_deactivate(m_state->instance);
	lilv_instance_free(m_state->instance);
	lilv_world_free(m_state->world);
}

std::vector<PortInfo> Lv2Plugin::ports() const
{
	State& s = *m_state;
	const uint32_t nPorts = lilv_plugin_get_num_ports(s.plugin);
	std::vector<float> afMin(nPorts), afMax(nPorts), afDefault(nPorts);
	lilv_plugin_get_port_ranges_float(s.plugin, afMin.data(), afMax.data(), afDefault.data());
	LilvNode* designation = lilv_new_uri(s.world, LV2_CORE__designation);
	const auto strings = [](const LilvNodes* nodes) {
		std::vector<std::string> result;
		LILV_FOREACH (nodes, i, nodes)
			result.emplace_back(lilv_node_as_string(lilv_nodes_get(nodes, i)));
		return result;
	};
	std::vector<PortInfo> result;
	for (uint32_t i = 0; i < nPorts; ++i)
	{
		const LilvPort* port = lilv_plugin_get_port_by_index(s.plugin, i);
		PortInfo info;
		info.symbol = lilv_node_as_string(lilv_port_get_symbol(s.plugin, port));
		LilvNode* name = lilv_port_get_name(s.plugin, port);
		info.name = lilv_node_as_string(name);
		lilv_node_free(name);
		info.types = strings(lilv_port_get_classes(s.plugin, port));
		LilvNodes* properties = lilv_port_get_properties(s.plugin, port);
		info.properties = strings(properties);
		lilv_nodes_free(properties);
		if (LilvNode* designated = lilv_port_get(s.plugin, port, designation))
		{
			info.designation = lilv_node_as_string(designated);
			lilv_node_free(designated);
		}
		info.fDefault = afDefault[i];
		info.fMinimum = afMin[i];
		info.fMaximum = afMax[i];
		result.push_back(info);
	}
	lilv_node_free(designation);
	return result;
}

std::vector<std::string> Lv2Plugin::describe(const std::string& subject, const std::vector<std::string>& predicates) const
{
	State& s = *m_state;
	// The plug-in's own files, and what they see also, loaded first.
	lilv_nodes_free(lilv_plugin_get_required_features(s.plugin));
	std::vector<LilvNode*> nodes = {lilv_new_uri(s.world, subject.c_str())};
	for (const std::string& predicate : predicates)
	{
		LilvNode* property = lilv_new_uri(s.world, predicate.c_str());
		std::vector<LilvNode*> next;
		for (LilvNode* node : nodes)
		{
			LilvNodes* found = lilv_world_find_nodes(s.world, node, property, nullptr);
			LILV_FOREACH (nodes, i, found)
				next.push_back(lilv_node_duplicate(lilv_nodes_get(found, i)));
			lilv_nodes_free(found);
			lilv_node_free(node);
		}
		lilv_node_free(property);
		nodes.swap(next);
	}
	std::vector<std::string> result;
	for (LilvNode* node : nodes)
	{
		result.emplace_back(lilv_node_as_string(node));
		lilv_node_free(node);
	}
	return result;
}

int Lv2Plugin::audioInputs() const
{
	return static_cast<int>(m_state->audioIn.size());
}

int Lv2Plugin::audioOutputs() const
{
	return static_cast<int>(m_state->audioOut.size());
}

bool Lv2Plugin::setControl(const std::string& symbolOrName, float fValue)
{
	const auto found = m_state->controlIndex.find(symbolOrName);
	if (found == m_state->controlIndex.end())
		return false;
	m_state->controls[found->second] = fValue;
	return true;
}

float Lv2Plugin::control(const std::string& symbolOrName) const
{
	const auto found = m_state->controlIndex.find(symbolOrName);
	return found == m_state->controlIndex.end() ? NAN : m_state->controls[found->second];
}

void Lv2Plugin::setTempo(double dTempo)
{
	m_state->dTempo = dTempo;
}

void Lv2Plugin::run(const float* const* ppfIn, float* const* ppfOut, int iCount)
{
	State& s = *m_state;
	for (std::size_t c = 0; c < s.audioIn.size(); ++c)
		lilv_instance_connect_port(s.instance, s.audioIn[c], const_cast<float*>(ppfIn[c]));
	for (std::size_t c = 0; c < s.audioOut.size(); ++c)
		lilv_instance_connect_port(s.instance, s.audioOut[c], ppfOut[c]);
	s.PrepareAtoms();
	s.events.clear();
	lilv_instance_run(s.instance, static_cast<uint32_t>(iCount));
	if (s.bWorkAfterEachBlock)
		s.DoWork();
	s.HandResponses();
}

void Lv2Plugin::work()
{
	m_state->DoWork();
}

void Lv2Plugin::sendEvent(uint32_t uType, const void* pBody, uint32_t uSize)
{
	Push(m_state->events, uType, pBody, uSize);
}

uint32_t Lv2Plugin::map(const std::string& uri)
{
	return m_state->Map(uri.c_str());
}

void Lv2Plugin::sendPatchSetPath(const std::string& property, const std::string& path)
{
	State& s = *m_state;
	std::vector<uint8_t> buffer(sizeof(LV2_Atom) + path.size() + 256);
	LV2_Atom_Forge forge;
	lv2_atom_forge_init(&forge, &s.map);
	lv2_atom_forge_set_buffer(&forge, buffer.data(), buffer.size());
	LV2_Atom_Forge_Frame object;
	lv2_atom_forge_object(&forge, &object, 0, s.Map(LV2_PATCH__Set));
	lv2_atom_forge_key(&forge, s.Map(LV2_PATCH__property));
	lv2_atom_forge_urid(&forge, s.Map(property.c_str()));
	lv2_atom_forge_key(&forge, s.Map(LV2_PATCH__value));
	lv2_atom_forge_path(&forge, path.c_str(), static_cast<uint32_t>(path.size()));
	lv2_atom_forge_pop(&forge, &object);
	const auto* atom = reinterpret_cast<const LV2_Atom*>(buffer.data());
	sendEvent(atom->type, atom + 1, atom->size);
}

void Lv2Plugin::sendPatchGet(const std::string& property)
{
	State& s = *m_state;
	std::vector<uint8_t> buffer(256);
	LV2_Atom_Forge forge;
	lv2_atom_forge_init(&forge, &s.map);
	lv2_atom_forge_set_buffer(&forge, buffer.data(), buffer.size());
	LV2_Atom_Forge_Frame object;
	lv2_atom_forge_object(&forge, &object, 0, s.Map(LV2_PATCH__Get));
	lv2_atom_forge_key(&forge, s.Map(LV2_PATCH__property));
	lv2_atom_forge_urid(&forge, s.Map(property.c_str()));
	lv2_atom_forge_pop(&forge, &object);
	const auto* atom = reinterpret_cast<const LV2_Atom*>(buffer.data());
	sendEvent(atom->type, atom + 1, atom->size);
}

std::vector<std::pair<uint32_t, std::vector<uint8_t>>> Lv2Plugin::outputEvents() const
{
	const State& s = *m_state;
	std::vector<std::pair<uint32_t, std::vector<uint8_t>>> events;
	for (const std::vector<uint8_t>& buffer : s.atomOut)
	{
		const auto* sequence = reinterpret_cast<const LV2_Atom_Sequence*>(buffer.data());
		if (sequence->atom.type != s.sequenceType || sequence->atom.size + sizeof(LV2_Atom) > buffer.size())
			continue;
		LV2_ATOM_SEQUENCE_FOREACH(sequence, event)
		{
			const auto* body = static_cast<const uint8_t*>(LV2_ATOM_BODY_CONST(&event->body));
			events.emplace_back(event->body.type, std::vector<uint8_t>(body, body + event->body.size));
		}
	}
	return events;
}

std::vector<std::string> Lv2Plugin::logLines() const
{
	return m_state->logLines;
}

void Lv2Plugin::restart()
{
	lilv_instance_deactivate(m_state->instance);
	lilv_instance_activate(m_state->instance);
}

void Lv2Plugin::run(const float* pfIn, float* pfOut, int iCount)
{
	const std::vector<const float*> in(m_state->audioIn.size(), pfIn);
	const std::vector<float*> out(m_state->audioOut.size(), pfOut);
	run(in.data(), out.data(), iCount);
}

std::vector<unsigned char> Lv2Plugin::saveProperty(const std::string& key)
{
	State& s = *m_state;
	const LV2_State_Interface* pState = s.StateInterface();
	if (!pState)
		throw std::runtime_error("the plug-in has no state interface");
	s.propertyKey = s.Map(key.c_str());
	s.property.clear();
	const auto store = [](LV2_State_Handle handle, uint32_t uKey, const void* pValue, size_t uSize, uint32_t uType,
	                      uint32_t /*flags*/) -> LV2_State_Status {
		State& self = *static_cast<State*>(handle);
		if (uKey != self.propertyKey || uType != self.chunkType)
			return LV2_STATE_SUCCESS;
		const auto* p = static_cast<const unsigned char*>(pValue);
		self.property.assign(p, p + uSize);
		return LV2_STATE_SUCCESS;
	};
	pState->save(lilv_instance_get_handle(s.instance), store, &s, LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE, nullptr);
	return s.property;
}

bool Lv2Plugin::restoreProperty(const std::string& key, const std::vector<unsigned char>& value)
{
	State& s = *m_state;
	const LV2_State_Interface* pState = s.StateInterface();
	if (!pState)
		throw std::runtime_error("the plug-in has no state interface");
	s.propertyKey = s.Map(key.c_str());
	s.property = value;
	const auto retrieve = [](LV2_State_Handle handle, uint32_t uKey, size_t* puSize, uint32_t* puType,
	                         uint32_t* puFlags) -> const void* {
		State& self = *static_cast<State*>(handle);
		if (uKey != self.propertyKey)
			return nullptr;
		*puSize = self.property.size();
		*puType = self.chunkType;
		*puFlags = LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE;
		return self.property.data();
	};
	return pState->restore(lilv_instance_get_handle(s.instance), retrieve, &s, 0, nullptr) == LV2_STATE_SUCCESS;
}

std::vector<std::pair<std::string, std::string>> Lv2Plugin::presets() const
{
	State& s = *m_state;
	std::vector<std::pair<std::string, std::string>> result;
	LilvNode* presetClass = lilv_new_uri(s.world, LV2_PRESETS__Preset);
	LilvNode* label = lilv_new_uri(s.world, LILV_NS_RDFS "label");
	LilvNodes* related = lilv_plugin_get_related(s.plugin, presetClass);
	LILV_FOREACH (nodes, i, related)
	{
		const LilvNode* preset = lilv_nodes_get(related, i);
		lilv_world_load_resource(s.world, preset);
		LilvNodes* labels = lilv_world_find_nodes(s.world, preset, label, nullptr);
		result.emplace_back(labels ? lilv_node_as_string(lilv_nodes_get_first(labels)) : "",
		                    lilv_node_as_uri(preset));
		lilv_nodes_free(labels);
	}
	lilv_nodes_free(related);
	lilv_node_free(label);
	lilv_node_free(presetClass);
	return result;
}

bool Lv2Plugin::loadPreset(const std::string& uri)
{
	State& s = *m_state;
	LilvNode* preset = lilv_new_uri(s.world, uri.c_str());
	lilv_world_load_resource(s.world, preset);
	LilvState* state = lilv_state_new_from_world(s.world, &s.map, preset);
	lilv_node_free(preset);
	if (!state)
		return false;
	lilv_state_restore(state, s.instance, &State::SetPortValue, &s, 0, s.features.data());
	lilv_state_free(state);
	return true;
}

} // namespace brontal::lv2host
