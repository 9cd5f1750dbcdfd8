#include "lv2host.h"

#include <lilv/lilv.h>
#include <lv2/atom/atom.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/options/options.h>
#include <lv2/parameters/parameters.h>
#include <lv2/urid/urid.h>
#include <lv2/worker/worker.h>

#include <cstring>
#include <map>
#include <stdexcept>
#include <vector>

namespace brontal::bench {

struct Lv2Plugin::State
{
	LilvWorld* world = nullptr;
	const LilvPlugin* plugin = nullptr;
	LilvInstance* instance = nullptr;
	const LV2_Worker_Interface* worker = nullptr;

	std::map<std::string, LV2_URID> uris;
	std::vector<std::vector<uint8_t>> requests;
	std::vector<std::vector<uint8_t>> responses;

	std::vector<float> controls;
	std::map<std::string, uint32_t> controlIndex;
	std::vector<uint32_t> audioIn, audioOut;
	std::vector<std::vector<uint8_t>> atomIn, atomOut;

	int32_t iMaxBlock = 0;
	float fRate = 0.0f;
	LV2_URID_Map map{};
	LV2_Worker_Schedule schedule{};
	LV2_Options_Option aOptions[5]{};
	LV2_Feature mapFeature{}, scheduleFeature{}, optionsFeature{}, boundedFeature{};
	LV2_URID sequenceType = 0, chunkType = 0;

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
		const auto* bytes = static_cast<const uint8_t*>(data);
		static_cast<State*>(handle)->requests.emplace_back(bytes, bytes + size);
		return LV2_WORKER_SUCCESS;
	}

	static LV2_Worker_Status Respond(LV2_Worker_Respond_Handle handle, uint32_t size, const void* data)
	{
		const auto* bytes = static_cast<const uint8_t*>(data);
		static_cast<State*>(handle)->responses.emplace_back(bytes, bytes + size);
		return LV2_WORKER_SUCCESS;
	}

	// Empty input sequences, and output sequences with their room stated.
	void PrepareAtoms()
	{
		for (std::vector<uint8_t>& buffer : atomIn)
		{
			auto* seq = reinterpret_cast<LV2_Atom_Sequence*>(buffer.data());
			seq->atom.type = sequenceType;
			seq->atom.size = sizeof(LV2_Atom_Sequence_Body);
			seq->body.unit = 0;
			seq->body.pad = 0;
		}
		for (std::vector<uint8_t>& buffer : atomOut)
		{
			auto* atom = reinterpret_cast<LV2_Atom*>(buffer.data());
			atom->type = chunkType;
			atom->size = static_cast<uint32_t>(buffer.size() - sizeof(LV2_Atom));
		}
	}

	void DoWork()
	{
		if (!worker)
			return;
		const LV2_Handle handle = lilv_instance_get_handle(instance);
		std::vector<std::vector<uint8_t>> pending;
		pending.swap(requests);
		for (const std::vector<uint8_t>& request : pending)
			worker->work(handle, &Respond, this, static_cast<uint32_t>(request.size()), request.data());
		std::vector<std::vector<uint8_t>> answers;
		answers.swap(responses);
		for (const std::vector<uint8_t>& answer : answers)
			worker->work_response(handle, static_cast<uint32_t>(answer.size()), answer.data());
		if (worker->end_run)
			worker->end_run(handle);
	}
};

Lv2Plugin::Lv2Plugin(const std::string& uri, double dRate, int iMaxBlock) : m_state(new State)
{
	State& s = *m_state;
	s.iMaxBlock = iMaxBlock;
	s.fRate = static_cast<float>(dRate);
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
	const LV2_Feature* apFeatures[] = {&s.mapFeature, &s.scheduleFeature, &s.optionsFeature, &s.boundedFeature, nullptr};

	s.instance = lilv_plugin_instantiate(s.plugin, dRate, apFeatures);
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
			lilv_instance_connect_port(s.instance, i, &s.controls[i]);
		}
		else if (lilv_port_is_a(s.plugin, port, atomPort))
		{
			std::vector<std::vector<uint8_t>>& buffers = bInput ? s.atomIn : s.atomOut;
			buffers.emplace_back(8192, 0);
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

bool Lv2Plugin::setControl(const std::string& symbol, float fValue)
{
	const auto found = m_state->controlIndex.find(symbol);
	if (found == m_state->controlIndex.end())
		return false;
	m_state->controls[found->second] = fValue;
	return true;
}

void Lv2Plugin::run(const float* pfIn, float* pfOut, int iCount)
{
	State& s = *m_state;
	for (uint32_t i : s.audioIn)
		lilv_instance_connect_port(s.instance, i, const_cast<float*>(pfIn));
	for (uint32_t i : s.audioOut)
		lilv_instance_connect_port(s.instance, i, pfOut);
	s.PrepareAtoms();
	lilv_instance_run(s.instance, static_cast<uint32_t>(iCount));
	s.DoWork();
}

} // namespace brontal::bench
