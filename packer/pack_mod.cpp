#include "packer/pack_mod.h"

#include <string.h>

#include "packer/constants.h"
#include "packer/directory_walk.h"
#include "packer/file_counters.h"
#include "packer/file_stream.h"
#include "packer/mod_outcome.h"
#include "packer/names.h"
#include "packer/output_log.h"
#include "packer/report.h"

namespace {

constexpr unsigned kComponentChars = 16;
constexpr unsigned kSavedDirectoryChars = 32768;

// The mode of the first attempt fails when the archive exists; the second,
// after the user agreed, replaces it.
constexpr DWORD kCreateNewMode = STGM_READWRITE | STGM_SHARE_EXCLUSIVE;
constexpr DWORD kReplaceMode = STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE;

// Formats a path into a kPathChars buffer; false when it had to be cut.
bool Compose(WCHAR* buffer, const WCHAR* format, const WCHAR* first, const WCHAR* second)
{
    return _snwprintf_s(buffer, kPathChars, kPathChars - 1, format, first, second) >= 0;
}

bool EndsWith(const WCHAR* text, const WCHAR* ending)
{
    const WCHAR* end = text;
    while (*end != 0)
        ++end;
    const WCHAR* endingEnd = ending;
    while (*endingEnd != 0)
        ++endingEnd;
    if (endingEnd - ending > end - text)
        return false;
    return SameText(end - (endingEnd - ending), ending);
}

// Notes why the archive could not be created: the system's code when the
// call left one (the last error is cleared before it), else its result.
void NoteArchiveFailure(const WCHAR* archiveName, HRESULT result)
{
    g_modOutcome = ModOutcome::ArchiveNotCreated;
    DWORD error = GetLastError();
    NoteFailedStep(archiveName, error != 0 ? FailureCause::SystemCall : FailureCause::Storage, error, result);
}

HRESULT CreateArchive(const WCHAR* archiveName, DWORD mode, IStorage** storage)
{
    return StgCreateStorageEx(archiveName, mode, STGFMT_STORAGE, 0, nullptr, nullptr, IID_IStorage,
                              reinterpret_cast<void**>(storage));
}

// The names one mod is packed under, all relative to the mod file's folder
// except the folder, the search pattern and the mod directory's full path.
struct ModNames {
    WCHAR folder[kPathChars];
    WCHAR pattern[kPathChars];
    WCHAR modDirectoryPath[kPathChars];
    WCHAR archiveName[kPathChars];
    WCHAR modFileName[kPathChars];
};

// Composes every name; false when one of them does not fit the path limit, as
// a cut name would point at some other folder or file.
bool ComposeNames(const WCHAR* drive, const WCHAR* directory, const WCHAR* baseName,
                  const WCHAR* extension, ModNames* names)
{
    return Compose(names->folder, TEXT("%s%s"), drive, directory) &&
           Compose(names->pattern, TEXT("%s%s"), names->folder, TEXT("*")) &&
           Compose(names->modDirectoryPath, TEXT("%s%s"), names->folder, baseName) &&
           Compose(names->archiveName, TEXT("%s%s"), baseName, TEXT(".tvp")) &&
           Compose(names->modFileName, TEXT("%s%s"), baseName, extension);
}

enum class FindResult { Found, Missing, SearchFailed };

// Lists the mod file's folder for a directory named exactly baseName.
FindResult FindModDirectory(const WCHAR* pattern, const WCHAR* baseName)
{
    WIN32_FIND_DATAW entry;
    memset(&entry, 0, sizeof entry);
    HANDLE search = FindFirstFileExW(pattern, FindExInfoBasic, &entry, FindExSearchNameMatch,
                                     nullptr, 0);
    if (search == INVALID_HANDLE_VALUE)
        return FindResult::SearchFailed;

    bool found = false;
    do {
        found = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
                !IsDotEntry(entry.cFileName) && SameText(entry.cFileName, baseName);
    } while (!found && FindNextFileW(search, &entry));
    FindClose(search);
    return found ? FindResult::Found : FindResult::Missing;
}

// Creates the archive, asking before an existing one is replaced. Returns
// Done with *storage set when there is an archive to fill; Done with it null,
// Cancelled or Fatal when packing ends here (messages already written).
PackResult OpenArchive(const WCHAR* archiveName, IStorage** storage)
{
    *storage = nullptr;
    SetLastError(0);
    HRESULT result = CreateArchive(archiveName, kCreateNewMode, storage);
    if (result == S_OK)
        return PackResult::Done;
    if (result != STG_E_FILEALREADYEXISTS) {
        *storage = nullptr;
        NoteArchiveFailure(archiveName, result);
        Report(TEXT("Error creating mod archive \"%s\"!\r\n"), archiveName);
        return PackResult::Done;
    }

    WCHAR question[kMessageChars];
    _snwprintf_s(question, kMessageChars, kMessageChars - 1,
                 TEXT("Mod archive \"%s\" already exists! Do you wish to overwrite it?"),
                 archiveName);
    switch (AskOverwrite(question)) {
    case IDYES:
        SetLastError(0);
        result = CreateArchive(archiveName, kReplaceMode, storage);
        if (result != S_OK) {
            *storage = nullptr;
            NoteArchiveFailure(archiveName, result);
            Report(TEXT("Error creating mod archive \"%s\"!\r\n\r\n"), archiveName);
        }
        return PackResult::Done;
    case IDNO:
        g_modOutcome = ModOutcome::ArchiveKept;
        Report(TEXT("Mod archive \"%s\" already exists. Skipping.\r\n\r\n"), archiveName);
        return PackResult::Done;
    case IDCANCEL:
        g_modOutcome = ModOutcome::Cancelled;
        AppendOutput(TEXT("Current operation cancelled by user.\r\n\r\n"));
        return PackResult::Cancelled;
    default:
        g_modOutcome = ModOutcome::NoAnswer;
        return PackResult::Fatal;
    }
}

// Adds the mod file and then the mod directory. On failure the archive is
// released and deleted, so no half-written archive stays behind.
void FillArchive(IStorage* storage, const WCHAR* archiveName, const WCHAR* modFileName,
                 const WCHAR* baseName)
{
    Report(TEXT("Creating mod archive \"%s\".\r\n"), archiveName);

    const WCHAR* failure = nullptr;
    if (AddFileStream(modFileName, storage) != 0)
        failure = TEXT("Error adding tvx file to mod archive \"%s\"!\r\n");
    else if (AddDirectoryStreams(baseName, storage) != 0)
        failure = TEXT("Error adding mod directory to mod archive \"%s\"!\r\n");

    if (failure != nullptr) {
        g_modOutcome = ModOutcome::NotFilled;
        Report(failure, archiveName);
        storage->Release();
        DeleteFileW(archiveName);
        return;
    }
    g_modOutcome = ModOutcome::Packed;
    Report(TEXT("\r\nSuccessfully created mod archive \"%s\".\r\n\r\n"), archiveName);
    storage->Release();
}

}  // namespace

PackResult PackMod(const WCHAR* modFilePath)
{
    g_modOutcome = ModOutcome::NotModFile;
    ClearFailedStep();
    WCHAR drive[kComponentChars];
    WCHAR directory[kPathChars];
    WCHAR baseName[kPathChars];
    WCHAR extension[kComponentChars];
    // A component too long for its buffer fails the split and leaves every
    // component empty; only a path that ends in ".tvx" is then worth a word
    // about its length.
    bool split = _wsplitpath_s(modFilePath, drive, kComponentChars, directory, kPathChars, baseName,
                               kPathChars, extension, kComponentChars) == 0;
    if (split ? !SameText(extension, TEXT(".tvx")) : !EndsWith(modFilePath, TEXT(".tvx"))) {
        Report(TEXT("Error! File \"%s\" is not a valid Tolvane mod file!\r\n"), modFilePath);
        return PackResult::Done;
    }
    ModNames names;
    if (!split || !ComposeNames(drive, directory, baseName, extension, &names)) {
        NoteFailedStep(TEXT(""), FailureCause::PathTooLong, 0);  // the mod file's own path
        Report(TEXT("Error! Path of file \"%s\" is too long!\r\n"), modFilePath);
        return PackResult::Done;
    }

    // Room for the longest path the system allows, so that a deep working
    // directory is set back exactly.
    // Neither call's failure is acted on; an unread directory is empty, so
    // that setting it back then fails instead of reading stale memory.
    WCHAR savedDirectory[kSavedDirectoryChars];
    savedDirectory[0] = 0;
    GetCurrentDirectoryW(kSavedDirectoryChars, savedDirectory);
    SetCurrentDirectoryW(names.folder);

    FindResult found = FindModDirectory(names.pattern, baseName);
    if (found == FindResult::SearchFailed) {
        NoteFailedStep(names.folder, FailureCause::SystemCall, GetLastError());
        g_modOutcome = ModOutcome::FolderNotListed;
        return PackResult::Fatal;
    }
    if (found == FindResult::Missing) {
        g_modOutcome = ModOutcome::NoModDirectory;
        SetCurrentDirectoryW(savedDirectory);
        return PackResult::Done;
    }

    g_fileNumber = 1;
    if (CountDirectoryFiles(names.modDirectoryPath, &g_fileTotal) != 0) {
        g_modOutcome = ModOutcome::NotCounted;
        Report(TEXT("Error getting file number in mod directory \"%s\"!\r\n"), baseName);
        SetCurrentDirectoryW(savedDirectory);
        return PackResult::Done;
    }
    ++g_fileTotal;

    IStorage* storage = nullptr;
    PackResult result = OpenArchive(names.archiveName, &storage);
    if (result == PackResult::Fatal)
        return PackResult::Fatal;
    if (storage != nullptr)
        FillArchive(storage, names.archiveName, names.modFileName, baseName);
    SetCurrentDirectoryW(savedDirectory);
    return result;
}
