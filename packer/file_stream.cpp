#include "packer/file_stream.h"

#include <stdlib.h>
#include <string.h>

#include "packer/constants.h"
#include "packer/file_counters.h"
#include "packer/mod_outcome.h"
#include "packer/output_log.h"
#include "packer/report.h"

namespace {

// A mod archive is a version 3 compound file, which stays below 2 GiB; a
// larger file can never fit, so it is refused before it is read.
constexpr DWORD kLargestFileBytes = 0x7FFFFFFFu - kStreamHeaderBytes;

// Notes why an archive call failed while path was being added: the system's
// code when the call left one (the last error is cleared before it), else
// its result.
void NoteStorageFailure(const WCHAR* path, HRESULT result)
{
    DWORD error = GetLastError();
    bool first = g_failedStep.cause == FailureCause::None;
    NoteFailedStep(path, error != 0 ? FailureCause::SystemCall : FailureCause::Storage, error, result);
    if (first)
        g_failedStep.inArchive = true;
}

void ReportCreateFailure(HRESULT result)
{
    if (result == STG_E_ACCESSDENIED)
        AppendOutput(TEXT("\r\nError creating stream! Access denied!\r\n"));
    else if (result == STG_E_INSUFFICIENTMEMORY)
        AppendOutput(TEXT("\r\nError creating stream! Out of memory!\r\n"));
    else
        AppendOutput(TEXT("\r\nError creating stream! Unknown error!!\r\n"));
}

void ReportWriteFailure(HRESULT result)
{
    if (result == STG_E_ACCESSDENIED)
        AppendOutput(TEXT("\r\nError writing stream! Access denied!\r\n"));
    else if (result == STG_E_WRITEFAULT)
        AppendOutput(TEXT("\r\nError writing stream! Disk fault!\r\n"));
    else if (result == STG_E_MEDIUMFULL)
        AppendOutput(TEXT("\r\nError writing stream! Storage device is full!\r\n"));
    else
        AppendOutput(TEXT("\r\nError writing stream! Unknown error!!\r\n"));
}

// Reads the whole open file into a new buffer of exactly its size. Returns the
// buffer (never null on success, also for an empty file) or null after
// reporting the failure. Closes the file in every case.
BYTE* ReadWholeFile(HANDLE file, const WCHAR* path, DWORD* size)
{
    // The high part is asked for only to refuse files of 4 GiB and more,
    // whose low 32 bits would silently describe a shorter file.
    DWORD sizeHigh = 0;
    DWORD sizeLow = GetFileSize(file, &sizeHigh);
    if (sizeLow == INVALID_FILE_SIZE && sizeHigh == 0) {
        NoteFailedStep(path, FailureCause::SystemCall, GetLastError());
        CloseHandle(file);
        Report(TEXT("Error getting file size from file \"%s\"!\r\n"), path);
        return nullptr;
    }
    if (sizeHigh != 0 || sizeLow > kLargestFileBytes) {
        NoteFailedStep(path, FailureCause::TooLarge, 0);
        CloseHandle(file);
        // After the first file the previous file's progress line is still
        // open, so the message starts a line of its own.
        Report(g_fileNumber > 1 ? TEXT("\r\nError! File \"%s\" is too large for a mod archive!\r\n")
                                : TEXT("Error! File \"%s\" is too large for a mod archive!\r\n"),
               path);
        return nullptr;
    }

    BYTE* buffer = static_cast<BYTE*>(malloc(sizeLow == 0 ? 1 : sizeLow));
    DWORD read = 0;
    BOOL readOk = buffer != nullptr && ReadFile(file, buffer, sizeLow, &read, nullptr);
    bool changed = readOk && read != sizeLow;
    if (buffer == nullptr)
        NoteFailedStep(path, FailureCause::NoMemory, 0);
    else if (!readOk)
        NoteFailedStep(path, FailureCause::SystemCall, GetLastError());
    else if (changed)
        NoteFailedStep(path, FailureCause::Changed, 0);
    CloseHandle(file);
    // A short read would leave stale bytes in the archive: treat it as failure.
    if (!readOk || changed) {
        free(buffer);
        Report(TEXT("Error reading file \"%s\" into memory!\r\n"), path);
        return nullptr;
    }
    *size = sizeLow;
    return buffer;
}

// Writes the header and the content as one new stream named after g_fileNumber.
// Returns 0, or -1 after reporting the failure.
int WriteStream(const WCHAR* path, IStorage* storage, const BYTE* content, DWORD size)
{
    BYTE header[kStreamHeaderBytes];
    memset(header, 0, sizeof header);
    // Little-endian UTF-16 units, cut at the header's 512 units.
    for (unsigned i = 0; path[i] != 0 && i < kStreamHeaderBytes / 2; ++i) {
        header[2 * i] = static_cast<BYTE>(path[i] & 0xFF);
        header[2 * i + 1] = static_cast<BYTE>((path[i] >> 8) & 0xFF);
    }

    WCHAR name[32];
    _snwprintf_s(name, 32, 31, TEXT("%u"), static_cast<unsigned>(g_fileNumber));

    WCHAR progress[kMessageChars];
    _snwprintf_s(progress, kMessageChars, kMessageChars - 1, TEXT("Adding file %u/%u"),
                 static_cast<unsigned>(g_fileNumber), static_cast<unsigned>(g_fileTotal));
    ReplaceCurrentOutputLine(progress);

    IStream* stream = nullptr;
    SetLastError(0);
    HRESULT result = storage->CreateStream(name, STGM_CREATE | STGM_SHARE_EXCLUSIVE | STGM_READWRITE,
                                           0, 0, &stream);
    if (result != S_OK) {
        NoteStorageFailure(path, result);
        ReportCreateFailure(result);
        return -1;
    }

    ULONG written = 0;
    SetLastError(0);
    result = stream->Write(header, kStreamHeaderBytes, &written);
    if (result == S_OK)
        result = stream->Write(content, size, &written);
    if (result != S_OK)
        NoteStorageFailure(path, result);
    stream->Release();
    if (result != S_OK) {
        ReportWriteFailure(result);
        return -1;
    }
    return 0;
}

}  // namespace

int AddFileStream(const WCHAR* path, IStorage* storage)
{
    HANDLE file = CreateFileW(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        NoteFailedStep(path, FailureCause::SystemCall, GetLastError());
        return -1;
    }

    DWORD size = 0;
    BYTE* content = ReadWholeFile(file, path, &size);
    if (content == nullptr)
        return -1;

    int result = WriteStream(path, storage, content, size);
    free(content);
    if (result != 0)
        return -1;

    if (g_fileAdded != nullptr)
        g_fileAdded(path);
    ++g_fileNumber;
    return 0;
}
