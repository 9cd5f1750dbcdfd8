#include "options.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace brontal::host {

namespace {

// Whole-string decimal number; rejects empty text, trailing characters,
// infinities and NaN.
std::optional<double> parseNumber(const std::string& text)
{
	if (text.empty() || std::isspace(static_cast<unsigned char>(text.front())))
		return std::nullopt;
	errno = 0;
	char* end = nullptr;
	const double value = std::strtod(text.c_str(), &end);
	if (errno != 0 || end != text.c_str() + text.size() || !std::isfinite(value))
		return std::nullopt;
	return value;
}

int parseBlockSize(const std::string& text)
{
	const bool digits = !text.empty() && text.size() <= 5 &&
	                    text.find_first_not_of("0123456789") == std::string::npos;
	const int value = digits ? std::stoi(text) : 0;
	if (value < 1 || value > kMaxBlockSize)
		throw UsageError("--block needs a whole number from 1 to " + std::to_string(kMaxBlockSize) +
		                 ", not '" + text + "'");
	return value;
}

int parseJobs(const std::string& text)
{
	const bool digits = !text.empty() && text.size() <= 3 &&
	                    text.find_first_not_of("0123456789") == std::string::npos;
	const int value = digits ? std::stoi(text) : 0;
	if (value < 1 || value > kMaxJobs)
		throw UsageError("-j needs a whole number of parallel renders from 1 to " + std::to_string(kMaxJobs) +
		                 ", not '" + text + "'");
	return value;
}

double parseTempo(const std::string& text)
{
	const std::optional<double> value = parseNumber(text);
	if (!value || *value <= 0.0 || *value > 1000.0)
		throw UsageError("--tempo needs a number of beats per minute above 0 and up to 1000, not '" +
		                 text + "'");
	return *value;
}

ParamSetting parseSetting(const std::string& text)
{
	const std::size_t equals = text.rfind('=');
	if (equals == std::string::npos || equals == 0)
		throw UsageError("--set needs NAME_OR_ID=VALUE, not '" + text + "'");
	ParamSetting setting{text.substr(0, equals), 0.0};
	const std::string valueText = text.substr(equals + 1);
	const std::optional<double> value = parseNumber(valueText);
	if (!value)
		throw UsageError("--set " + setting.nameOrId + ": '" + valueText + "' is not a number");
	if (*value < 0.0 || *value > 1.0)
		throw UsageError("--set " + setting.nameOrId + ": " + valueText +
		                 " is outside the normalised range 0..1");
	setting.value = *value;
	return setting;
}

} // namespace

std::string escapeControls(const std::string& text)
{
	static const char hex[] = "0123456789abcdef";
	std::string out;
	for (const char c : text)
	{
		const auto u = static_cast<unsigned char>(c);
		if (u < 0x20 || u == 0x7f)
			out += std::string("\\x") + hex[u >> 4] + hex[u & 15];
		else
			out += c;
	}
	return out;
}

const char* usageText()
{
	return "Usage: brontal-render [options] INPUT OUTPUT\n"
	       "       brontal-render [options] [-j N] -o DIR INPUT...\n"
	       "       brontal-render [--plugin PATH] --list-params\n"
	       "Renders audio files (WAV, FLAC or AIFF) through the Brontal VST 3 plug-in.\n"
	       "The output format follows OUTPUT's extension (.wav, .flac, .aif, .aiff);\n"
	       "with -o each input is written to DIR under its own name.\n"
	       "\n"
	       "Options:\n"
	       "  --plugin PATH           bundle (NAME.vst3) or .so to load\n"
	       "  --block N               block size in samples, 1..8192 (default 512)\n"
	       "  --tempo BPM             host tempo (default 120)\n"
	       "  --set NAME_OR_ID=VALUE  set a parameter (title or id) to a normalised\n"
	       "                          value 0..1; repeatable; applied after a preset\n"
	       "  --preset FILE           load a VST 3 preset (.vstpreset) before rendering\n"
	       "  --state-in FILE         load a processor state record before rendering\n"
	       "  --state-out FILE        save the processor state record after rendering\n"
	       "  --ir FILE               use the cabinet impulse response in FILE (WAV)\n"
	       "  --ir-normalise on|off   match its loudness to the built-in cabinet (default on)\n"
	       "  --ir-trim on|off        drop its leading silence (default on)\n"
	       "  --bypass                render with the plug-in bypassed\n"
	       "  --tuner                 switch the tuner on (the output is muted) and\n"
	       "                          print its readings: time, note, cents, held\n"
	       "  -o, --output-dir DIR    render every INPUT into DIR, keeping its name\n"
	       "  -j, --jobs N            with -o: render up to N files at once (default 1)\n"
	       "  --list-params           list the parameters and exit\n"
	       "  --help                  show this text and exit\n";
}

Options parseOptions(const std::vector<std::string>& args)
{
	Options options;
	std::vector<std::string> operands;
	bool seenBlock = false, seenTempo = false, seenPlugin = false;
	bool seenStateIn = false, seenStateOut = false;

	bool seenOutputDir = false, seenJobs = false, seenPreset = false;
	bool seenIr = false, seenIrNormalise = false, seenIrTrim = false;
	auto onOff = [](const std::string& name, const std::string& text) {
		if (text == "on")
			return true;
		if (text == "off")
			return false;
		throw UsageError(name + " takes on or off, not '" + text + "'");
	};
	for (std::size_t i = 0; i < args.size(); ++i)
	{
		std::string arg = args[i];
		// -o DIR, -oDIR, -j N and -jN are --output-dir and --jobs.
		if (arg.size() >= 2 && arg[0] == '-' && (arg[1] == 'o' || arg[1] == 'j'))
		{
			const std::string longName = arg[1] == 'o' ? "--output-dir" : "--jobs";
			arg = arg.size() > 2 ? longName + "=" + arg.substr(2) : longName;
		}
		if (arg == "--")
		{
			operands.insert(operands.end(), args.begin() + static_cast<long>(i) + 1, args.end());
			break;
		}
		if (arg.size() < 2 || arg.compare(0, 2, "--") != 0)
		{
			if (arg.size() > 1 && arg[0] == '-')
				throw UsageError("unknown option '" + arg + "' (see --help)");
			operands.push_back(arg);
			continue;
		}

		const std::size_t equals = arg.find('=');
		const std::string name = arg.substr(0, equals);
		std::optional<std::string> inlineValue;
		if (equals != std::string::npos)
			inlineValue = arg.substr(equals + 1);

		auto flag = [&](bool& target) {
			if (inlineValue)
				throw UsageError(name + " takes no value");
			if (target)
				throw UsageError(name + " given twice");
			target = true;
		};
		auto value = [&](bool* seen) -> std::string {
			if (seen)
			{
				if (*seen)
					throw UsageError(name + " given twice");
				*seen = true;
			}
			if (inlineValue)
				return *inlineValue;
			if (i + 1 >= args.size())
				throw UsageError(name + " needs a value");
			return args[++i];
		};

		if (name == "--help")
			flag(options.help);
		else if (name == "--list-params")
			flag(options.listParams);
		else if (name == "--bypass")
			flag(options.bypass);
		else if (name == "--tuner")
			flag(options.tuner);
		else if (name == "--plugin")
			options.plugin = value(&seenPlugin);
		else if (name == "--block")
			options.blockSize = parseBlockSize(value(&seenBlock));
		else if (name == "--tempo")
			options.tempo = parseTempo(value(&seenTempo));
		else if (name == "--set")
			options.settings.push_back(parseSetting(value(nullptr)));
		else if (name == "--output-dir")
			options.outputDir = value(&seenOutputDir);
		else if (name == "--jobs")
			options.jobs = parseJobs(value(&seenJobs));
		else if (name == "--preset")
			options.preset = value(&seenPreset);
		else if (name == "--state-in")
			options.stateIn = value(&seenStateIn);
		else if (name == "--state-out")
			options.stateOut = value(&seenStateOut);
		else if (name == "--ir")
			options.ir = value(&seenIr);
		else if (name == "--ir-normalise")
			options.irNormalise = onOff(name, value(&seenIrNormalise));
		else if (name == "--ir-trim")
			options.irTrim = onOff(name, value(&seenIrTrim));
		else
			throw UsageError("unknown option '" + name + "' (see --help)");
	}

	if (options.help)
		return options;
	if (options.plugin.empty() && seenPlugin)
		throw UsageError("--plugin needs a path");
	if (options.listParams)
	{
		if (!operands.empty())
			throw UsageError("--list-params takes no INPUT or OUTPUT");
		return options;
	}
	if ((seenStateIn && options.stateIn.empty()) || (seenStateOut && options.stateOut.empty()))
		throw UsageError("--state-in and --state-out need a file name");
	if (seenIr && options.ir.empty())
		throw UsageError("--ir needs a file name");
	if ((seenIrNormalise || seenIrTrim) && !seenIr)
		throw UsageError("--ir-normalise and --ir-trim need --ir");
	if (seenPreset && options.preset.empty())
		throw UsageError("--preset needs a file name");
	if (seenPreset && seenStateIn)
		throw UsageError("--preset and --state-in both load a state; give one of them");
	if (seenOutputDir)
	{
		if (options.outputDir.empty())
			throw UsageError("-o needs a folder");
		if (seenStateOut)
			throw UsageError("--state-out saves one state and cannot be used with -o");
		if (options.tuner)
			throw UsageError("--tuner prints one file's readings and cannot be used with -o");
		if (operands.empty())
			throw UsageError("-o needs at least one INPUT file");
		for (const std::string& operand : operands)
		{
			if (operand.empty())
				throw UsageError("INPUT must not be empty");
		}
		options.inputs = operands;
		return options;
	}
	if (seenJobs)
		throw UsageError("-j renders many files at once and needs -o DIR");
	if (operands.size() != 2)
		throw UsageError("expected INPUT and OUTPUT files, got " + std::to_string(operands.size()) +
		                 " operand(s) (see --help)");
	options.input = operands[0];
	options.output = operands[1];
	if (options.input.empty() || options.output.empty())
		throw UsageError("INPUT and OUTPUT must not be empty");
	return options;
}

} // namespace brontal::host
