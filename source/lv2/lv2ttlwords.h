#pragma once

// How the table's rows are written in the LV2 descriptions: port names,
// symbols and numbers. The descriptions and the presets use the same words.

#include "lv2/lv2ports.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace brontal::lv2 {

inline std::string Utf8(const char16_t* wsz)
{
	std::string s;
	for (; *wsz; ++wsz)
	{
		const unsigned u = *wsz;
		if (u < 0x80)
			s += static_cast<char>(u);
		else if (u < 0x800)
			s += {static_cast<char>(0xc0 | (u >> 6)), static_cast<char>(0x80 | (u & 0x3f))};
		else
			s += {static_cast<char>(0xe0 | (u >> 12)), static_cast<char>(0x80 | ((u >> 6) & 0x3f)),
			      static_cast<char>(0x80 | (u & 0x3f))};
	}
	return s;
}

// The VST 3 title; the host's bypass is published the other way round.
inline std::string PortName(const ParamDef& def)
{
	return IsEnabledPort(def) ? "Enabled" : Utf8(def.wszTitle);
}

// The text in lower case, every run of other characters one underscore:
// "Gate/Compressor ON OFF" is gate_compressor_on_off.
inline std::string Slug(const std::string& sText)
{
	std::string sSymbol;
	bool bGap = false;
	for (const char c : sText)
	{
		const bool bWord = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
		if (!bWord)
		{
			bGap = !sSymbol.empty();
			continue;
		}
		if (bGap)
			sSymbol += '_';
		bGap = false;
		sSymbol += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
	}
	if (sSymbol.empty() || (sSymbol[0] >= '0' && sSymbol[0] <= '9'))
		sSymbol = "p" + sSymbol;
	return sSymbol;
}

inline std::string PortSymbol(const ParamDef& def)
{
	return Slug(PortName(def));
}

// The shortest decimal that reads back as the same float, always with a
// point, so that Turtle reads it as a decimal.
inline std::string Decimal(float fValue)
{
	char sz[32];
	for (int iDigits = 1; iDigits <= 9; ++iDigits)
	{
		std::snprintf(sz, sizeof sz, "%.*g", iDigits, static_cast<double>(fValue));
		if (std::strtof(sz, nullptr) == fValue)
			break;
	}
	std::string s = sz;
	if (s.find_first_of(".e") == std::string::npos)
		s += ".0";
	return s;
}

} // namespace brontal::lv2
