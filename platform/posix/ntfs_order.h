// The order in which an NTFS volume lists a directory: names compared as
// upper-cased UTF-16 code units, ordinally. Upper-casing is one fixed table,
// never the locale; surrogate units (characters outside the BMP) are compared
// as they are, so such characters sort between U+D7FF and U+E000.
#pragma once

#include <string>

// Orders two names that have already been upper-cased with UpcaseText
// (upcase_table.h), breaking a tie (names that differ only in case, which a
// case-sensitive file system can hold side by side) by the original names,
// so the order is total and the same on every run.
bool NtfsNameLess(const std::u16string& upperA, const std::u16string& nameA,
                  const std::u16string& upperB, const std::u16string& nameB);
