#pragma once

// A small LV2 host over lilv, for the tests and the benchmark: loads one
// plug-in by URI and runs it, giving it the features it asks for (URID map,
// options with the block length and rate, bounded block length, a worker run
// on the host's thread after each block, a log kept for the caller); feeds
// its atom inputs sequences with a time:Position and reads its atom outputs;
// saves and restores its state through its state
// interface and loads presets through lilv's preset calls.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace brontal::lv2host {

struct Lv2Options
{
	double dRate = 48000.0;
	int iMaxBlock = 4096;
	// Offer options and bounded block lengths; the URID map is always offered.
	bool bOfferBlockLength = true;
	// Do the plug-in's work after each block; without it, work() does it,
	// and the next block's run hands back the responses.
	bool bWorkAfterEachBlock = true;
};

// A port as lilv reads it from the plug-in's description.
struct PortInfo
{
	std::string symbol;
	std::string name;
	std::vector<std::string> types;      // class URIs
	std::vector<std::string> properties; // lv2:portProperty URIs
	std::string designation;             // empty if none
	float fDefault = 0, fMinimum = 0, fMaximum = 0;
};

class Lv2Plugin
{
public:
	// Plug-ins are found on LV2_PATH. Throws std::runtime_error when the
	// plug-in is not installed or will not instantiate.
	Lv2Plugin(const std::string& uri, const Lv2Options& options);
	Lv2Plugin(const std::string& uri, double dRate, int iMaxBlock);
	~Lv2Plugin();
	Lv2Plugin(const Lv2Plugin&) = delete;
	Lv2Plugin& operator=(const Lv2Plugin&) = delete;

	std::vector<PortInfo> ports() const;
	// What the descriptions lilv loaded say: the objects reached from the
	// subject (a URI) through each predicate in turn, as strings.
	std::vector<std::string> describe(const std::string& subject, const std::vector<std::string>& predicates) const;
	int audioInputs() const;
	int audioOutputs() const;
	// Sets an input control port by its symbol or its name; false if there is none.
	bool setControl(const std::string& symbolOrName, float fValue);
	// An output (or input) control port's value; NaN if there is none.
	float control(const std::string& symbolOrName) const;
	// From the next block on, every block's event input starts with a
	// time:Position holding this tempo; 0 sends none.
	void setTempo(double dTempo);

	// An event for the next block's event inputs, after the time:Position:
	// the atom's type and body as they are.
	void sendEvent(uint32_t uType, const void* pBody, uint32_t uSize);
	// A patch:Set of the property to a path, and a patch:Get of it, for the
	// next block.
	void sendPatchSetPath(const std::string& property, const std::string& path);
	void sendPatchGet(const std::string& property);
	uint32_t map(const std::string& uri);
	// What the plug-in's atom outputs held after the last block: each event's
	// type and body.
	std::vector<std::pair<uint32_t, std::vector<uint8_t>>> outputEvents() const;
	// Every line the plug-in wrote to its log, oldest first.
	std::vector<std::string> logLines() const;
	// Deactivates and activates again, as a host does around a restart.
	void restart();

	// One block of at most iMaxBlock samples, one pointer per audio port,
	// then any work the plug-in scheduled and the work's responses. Neither
	// allocates unless the plug-in's own work does.
	void run(const float* const* ppfIn, float* const* ppfOut, int iCount);
	// The work the plug-in scheduled, as a worker thread does it.
	void work();
	// The mono form: every input reads pfIn, every output writes pfOut.
	void run(const float* pfIn, float* pfOut, int iCount);

	// The value the plug-in's state interface stores under the key, and
	// whether a restore of it was accepted.
	std::vector<unsigned char> saveProperty(const std::string& key);
	bool restoreProperty(const std::string& key, const std::vector<unsigned char>& value);
	// The presets lilv lists for the plug-in: label, then URI.
	std::vector<std::pair<std::string, std::string>> presets() const;
	// Loads a preset through lilv's state calls (ports and properties).
	bool loadPreset(const std::string& uri);

private:
	struct State;
	std::unique_ptr<State> m_state;
};

} // namespace brontal::lv2host
