// Finding and reading the windows of another process, with bounded waits.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

// How long any single wait for the program under test may take.
constexpr DWORD kWaitMs = 20000;

// Polls until the condition holds or the time is up; returns the last answer.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs = kWaitMs);

// The process's top-level windows of a class, and with a caption when one is
// given, in Z order.
std::vector<HWND> TopLevelWindows(DWORD processId, const wchar_t* className,
                                  const wchar_t* caption = nullptr);

// Waits for one such window to exist; null when none appeared in time.
HWND WaitForTopLevelWindow(DWORD processId, const wchar_t* className,
                           const wchar_t* caption = nullptr, DWORD timeoutMs = kWaitMs);

// All descendants, in the order EnumChildWindows gives them.
std::vector<HWND> Descendants(HWND parent);

std::wstring ClassOf(HWND window);

// The window's text through WM_GETTEXT, which the system carries across
// processes; empty when the owner does not answer in time.
std::wstring TextOf(HWND window);

// The window's rectangle in its parent's client coordinates.
RECT RectInParent(HWND child);

// Waits until the owning thread has handled a sent message, i.e. is taking
// messages again; false when it did not in time.
bool Responds(HWND window, DWORD timeoutMs = kWaitMs);
