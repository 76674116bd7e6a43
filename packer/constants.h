// Sizes shared by the packer, its callers and its tests.
#pragma once

// Capacity in UTF-16 units of every path or name buffer; composed paths are cut
// at one unit less.
constexpr unsigned kPathChars = 260;

// Capacity in UTF-16 units of every message buffer.
constexpr unsigned kMessageChars = 1024;

// Size of the name header in front of every archive stream.
constexpr unsigned kStreamHeaderBytes = 1024;
