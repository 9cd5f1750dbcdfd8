// brontal-live: the Brontal plug-in played live, without a DAW.

#include "app.h"
#include "options.h"
#include "platform.h"

#include <iostream>

using namespace brontal::live;

int main(int argc, char** argv)
{
	installQuitHandler([] { quitRequested = 1; });
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
