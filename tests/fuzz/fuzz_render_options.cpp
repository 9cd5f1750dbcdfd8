// brontal-render's command line: the input is the argument list, arguments
// separated by NUL bytes.
//
// Invariants: a command line is either refused with a UsageError or gives
// options inside their documented ranges (one INPUT and OUTPUT, or INPUT
// files with a folder, never both); accepted options, written out again in
// their plainest spelling, parse to the same options.

#include "fuzzreader.h"
#include "options.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

using namespace brontal::host;

namespace {

std::string number(double dValue)
{
	char ac[64];
	std::snprintf(ac, sizeof ac, "%.17g", dValue);
	return ac;
}

std::vector<std::string> respell(const Options& options)
{
	std::vector<std::string> args;
	if (options.help)
		args.push_back("--help");
	if (options.listParams)
		args.push_back("--list-params");
	if (options.bypass)
		args.push_back("--bypass");
	if (options.tuner)
		args.push_back("--tuner");
	if (!options.plugin.empty())
		args.insert(args.end(), {"--plugin", options.plugin});
	args.push_back("--block=" + std::to_string(options.blockSize));
	args.push_back("--tempo=" + number(options.tempo));
	for (const ParamSetting& setting : options.settings)
		args.insert(args.end(), {"--set", setting.nameOrId + "=" + number(setting.value)});
	if (!options.preset.empty())
		args.push_back("--preset=" + options.preset);
	if (!options.stateIn.empty())
		args.push_back("--state-in=" + options.stateIn);
	if (!options.stateOut.empty())
		args.push_back("--state-out=" + options.stateOut);
	if (!options.ir.empty())
		args.push_back("--ir=" + options.ir);
	if (!options.ir.empty() || !options.irNormalise)
		args.push_back(std::string("--ir-normalise=") + (options.irNormalise ? "on" : "off"));
	if (!options.ir.empty() || !options.irTrim)
		args.push_back(std::string("--ir-trim=") + (options.irTrim ? "on" : "off"));
	if (!options.outputDir.empty())
		args.insert(args.end(), {"--output-dir", options.outputDir});
	if (options.jobs != 1)
		args.push_back("--jobs=" + std::to_string(options.jobs));
	if (!options.input.empty() || !options.inputs.empty())
		args.push_back("--");
	if (!options.input.empty())
		args.insert(args.end(), {options.input, options.output});
	args.insert(args.end(), options.inputs.begin(), options.inputs.end());
	return args;
}

bool same(const Options& a, const Options& b)
{
	if (a.settings.size() != b.settings.size())
		return false;
	for (size_t i = 0; i < a.settings.size(); ++i)
		if (a.settings[i].nameOrId != b.settings[i].nameOrId || a.settings[i].value != b.settings[i].value)
			return false;
	return a.input == b.input && a.output == b.output && a.inputs == b.inputs && a.outputDir == b.outputDir &&
	       a.jobs == b.jobs && a.plugin == b.plugin && a.blockSize == b.blockSize && a.tempo == b.tempo &&
	       a.preset == b.preset && a.stateIn == b.stateIn && a.stateOut == b.stateOut && a.ir == b.ir &&
	       a.irNormalise == b.irNormalise && a.irTrim == b.irTrim && a.bypass == b.bypass && a.tuner == b.tuner &&
	       a.listParams == b.listParams && a.help == b.help;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
	std::vector<std::string> args(1);
	for (size_t i = 0; i < nSize; ++i)
		if (pData[i] == 0)
			args.emplace_back();
		else
			args.back() += static_cast<char>(pData[i]);

	Options options;
	try
	{
		options = parseOptions(args);
	}
	catch (const UsageError&)
	{
		return 0;
	}
	if (!options.help)
	{
		FUZZ_CHECK(options.blockSize >= 1 && options.blockSize <= kMaxBlockSize, "block size %d", options.blockSize);
		FUZZ_CHECK(std::isfinite(options.tempo) && options.tempo > 0.0 && options.tempo <= 1000.0, "tempo %g",
		           options.tempo);
		for (const ParamSetting& setting : options.settings)
			FUZZ_CHECK(!setting.nameOrId.empty() && setting.value >= 0.0 && setting.value <= 1.0,
			           "setting '%s' = %g", setting.nameOrId.c_str(), setting.value);
		FUZZ_CHECK(options.jobs >= 1 && options.jobs <= kMaxJobs, "%d jobs", options.jobs);
		const bool bOne = !options.input.empty() && !options.output.empty() && options.inputs.empty();
		const bool bMany = !options.outputDir.empty() && !options.inputs.empty() && options.input.empty() &&
		                   std::none_of(options.inputs.begin(), options.inputs.end(),
		                                [](const std::string& input) { return input.empty(); });
		const bool bNone = options.input.empty() && options.inputs.empty();
		FUZZ_CHECK(options.listParams ? bNone : bOne != bMany, "files and folders do not add up");
		FUZZ_CHECK(options.listParams || options.preset.empty() || options.stateIn.empty(), "a preset and a state");
		FUZZ_CHECK(!bMany || options.stateOut.empty(), "--state-out with many files");
		FUZZ_CHECK(options.listParams || !options.ir.empty() || (options.irNormalise && options.irTrim),
		           "impulse-response settings without --ir");
		FUZZ_CHECK(bMany || options.listParams || options.jobs == 1, "jobs without a folder");
		FUZZ_CHECK(!bMany || !options.tuner, "tuner readings of many files");
	}
	Options again;
	try
	{
		again = parseOptions(respell(options));
	}
	catch (const UsageError& error)
	{
		brontal::fuzz::fail("accepted options written out again are refused: %s", error.what());
	}
	FUZZ_CHECK(same(options, again), "accepted options written out again parse differently");
	return 0;
}
