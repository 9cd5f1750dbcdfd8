#include "host/parameters.h"

#include "host/module.h"

#include <algorithm>
#include <cctype>

namespace brontal::host {

namespace {

using namespace Steinberg;
using namespace Steinberg::Vst;

std::string toUtf8(const char16* text)
{
	std::string result;
	for (std::size_t i = 0; i < 128 && text[i]; ++i)
	{
		char32_t c = text[i];
		if (c >= 0xD800 && c < 0xDC00 && i + 1 < 128 && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000)
			c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
		if (c < 0x80)
			result += static_cast<char>(c);
		else if (c < 0x800)
			result += {static_cast<char>(0xC0 | (c >> 6)), static_cast<char>(0x80 | (c & 0x3F))};
		else if (c < 0x10000)
			result += {static_cast<char>(0xE0 | (c >> 12)), static_cast<char>(0x80 | ((c >> 6) & 0x3F)),
			           static_cast<char>(0x80 | (c & 0x3F))};
		else
			result += {static_cast<char>(0xF0 | (c >> 18)), static_cast<char>(0x80 | ((c >> 12) & 0x3F)),
			           static_cast<char>(0x80 | ((c >> 6) & 0x3F)), static_cast<char>(0x80 | (c & 0x3F))};
	}
	return result;
}

bool sameInAnyCase(const std::string& a, const std::string& b)
{
	return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
		       return std::tolower(x) == std::tolower(y);
	       });
}

} // namespace

std::vector<ParamEntry> parameterList(IEditController& controller)
{
	std::vector<ParamEntry> entries;
	for (int32 index = 0; index < controller.getParameterCount(); ++index)
	{
		ParameterInfo info{};
		if (controller.getParameterInfo(index, info) != kResultOk)
			throw HostError("the controller gives no information on parameter index " +
			                std::to_string(index));
		entries.push_back({index, info.id, toUtf8(info.title), info.defaultNormalizedValue, info.flags});
	}
	return entries;
}

const ParamEntry& findParameter(const std::vector<ParamEntry>& entries, const std::string& nameOrId)
{
	const bool isId = nameOrId.find_first_not_of("0123456789") == std::string::npos;
	for (const ParamEntry& entry : entries)
	{
		if (isId ? std::to_string(entry.id) == nameOrId : sameInAnyCase(entry.title, nameOrId))
			return entry;
	}
	throw HostError("unknown parameter '" + nameOrId + "' (see --list-params)");
}

} // namespace brontal::host
