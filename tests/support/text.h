// Text helpers for tests: literals in the platform's UTF-16 type and readable
// failure output.
#pragma once

#include <filesystem>
#include <string>

#include "tests/support/output_recorder.h"

// UTF-8 (ASCII in practice) test literal to the platform's UTF-16 text.
Text T(const std::string& utf8);

std::string ToUtf8(const Text& text);

// The path as the platform's UTF-16 text, with native separators.
Text PathText(const std::filesystem::path& path);
std::filesystem::path TextPath(const Text& text);
