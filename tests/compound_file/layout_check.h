// Whole-file accounting of a compound file with streams in its root, done
// with RawView: every sector and mini sector belongs to exactly one owner,
// table sectors carry their marks, the rest of each table is free.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace cfb_test {

// Empty when the layout is sound; otherwise the first problem found.
std::string CheckLayout(const std::vector<std::uint8_t>& file);

}  // namespace cfb_test
