// Files as sinks and sources: the one part of the component that calls the
// operating system (native/posix_file.cpp or native/win32_file.cpp).
#pragma once

#include <memory>
#include <string>

#include "platform/compound_file/io.h"

namespace cfb {

enum class CreateMode {
    New,      // fail with Error::FileExists when the file exists
    Replace,  // empty an existing regular file
};

// Creates `path` for writing: native bytes on POSIX, UTF-8 on Windows. On
// failure returns null and sets `error`. A symbolic link at `path` is never
// followed (Error::AccessDenied). The file takes its name only when the
// sink's Close() succeeds (an existing file stays as it was until then) and
// is discarded when the sink goes without it, or when the process ends
// first, however it ends (on Windows: a deletion mark held until then). On
// Windows a new file is not shared: while it is open, another creator fails
// with AccessDenied; of two creators replacing one file at once, the last
// to close wins.
std::unique_ptr<WriteSink> CreateFileSink(const std::string& path, CreateMode mode, Error& error);

// Opens `path` for reading. On failure returns null and sets `error` to an
// English message naming the cause.
std::unique_ptr<ReadSource> OpenFileSource(const std::string& path, std::string& error);

// The component's error for a system error code (errno on POSIX, a
// GetLastError() value on Windows) met while creating or writing a file.
Error ErrorFromSystem(unsigned long code);

#ifdef _WIN32
std::unique_ptr<WriteSink> CreateFileSink(const wchar_t* path, CreateMode mode, Error& error);
std::unique_ptr<ReadSource> OpenFileSource(const wchar_t* path, std::string& error);

// Creates the new file `path` for writing, shared with no one, and marks it
// for deletion when its last handle closes, however the process ends. The
// handle, or INVALID_HANDLE_VALUE with the last error set.
void* CreateMarkedFile(const wchar_t* path);

// Completes such a file as one step: clears its mark, closes it and, when
// `temporary` is given, renames it from there to `name` (MoveFileExW with
// `flags`). False with the last error set when a step failed: the file is
// then closed, and a temporary file that could not be renamed is left for
// the caller to delete.
bool CompleteMarkedFile(void* file, const wchar_t* temporary, const wchar_t* name, unsigned long flags);

// Ends the process with `status`, but never within CreateMarkedFile() or
// CompleteMarkedFile(): a console handler ends the process this way.
void EndProcess(unsigned status);
#endif

}  // namespace cfb
