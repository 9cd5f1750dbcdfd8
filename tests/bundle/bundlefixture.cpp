#include "bundlefixture.h"

#include <gtest/gtest.h>

namespace bundletest {

Stereo render(host::PluginInstance& instance, const Stereo& input, int blockSize,
              const std::vector<std::pair<Steinberg::Vst::ParamID, double>>& changes)
{
	Stereo output(input.size());
	for (const auto& [id, value] : changes)
		instance.block().inputChanges().add(id, value);
	for (size_t done = 0; done < input.size(); done += static_cast<size_t>(blockSize))
	{
		const auto n = static_cast<Steinberg::int32>(std::min(input.size() - done, static_cast<size_t>(blockSize)));
		float* in[2] = {const_cast<float*>(&input.left[done]), const_cast<float*>(&input.right[done])};
		float* out[2] = {&output.left[done], &output.right[done]};
		host::AudioBlock block{in, 2, out, 2, n, 0};
		EXPECT_EQ(instance.process(block), Steinberg::kResultOk);
	}
	return output;
}

} // namespace bundletest
