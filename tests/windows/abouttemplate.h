#pragma once
// The About dialog's template as it must be: the controls in creation
// order, as both the resource tests and the live dialog tests expect them.
#include "aboutresource.h"

#include <windows.h>

#include <string>
#include <vector>

namespace brontal::wintest {

// The template's controls in creation order: class, id, position and size
// in dialog units, text in the template and once the dialog is open, and
// style bits each must carry.
struct Expected
{
	const char* szClass;
	int iId;
	RECT dialogUnits; // x, y, width, height
	std::string templateText;
	std::string text;
	LONG uStyle;
};

// The icon control's text names the icon resource instead.
constexpr WORD kIconOrdinal = 107;

inline bool isIcon(const Expected& expected)
{
	return std::string(expected.szClass) == "Static" && (expected.uStyle & SS_TYPEMASK) == SS_ICON;
}

inline const std::vector<Expected>& expectedControls()
{
	static const std::vector<Expected> aControls = {
	    {"Static", -1, {14, 14, 20, 20}, "", "", SS_ICON},
	    {"Static", 1001, {47, 14, 211, 13}, "Brontal2 VST Plugin.", "Brontal2 - VST Plugin version 2.0.0.1069",
	     SS_NOPREFIX},
	    {"Static", -1, {47, 25, 158, 11}, BRONTAL_ABOUT_MAKER_LINE, BRONTAL_ABOUT_MAKER_LINE, 0},
	    // The three notices are wider than laid out at first, which cut them.
	    {"Static", -1, {18, 44, 246, 8}, "VST is a trademark and software of Steinberg Media Technologies Gmbh.",
	     "VST is a trademark and software of Steinberg Media Technologies Gmbh.", 0},
	    {"Static", -1, {17, 54, 247, 8}, "ASIO is a trademark and software of Steinberg Media Technologies Gmbh.",
	     "ASIO is a trademark and software of Steinberg Media Technologies Gmbh.", 0},
	    {"Static", -1, {17, 64, 140, 8}, BRONTAL_ABOUT_TRADE_NAME_LINE, BRONTAL_ABOUT_TRADE_NAME_LINE, 0},
	    // The template's border; dialogs draw it as a client edge.
	    {"Edit", 1004, {15, 83, 240, 100}, "", "", ES_MULTILINE | ES_AUTOHSCROLL | ES_READONLY | WS_TABSTOP},
	    {"Button", 1, {212, 187, 43, 14}, "OK", "OK", BS_DEFPUSHBUTTON | WS_TABSTOP},
	};
	return aControls;
}

} // namespace brontal::wintest
