#include "packer/directory_walk.h"

#include <string.h>

#include "packer/constants.h"
#include "packer/file_stream.h"
#include "packer/mod_outcome.h"
#include "packer/names.h"
#include "packer/report.h"

namespace {

bool IsDirectory(const WIN32_FIND_DATAW& entry)
{
    return (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// One level of a walk: its own copy of the directory path, the search pattern
// and the open enumeration.
struct WalkLevel {
    WCHAR directory[kPathChars];
    WCHAR pattern[kPathChars];
    WIN32_FIND_DATAW entry;
    HANDLE search;
};

enum class OpenResult { Opened, TooLong, SearchFailed };

// Copies the path, forms "<directory>\*" and opens the enumeration. A
// pattern cut at the path limit would name another directory (in the worst
// case the one being walked, through a link that loops), so it is not searched.
OpenResult OpenLevel(WalkLevel* level, const WCHAR* directory)
{
    level->search = INVALID_HANDLE_VALUE;
    _snwprintf_s(level->directory, kPathChars, kPathChars - 1, TEXT("%s"), directory);
    if (_snwprintf_s(level->pattern, kPathChars, kPathChars - 1, TEXT("%s\\*"),
                     level->directory) < 0) {
        NoteFailedStep(level->directory, FailureCause::PathTooLong, 0);
        return OpenResult::TooLong;
    }
    memset(&level->entry, 0, sizeof level->entry);
    level->search = FindFirstFileExW(level->pattern, FindExInfoBasic, &level->entry,
                                     FindExSearchNameMatch, nullptr, 0);
    if (level->search == INVALID_HANDLE_VALUE) {
        NoteFailedStep(level->directory, FailureCause::SystemCall, GetLastError());
        return OpenResult::SearchFailed;
    }
    return OpenResult::Opened;
}

// Reports why a level could not be opened; lineBreak ends a progress line.
void ReportOpenFailure(OpenResult result, const WalkLevel& level, bool lineBreak)
{
    if (result == OpenResult::TooLong)
        Report(lineBreak ? TEXT("\r\nError! Path \"%s\\*\" is too long!\r\n")
                             : TEXT("Error! Path \"%s\\*\" is too long!\r\n"),
                   level.directory);
    else
        Report(lineBreak ? TEXT("\r\nError searching directory \"%s\"!\r\n")
                             : TEXT("Error searching directory \"%s\"!\r\n"),
                   level.pattern);
}

// Forms "<directory>\<entry>"; false when it does not fit the path limit, as
// the cut path would name some other file or directory.
bool ChildPath(const WalkLevel& level, WCHAR* child)
{
    if (_snwprintf_s(child, kPathChars, kPathChars - 1, TEXT("%s\\%s"), level.directory,
                     level.entry.cFileName) >= 0)
        return true;
    NoteFailedStep(level.directory, FailureCause::PathTooLong, 0, S_OK, level.entry.cFileName);
    return false;
}

}  // namespace

int CountDirectoryFiles(const WCHAR* directory, std::uint32_t* count)
{
    WalkLevel level;
    OpenResult opened = OpenLevel(&level, directory);
    if (opened != OpenResult::Opened) {
        ReportOpenFailure(opened, level, false);
        return -1;
    }

    std::uint32_t files = 0;
    do {
        bool directoryEntry = IsDirectory(level.entry);
        if (directoryEntry && IsDotEntry(level.entry.cFileName))
            continue;
        // Every path is checked here, so that the adding walk, whose paths are
        // shorter (relative to the mod file's folder), never meets one too long.
        WCHAR child[kPathChars];
        if (!ChildPath(level, child)) {
            FindClose(level.search);
            Report(TEXT("Error! Path \"%s\" is too long!\r\n"), child);
            return -1;
        }
        if (!directoryEntry) {
            ++files;
            continue;
        }
        std::uint32_t childFiles = 0;
        if (CountDirectoryFiles(child, &childFiles) != 0) {
            FindClose(level.search);
            Report(TEXT("Error getting file count from directory \"%s\"!\r\n"), child);
            return -1;
        }
        files += childFiles;
    } while (FindNextFileW(level.search, &level.entry));

    FindClose(level.search);
    *count = files;
    return 0;
}

int AddDirectoryStreams(const WCHAR* directory, IStorage* storage)
{
    WalkLevel level;
    OpenResult opened = OpenLevel(&level, directory);
    if (opened != OpenResult::Opened) {
        // The leading break ends the progress line the last file left behind.
        ReportOpenFailure(opened, level, true);
        return -1;
    }

    do {
        bool directoryEntry = IsDirectory(level.entry);
        if (directoryEntry && IsDotEntry(level.entry.cFileName))
            continue;
        WCHAR child[kPathChars];
        if (!ChildPath(level, child)) {
            FindClose(level.search);
            Report(TEXT("\r\nError! Path \"%s\" is too long!\r\n"), child);
            return -1;
        }
        int result = directoryEntry ? AddDirectoryStreams(child, storage)
                                    : AddFileStream(child, storage);
        if (result != 0) {
            FindClose(level.search);
            return -1;
        }
    } while (FindNextFileW(level.search, &level.entry));

    FindClose(level.search);
    return 0;
}
