// The Windows module sounds like the Linux module: the demo riff through
// both at 44.1 and 48 kHz, default settings, compared sample for sample with
// the Linux build's render (made by write_references in that build); and a
// state with a cabinet response saved by the Linux module, loaded here with
// no file anywhere, renders the riff as the Linux module did.
#include "riffrender.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <iterator>

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

// The difference of two renders relative to the first's signal, in dB.
double differenceDb(const std::vector<float>& linux, const std::vector<float>& windows)
{
	double dSignal = 0.0, dError = 0.0;
	for (std::size_t i = 0; i < linux.size(); ++i)
	{
		const double dDiff = double(windows[i]) - double(linux[i]);
		dSignal += double(linux[i]) * double(linux[i]);
		dError += dDiff * dDiff;
	}
	EXPECT_GT(dSignal, 1.0) << "the render is silent";
	return dError > 0.0 ? 10.0 * std::log10(dError / dSignal) : -INFINITY;
}

} // namespace

TEST(LinuxMatch, CabinetStateFromLinuxRendersTheSameWithin100Decibels)
{
	const std::string dir = std::string(BRONTAL_LINUX_REFERENCE_DIR) + "/";
	std::ifstream file(dir + crossplatform::kCabinetStateName, std::ios::binary);
	const std::vector<char> state((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
	ASSERT_GT(state.size(), 100000u) << "no Linux state at " << dir << " (build the Linux tree first)";
	const std::vector<float> linux = readReference(dir + crossplatform::kCabinetRenderName);
	const std::vector<float> windows = crossplatform::renderRiff(crossplatform::kCabinetRate, &state);
	ASSERT_EQ(windows.size(), linux.size());
	const double dDb = differenceDb(linux, windows);
	std::printf("cabinet state from Linux: difference %.1f dB relative to the signal\n", dDb);
	EXPECT_LE(dDb, -100.0);
	EXPECT_NE(windows, crossplatform::renderRiff(crossplatform::kCabinetRate));
}

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
