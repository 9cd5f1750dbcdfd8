#pragma once

// The application without its window: settings and command line merged,
// the bundle loaded, the last state restored, the device opened, played,
// watched (a lost device, a changed format) and, at the end, the state and
// settings saved before the device stops.

#include "options.h"

#include <csignal>
#include <ostream>

namespace brontal::live {

// Set from a signal handler: the application saves and quits.
extern volatile std::sig_atomic_t quitRequested;

// Returns the exit status; messages go to err, the device's figures to out.
int runApplication(const Options& options, std::ostream& out, std::ostream& err);

} // namespace brontal::live
