#pragma once

// A small LV2 host for the benchmark's side-by-side figure: loads one
// plug-in by URI through lilv and runs it on mono blocks, giving it the
// features it asks for (URID map, options with the block length and rate,
// bounded block length, a worker run on the host's thread after each block)
// so that all of it, cabinet included, does its work.

#include <memory>
#include <string>

namespace brontal::bench {

class Lv2Plugin
{
public:
	// Throws std::runtime_error when the plug-in is not installed or will
	// not instantiate.
	Lv2Plugin(const std::string& uri, double dRate, int iMaxBlock);
	~Lv2Plugin();
	Lv2Plugin(const Lv2Plugin&) = delete;
	Lv2Plugin& operator=(const Lv2Plugin&) = delete;

	// Sets an input control port by its symbol; false if there is none.
	bool setControl(const std::string& symbol, float fValue);
	// One block of at most iMaxBlock samples, then any work the plug-in
	// scheduled.
	void run(const float* pfIn, float* pfOut, int iCount);

private:
	struct State;
	std::unique_ptr<State> m_state;
};

} // namespace brontal::bench
