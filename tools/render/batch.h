#pragma once

// brontal-render with many inputs and an output folder.

#include "options.h"

namespace brontal::host {

// Renders every file of options.inputs into options.outputDir under its own
// name, up to options.jobs at once, each in a process of its own, so one
// file's failure or crash leaves the others alone. Prints one line per file
// (on a terminal, a line that shows the file's progress until it is done)
// and each failure on the standard error stream. Returns the exit status:
// 0 when every file was rendered, 1 otherwise. Throws HostError when the
// output folder cannot be made.
int renderBatch(const Options& options);

} // namespace brontal::host
