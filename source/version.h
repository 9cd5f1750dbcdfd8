#pragma once
// Plain macros: the resource script includes this file too.

#define BRONTAL_VERSION_STR "2.0.0.1069"
#define BRONTAL_VERSION_NUMBERS 2, 0, 0, 1069
#define BRONTAL_PRODUCT_NAME "Brontal1 VST"
#define BRONTAL_VENDOR "Brontal Audio - https://brontal.example"
#define BRONTAL_URL "https://brontal.example"
#define BRONTAL_EMAIL "mailto:support@brontal.example"
#define BRONTAL_SDK_VERSION "VST 3.6.5"
