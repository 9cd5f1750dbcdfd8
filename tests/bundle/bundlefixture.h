#pragma once

// What every test through the bundle needs: the module loaded once, like a
// host loads it, and helpers to run audio through an instance.

#include "brontalparams.h"
#include "host/module.h"
#include "host/plugininstance.h"

#include <cmath>
#include <memory>
#include <vector>

namespace bundletest {

namespace host = brontal::host;

inline std::shared_ptr<host::Module> bundle()
{
	static std::shared_ptr<host::Module> module = host::Module::load(BRONTAL_BUNDLE_PATH);
	return module;
}

// An instance with stereo buses, set up and active.
inline std::unique_ptr<host::PluginInstance> activeInstance(double sampleRate = 48000.0, int maxBlock = 1024)
{
	auto instance = std::make_unique<host::PluginInstance>(bundle());
	host::ProcessSetup setup;
	setup.sampleRate = sampleRate;
	setup.maxBlockSize = maxBlock;
	instance->activate(setup);
	return instance;
}

// Two-channel buffers for one run of blocks.
struct Stereo
{
	std::vector<float> left, right;

	explicit Stereo(size_t n = 0, float value = 0.0f) : left(n, value), right(n, value) {}
	size_t size() const { return left.size(); }
};

inline Stereo sine(size_t n, double frequency, double sampleRate, float amplitude)
{
	Stereo s(n);
	for (size_t i = 0; i < n; ++i)
		s.left[i] = s.right[i] =
		    amplitude * static_cast<float>(std::sin(2.0 * M_PI * frequency * static_cast<double>(i) / sampleRate));
	return s;
}

// Runs the input through in blocks of blockSize, setting the given parameters
// in the first block. Returns the output; every block's result must be ok.
Stereo render(host::PluginInstance& instance, const Stereo& input, int blockSize,
              const std::vector<std::pair<Steinberg::Vst::ParamID, double>>& changes = {});

inline float peak(const std::vector<float>& v, size_t from = 0, size_t to = SIZE_MAX)
{
	float p = 0.0f;
	for (size_t i = from; i < std::min(to, v.size()); ++i)
		p = std::max(p, std::fabs(v[i]));
	return p;
}

} // namespace bundletest
