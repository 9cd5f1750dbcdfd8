#include "options.h"

#include <cerrno>
#include <climits>
#include <cctype>
#include <cstdlib>

namespace brontal::live {

namespace {

int parseNumber(const std::string& name, const std::string& text)
{
	errno = 0;
	char* end = nullptr;
	const long value = std::strtol(text.c_str(), &end, 10);
	if (text.empty() || *end != '\0' || errno == ERANGE || value < INT_MIN || value > INT_MAX ||
	    !(std::isdigit(static_cast<unsigned char>(text[0])) || text[0] == '-'))
		throw UsageError(name + " needs a whole number, not '" + text + "'");
	return static_cast<int>(value);
}

// "2" or "1,2", counted from 1 on the command line and from 0 inside.
std::vector<int> parseChannels(const std::string& name, const std::string& text)
{
	std::vector<int> channels;
	std::size_t start = 0;
	while (true)
	{
		const std::size_t comma = text.find(',', start);
		const int channel = parseNumber(name, text.substr(start, comma - start));
		if (channel < 1)
			throw UsageError(name + " counts channels from 1, not '" + text + "'");
		channels.push_back(channel - 1);
		if (comma == std::string::npos)
			break;
		start = comma + 1;
	}
	if (channels.size() > 2)
		throw UsageError(name + " takes one channel or a pair, not '" + text + "'");
	return channels;
}

} // namespace

const char* usageText()
{
	return "usage: brontal-live [OPTIONS]\n"
	       "Plays the Brontal plug-in live through an audio interface.\n"
	       "  --backend NAME     audio back end (--list-devices shows those built in)\n"
	       "  --device NAME      device of the back end (JACK: the server name; ALSA: a PCM name)\n"
	       "  --input N|N,M      input channel of the guitar, or a stereo pair (from 1; default 1)\n"
	       "  --output L,R       output channels (default 1,2)\n"
	       "  --rate HZ          sample rate (8000 to 384000; a JACK server keeps its own)\n"
	       "  --period FRAMES    frames per period (16 to 8192; the device may take the nearest it can)\n"
	       "  --midi PORT        MIDI source to connect (JACK: a port; ALSA: a sequencer port, CLIENT:PORT;\n"
	       "                     Windows: a MIDI input by name; --list-devices lists them)\n"
	       "  --preset FILE|NAME load a .vstpreset file, or a factory or user preset by name\n"
	       "  --state FILE       load a component state saved by a host or brontal-render --state-out\n"
	       "  --plugin PATH      the brontal1.vst3 bundle to host\n"
	       "  --no-gui           run without a window (quit with Ctrl+C or SIGTERM)\n"
	       "  --seconds N        play N seconds of audio (counted in periods played), then save and quit\n"
	       "  --list-devices     list the back ends and their devices, then quit\n"
	       "  --help             this text\n"
	       "Choices are kept in live.json with the last plug-in state, in the folder\n"
	       "$XDG_CONFIG_HOME/brontal (Linux) or %APPDATA%\\Brontal (Windows).\n";
}

Options parseOptions(const std::vector<std::string>& args)
{
	Options options;
	for (std::size_t i = 0; i < args.size(); ++i)
	{
		const std::string& name = args[i];
		auto value = [&]() -> const std::string& {
			if (i + 1 >= args.size())
				throw UsageError(name + " needs a value");
			return args[++i];
		};
		if (name == "--backend")
			options.backend = value();
		else if (name == "--device")
			options.device = value();
		else if (name == "--input")
			options.inputs = parseChannels(name, value());
		else if (name == "--output")
			options.outputs = parseChannels(name, value());
		else if (name == "--rate")
			options.sampleRate = parseNumber(name, value());
		else if (name == "--period")
			options.period = parseNumber(name, value());
		else if (name == "--midi")
			options.midiPort = value();
		else if (name == "--preset")
			options.preset = value();
		else if (name == "--state")
			options.state = value();
		else if (name == "--plugin")
			options.plugin = value();
		else if (name == "--seconds")
		{
			options.seconds = parseNumber(name, value());
			if (options.seconds < 1)
				throw UsageError("--seconds needs at least 1, not " + std::to_string(options.seconds));
		}
		else if (name == "--no-gui")
			options.noGui = true;
		else if (name == "--list-devices")
			options.listDevices = true;
		else if (name == "--help" || name == "-h")
			options.help = true;
		else
			throw UsageError("unknown option '" + name + "' (see --help)");
	}
	return options;
}

} // namespace brontal::live
