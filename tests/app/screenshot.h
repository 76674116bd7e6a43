// Saves part of the screen as a 24-bit BMP file, as an artifact of a test run.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Copies the screen rectangle (screen coordinates) into a BMP file.
bool SaveScreenRect(const RECT& rect, const std::wstring& path);

// The screen rectangle's pixels, row by row from the top.
std::vector<COLORREF> CaptureScreen(const RECT& rect);
