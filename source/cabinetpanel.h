#pragma once

// Where the cabinet's section sits in the panel's lower band, as
// {left, top, right, bottom}. tools/gen_art.py reads these lines to draw
// the section's window and buttons under the editor's text.

namespace brontal::cabinetpanel {

constexpr int kDisplay[4] = {246, 546, 700, 568};
constexpr int kLoad[4] = {710, 544, 786, 570};
constexpr int kPrevious[4] = {792, 544, 822, 570};
constexpr int kNext[4] = {826, 544, 856, 570};
constexpr int kBuiltIn[4] = {862, 544, 940, 570};
constexpr int kMessage[4] = {246, 572, 940, 586};
// The editor's inks there (0xRRGGBB): the response's name, the buttons' labels, a failure.
constexpr unsigned kDisplayInk = 0x78dcf0;
constexpr unsigned kButtonInk = 0xe2e8f4;
constexpr unsigned kMessageInk = 0xffa05a;

} // namespace brontal::cabinetpanel
