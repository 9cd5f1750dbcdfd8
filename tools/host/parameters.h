#pragma once

// The parameter list a controller publishes, and finding one of them by
// title or id the way a user names it on a command line.

#include "pluginterfaces/vst/ivsteditcontroller.h"

#include <string>
#include <vector>

namespace brontal::host {

struct ParamEntry
{
	Steinberg::int32 index;
	Steinberg::Vst::ParamID id;
	std::string title; // UTF-8
	double defaultValue;
	Steinberg::int32 flags;
};

// Every parameter, in the controller's index order. Throws HostError when the
// controller refuses an index it counts.
std::vector<ParamEntry> parameterList(Steinberg::Vst::IEditController& controller);

// The entry whose title equals nameOrId in any case, or whose id is the
// decimal number nameOrId. Throws HostError naming the parameter otherwise.
const ParamEntry& findParameter(const std::vector<ParamEntry>& entries, const std::string& nameOrId);

} // namespace brontal::host
