// Saves part of the screen as a 24-bit BMP file, as an artifact of a test run.
#pragma once

#include <windows.h>

#include <string>

// Copies the screen rectangle (screen coordinates) into a BMP file.
bool SaveScreenRect(const RECT& rect, const std::wstring& path);
