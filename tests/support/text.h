// Text between the test programs' UTF-8 and the platform's UTF-16, and on
// Windows the texts a person reads on the screen.
#pragma once

#include <string>

#include "platform/platform.h"

using Text = std::basic_string<WCHAR>;

Text T(const std::string& utf8);
std::string ToUtf8(const Text& text);
std::string OneLine(const Text& text);  // line breaks shown as "\n"

#ifdef _WIN32
Text TextOf(HWND window);  // through WM_GETTEXT, which the system carries across processes
// A message box on one line: "CAPTION" icon NAME[ owned] buttons ID[*]... text: TEXT,
// the icon named by `iconOf` ("none" when the box shows none), * on the default button.
std::string DescribeBox(HWND box, std::string (*iconOf)(HWND));
#endif
