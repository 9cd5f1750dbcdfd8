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

// The tuner's readings as the host was told them at the end of a block.
struct TunerLine
{
	double time = 0; // seconds from the start of the file
	int note = 0;    // MIDI number, 69 = A at the reference
	double cents = 0;
	bool held = false;
};

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
	std::vector<TunerLine> tuner;       // with --tuner: each change of the readings
};

// Called after every block: frames done so far, frames in the file, its rate.
using ProgressFunction = std::function<void(long long done, long long total, int sampleRate)>;

// Renders options.input to options.output (and options.stateOut). Nothing is
// left at the output paths on failure.
RenderSummary render(const Options& options, const ProgressFunction& progress = {});

// "C#4": a MIDI note's name and octave.
std::string noteName(int note);

// The "key: value" lines of a summary, after the tuner's lines if any.
void printSummary(const RenderSummary& summary, std::ostream& out);

// "12.000 s, peak L -3.10 R -3.05 dBFS, 81.2x realtime": one file in a batch.
std::string summaryLine(const RenderSummary& summary);

} // namespace brontal::host
