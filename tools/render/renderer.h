#pragma once

// The work of brontal-render: listing parameters and rendering a file.
// Both throw brontal::host::HostError with a one-line message on failure.

#include "options.h"

#include <array>
#include <csignal>
#include <functional>
#include <ostream>

namespace brontal::host {

// Set from a signal handler; a render in progress stops and cleans up.
extern volatile std::sig_atomic_t renderInterrupted;

void listParameters(const Options& options, std::ostream& out);

// What one render measured, for the summary.
struct RenderSummary
{
	std::string input;
	std::string output;
	int inputChannels = 0;
	int sampleRate = 0;
	double duration = 0;       // seconds of audio
	double processingTime = 0; // seconds spent in the plug-in
	std::array<double, 2> peak{};
	std::array<double, 2> rms{};
	std::array<double, 3> ledSeconds{}; // input clip, output clip, compression
};

// Called after every block: frames done so far, frames in the file, its rate.
using ProgressFunction = std::function<void(long long done, long long total, int sampleRate)>;

// Renders options.input to options.output (and options.stateOut). Nothing is
// left at the output paths on failure.
RenderSummary render(const Options& options, const ProgressFunction& progress = {});

// The "key: value" lines of a summary.
void printSummary(const RenderSummary& summary, std::ostream& out);

// "12.000 s, peak L -3.10 R -3.05 dBFS, 81.2x realtime": one file in a batch.
std::string summaryLine(const RenderSummary& summary);

} // namespace brontal::host
