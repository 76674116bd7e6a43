// Stored paths as Windows and the game compare them, and the patterns of
// --include and --exclude that choose files by them.
//
// Names are compared as NTFS compares them: UTF-16 units upper-cased by one
// fixed table, then ordinally. In a pattern "/" and "\" both separate names;
// "*" matches any run of characters within one name, "?" one character, and
// a name "**" any number of folders (none included). A pattern matches a path
// whole, from its first name; one that matches a folder on a file's way
// matches the file too, so "castle/sounds" chooses everything below it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// A path (or a name given on the command line) as Windows tells paths apart:
// upper-cased, with "/" turned into the backslash that archives store.
std::u16string PathKey(const std::u16string& path);

// The files that --include and --exclude choose: those that match an include
// (or all, when there is none) and no exclude.
class FileChoice {
public:
    FileChoice(const std::vector<std::u16string>& includes, const std::vector<std::u16string>& excludes);
    // The split patterns point into the object's own strings.
    FileChoice(const FileChoice&) = delete;
    FileChoice& operator=(const FileChoice&) = delete;

    // Whether the file at `path` is chosen. Notes which patterns matched it.
    bool Chooses(const std::u16string& path);

    // After every file was offered: the patterns that matched none, each with
    // its option, as "--include \"PATTERN\"".
    std::vector<std::u16string> PatternsMatchingNothing() const;

private:
    std::vector<std::u16string> includes_, excludes_;
    std::vector<std::u16string> upperIncludes_, upperExcludes_;
    std::vector<std::vector<std::u16string_view>> includeNames_, excludeNames_;  // into the upper-cased ones
    std::vector<bool> includeUsed_, excludeUsed_;
    std::u16string upperPath_;
    std::vector<std::u16string_view> pathNames_;
};
