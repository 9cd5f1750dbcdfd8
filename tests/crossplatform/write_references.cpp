// Renders the demo riff through the Linux bundle at each rate of the
// comparison and writes the raw output (little-endian float32, interleaved
// stereo) into the directory given, for the Windows suite to compare with.
#include "riffrender.h"

#include <gtest/gtest.h>

#include <cstdio>

int main(int argc, char** argv)
{
	if (argc != 2)
	{
		std::fprintf(stderr, "usage: write_references DIRECTORY\n");
		return 2;
	}
	for (double dRate : crossplatform::kRates)
	{
		const std::vector<float> output = crossplatform::renderRiff(dRate);
		const std::string path = std::string(argv[1]) + "/" + crossplatform::referenceName(dRate);
		std::ofstream file(path, std::ios::binary);
		file.write(reinterpret_cast<const char*>(output.data()), std::streamsize(output.size() * sizeof(float)));
		if (output.empty() || !file)
		{
			std::fprintf(stderr, "cannot write %s\n", path.c_str());
			return 1;
		}
	}
	// A state with a cabinet response, saved here, and the riff through it.
	const std::vector<char> state = crossplatform::cabinetState();
	std::ofstream(std::string(argv[1]) + "/" + crossplatform::kCabinetStateName, std::ios::binary)
	    .write(state.data(), std::streamsize(state.size()));
	const std::vector<float> output = crossplatform::renderRiff(crossplatform::kCabinetRate, &state);
	const std::string path = std::string(argv[1]) + "/" + crossplatform::kCabinetRenderName;
	std::ofstream file(path, std::ios::binary);
	file.write(reinterpret_cast<const char*>(output.data()), std::streamsize(output.size() * sizeof(float)));
	if (state.size() < 100000 || output.empty() || !file)
	{
		std::fprintf(stderr, "cannot write %s\n", path.c_str());
		return 1;
	}
	return 0;
}
