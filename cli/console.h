// The console as tvpack uses it: UTF-16 text out to standard output or
// standard error, one line of answer in from standard input. Implemented per
// system in posix/console.cpp and windows/console.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

enum class Channel { Out, Err };

// Whether the channel is an interactive terminal (a console on Windows).
bool IsTerminal(Channel channel);
bool InputIsTerminal();

// Writes text whose lines end in "\n". Redirected output gets UTF-8 bytes.
void WriteText(Channel channel, const std::u16string& text);

// Writes bytes to standard output exactly as they are, with no conversion
// of line ends or code pages. False when they could not be written.
bool WriteOutputBytes(const std::uint8_t* data, std::size_t size);

// Whether some text for standard output could not be written (a full disk,
// a closed pipe), so that the exit status can tell.
bool OutputFailed();
// Why, in the system's words; empty when nothing failed.
std::u16string OutputFailure();

// On a terminal standard output: replaces the line the cursor is on, which
// holds `oldLength` characters, with text (no line break).
void RewriteTerminalLine(std::size_t oldLength, const std::u16string& text);

// Reads one line from standard input without its line break. False at the end
// of the input (or on a read error) when nothing was read.
bool ReadInputLine(std::string* line);
