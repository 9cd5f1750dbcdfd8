// The Windows module sounds like the Linux module: the demo riff through
// both at 44.1 and 48 kHz, default settings, compared sample for sample with
// the Linux build's render (made by write_references in that build).
#include "riffrender.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

namespace {

std::vector<float> readReference(const std::string& path)
{
	std::ifstream file(path, std::ios::binary);
	std::vector<float> samples;
	float fValue;
	while (file.read(reinterpret_cast<char*>(&fValue), sizeof(fValue)))
		samples.push_back(fValue);
	return samples;
}

} // namespace

TEST(LinuxMatch, DemoRiffEqualsTheLinuxRenderWithin120Decibels)
{
	for (double dRate : crossplatform::kRates)
	{
		SCOPED_TRACE(dRate);
		const std::string path = std::string(BRONTAL_LINUX_REFERENCE_DIR) + "/" + crossplatform::referenceName(dRate);
		const std::vector<float> linux = readReference(path);
		ASSERT_FALSE(linux.empty()) << "no Linux render at " << path << " (build the Linux tree first)";
		const std::vector<float> windows = crossplatform::renderRiff(dRate);
		ASSERT_EQ(windows.size(), linux.size());

		double dSignal = 0.0, dError = 0.0, dPeakError = 0.0;
		std::size_t uDiffering = 0;
		for (std::size_t i = 0; i < linux.size(); ++i)
		{
			const double dDiff = double(windows[i]) - double(linux[i]);
			dSignal += double(linux[i]) * double(linux[i]);
			dError += dDiff * dDiff;
			dPeakError = std::max(dPeakError, std::fabs(dDiff));
			uDiffering += windows[i] != linux[i];
		}
		ASSERT_GT(dSignal, 1.0) << "the render is silent";
		const double dDb = dError > 0.0 ? 10.0 * std::log10(dError / dSignal) : -INFINITY;
		std::printf("%.0f Hz: difference %.1f dB relative to the signal, peak %.3g, %zu of %zu samples differ\n",
		            dRate, dDb, dPeakError, uDiffering, linux.size());
		EXPECT_LE(dDb, -120.0);
	}
}
