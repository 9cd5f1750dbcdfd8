// brontal-live: the Brontal plug-in played live, without a DAW.

#include "app.h"
#include "options.h"

#include <csignal>
#include <iostream>

using namespace brontal::live;

namespace {

void onSignal(int)
{
	quitRequested = 1;
}

} // namespace

int main(int argc, char** argv)
{
	struct sigaction action = {};
	action.sa_handler = onSignal;
	for (int signalNumber : {SIGINT, SIGTERM, SIGHUP})
		sigaction(signalNumber, &action, nullptr);
	try
	{
		const Options options = parseOptions(std::vector<std::string>(argv + 1, argv + argc));
		if (options.help)
		{
			std::cout << usageText();
			return 0;
		}
		return runApplication(options, std::cout, std::cerr);
	}
	catch (const UsageError& error)
	{
		std::cerr << "brontal-live: " << error.what() << std::endl;
		return 2;
	}
	catch (const std::exception& error)
	{
		std::cerr << "brontal-live: " << error.what() << std::endl;
		return 1;
	}
}
