#pragma once

// The work of brontal-render: listing parameters and rendering a file.
// Both throw brontal::host::HostError with a one-line message on failure.

#include "options.h"

#include <csignal>
#include <ostream>

namespace brontal::host {

// Set from a signal handler; a render in progress stops and cleans up.
extern volatile std::sig_atomic_t renderInterrupted;

void listParameters(const Options& options, std::ostream& out);

// Renders options.input to options.output (and options.stateOut) and prints
// the summary to out. Nothing is left at the output paths on failure.
void render(const Options& options, std::ostream& out);

} // namespace brontal::host
