// brontal-render: renders audio files through the Brontal VST 3 bundle.

#include "batch.h"
#include "options.h"
#include "renderer.h"

#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <iostream>
#include <string>

using namespace brontal::host;

namespace {

void onSignal(int)
{
	renderInterrupted = 1;
}

int fail(const std::string& message, int status)
{
	std::cout.flush();
	std::fprintf(stderr, "brontal-render: %s\n", escapeControls(message).c_str());
	return status;
}

// A bar on the terminal while a file of 30 s or more renders.
class ProgressBar
{
public:
	void update(long long done, long long total, int sampleRate)
	{
		if (!enabled || total < 30LL * sampleRate)
			return;
		const int percent = static_cast<int>(100 * done / total);
		if (percent == shown)
			return;
		shown = percent;
		const int filled = percent * kWidth / 100;
		std::fprintf(stderr, "\rrendering [%s%s] %3d%%", std::string(filled, '#').c_str(),
		             std::string(kWidth - filled, '.').c_str(), percent);
	}

	~ProgressBar()
	{
		if (shown >= 0)
			std::fprintf(stderr, "\r%*s\r", kWidth + 20, "");
	}

private:
	static constexpr int kWidth = 40;
	bool enabled = isatty(STDERR_FILENO);
	int shown = -1;
};

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
			std::cout << usageText();
		else if (options.listParams)
			listParameters(options, std::cout);
		else if (!options.outputDir.empty())
			return renderBatch(options);
		else
		{
			RenderSummary summary;
			{
				ProgressBar bar;
				summary = render(options, [&bar](long long done, long long total, int rate) {
					bar.update(done, total, rate);
				});
			}
			printSummary(summary, std::cout);
		}
		return 0;
	}
	catch (const UsageError& error)
	{
		return fail(error.what(), 2);
	}
	catch (const std::exception& error)
	{
		return fail(error.what(), 1);
	}
}
