#pragma once
// Resource ids and fixed texts of the About box, shared by the code and the
// resource script (so: plain macros only).

#define IDD_ABOUT 103
#define IDI_PRODUCT 107
#define IDC_VERSION_TEXT 1001
#define IDC_INFO_TEXT 1004

#define BRONTAL_ABOUT_TITLE "About Brontal2"
// Shown until the dialog replaces it with the version line.
#define BRONTAL_ABOUT_VERSION_PLACEHOLDER "Brontal2 VST Plugin."
#define BRONTAL_ABOUT_MAKER_LINE "Brontal Audio - https://brontal.example/"
#define BRONTAL_ABOUT_VST_LINE "VST is a trademark and software of Steinberg Media Technologies Gmbh."
#define BRONTAL_ABOUT_ASIO_LINE "ASIO is a trademark and software of Steinberg Media Technologies Gmbh."
#define BRONTAL_ABOUT_TRADE_NAME_LINE "Brontal is a trade name of Brontal Audio."
