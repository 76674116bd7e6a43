// What became of the mod PackMod was last given, and the file a failed step
// was about, for front ends that say more than the pane's texts (tvpack names
// the file and the system's reason). The pane's texts do not depend on it.
#pragma once

#include "packer/constants.h"
#include "platform/platform.h"

enum class ModOutcome {
    NotModFile,         // not a mod file's path, or one too long
    NoModDirectory,     // no folder of the mod file's base name beside it
    FolderNotListed,    // the mod file's folder could not be listed (Fatal)
    NotCounted,         // the mod directory's files could not be counted
    ArchiveNotCreated,  // creating or replacing the archive failed
    ArchiveKept,        // the archive existed and the answer was No
    Cancelled,          // the answer was Cancel
    NoAnswer,           // the question got no usable answer (Fatal)
    NotFilled,          // a file could not be added; the archive was deleted
    Packed,             // the success line was written
};

enum class FailureCause {
    None,         // nothing failed
    SystemCall,   // a system call failed; error holds its code
    Storage,      // an archive call failed without a system call's code; result holds its result
    TooLarge,     // the file is too large for a mod archive
    Changed,      // the file ended before the size it had when it was opened
    NoMemory,     // no buffer of the file's size could be had
    PathTooLong,  // a path did not fit the path limit
};

struct FailedStep {
    FailureCause cause;
    DWORD error;             // GetLastError() right after the failed call
    HRESULT result;          // the archive call's result (Storage)
    WCHAR path[kPathChars];  // the file or folder, as the packer named it; empty: the mod file
    WCHAR entry[kPathChars]; // a name in that folder, when the two are too long together
    bool inArchive;          // the archive failed while path was being added to it
};

extern ModOutcome g_modOutcome;

// The first failure since PackMod started; later ones only follow from it.
extern FailedStep g_failedStep;

// Called, when set, with each file's path once its stream is written: a
// front end learns the names stored without reading the archive back.
extern void (*g_fileAdded)(const WCHAR* path);

void ClearFailedStep();
void NoteFailedStep(const WCHAR* path, FailureCause cause, DWORD error, HRESULT result = S_OK,
                    const WCHAR* entry = TEXT(""));
