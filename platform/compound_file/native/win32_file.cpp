// Files on Windows: reads and writes at the file pointer of synchronous
// handles, moved only when a request does not start where the last one
// ended; the writer and the reader mostly go forward. No OVERLAPPED record:
// under Wine each request that carries one costs a round trip to the Wine
// server (a completion notice), many times the cost of the write itself.

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <initializer_list>
#include <memory>
#include <new>
#include <string>

#include "platform/compound_file/file_io.h"

namespace cfb {

namespace {

constexpr DWORD kMaxTransfer = DWORD{1} << 30;

// Reservations run this far beyond the room asked for, to keep the calls few.
constexpr std::uint64_t kReserveStep = std::uint64_t{1} << 20;

// Zeros that reserve room go out in writes of this size.
constexpr std::size_t kZeroBlock = std::size_t{1} << 20;

// The file pointer is not known (after a failed request).
constexpr std::uint64_t kUnknownPosition = ~std::uint64_t{0};

// Moves the file pointer to `offset` unless it is there already.
bool MoveTo(HANDLE file, std::uint64_t& position, std::uint64_t offset) {
    if (position == offset) return true;
    LARGE_INTEGER target;
    target.QuadPart = static_cast<LONGLONG>(offset);
    if (!SetFilePointerEx(file, target, nullptr, FILE_BEGIN)) {
        position = kUnknownPosition;
        return false;
    }
    position = offset;
    return true;
}

// UTF-8 to UTF-16; empty when `text` is not valid UTF-8.
std::wstring Widen(const std::string& text) {
    if (text.empty()) return std::wstring();
    const int units = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(),
                                          static_cast<int>(text.size()), nullptr, 0);
    if (units <= 0) return std::wstring();
    std::wstring wide(static_cast<std::size_t>(units), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), &wide[0],
                        units);
    return wide;
}

// The system's own words for `code`, in UTF-8, without the final period.
std::string SystemMessage(DWORD code) {
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
        reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string message;
    const int bytes = length == 0 ? 0
                                  : WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0,
                                                        nullptr, nullptr);
    if (bytes > 0) {
        message.resize(static_cast<std::size_t>(bytes));
        WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), &message[0], bytes, nullptr, nullptr);
    }
    if (text != nullptr) LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == '.' ||
                                message.back() == ' '))
        message.pop_back();
    return message.empty() ? "error " + std::to_string(code) : message;
}

// Held from a file's creation until its deletion mark is set, and from the
// mark's clearing until the file has its name.
SRWLOCK g_creating = SRWLOCK_INIT;

// Sets or clears the mark that makes the system delete the file when its
// last handle closes.
bool MarkForDeletion(HANDLE file, bool mark) {
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = mark ? TRUE : FALSE;
    return SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition) != FALSE;
}

// The folder part of `path`, with its trailing separator; empty for a bare name.
std::wstring FolderOf(const std::wstring& path) {
    const std::size_t slash = path.find_last_of(L"\\/:");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

// An archive is never under its name until it is complete. A new one is
// created under its name marked for deletion, and the mark is cleared by
// Close(). One that replaces an existing archive is built under a temporary
// name beside it, marked too, and takes the archive's name in Close(): until
// then the old archive stays as it was. A process that ends early, however it
// ends, leaves no file behind.
class Win32FileSink final : public WriteSink {
public:
    Win32FileSink() = default;
    ~Win32FileSink() override { Discard(); }

    // A reparse point at the name (a symbolic link, a junction) is never
    // written through, not even when it points nowhere: it counts as an
    // existing file that can't be replaced. Share mode 0 keeps other openers
    // out.
    Error Open(const wchar_t* path, CreateMode mode) {
        const DWORD attributes = GetFileAttributesW(path);
        const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
        if (!exists && GetLastError() != ERROR_FILE_NOT_FOUND) return ErrorFromSystem(GetLastError());
        if (exists && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
            return mode == CreateMode::New ? Error::FileExists : Error::AccessDenied;
        if (mode == CreateMode::New || !exists) {
            file_ = CreateMarkedFile(path);
        } else {
            // Whatever would keep the old archive from being replaced at the
            // end (a folder, read-only, held open) refuses it now instead.
            HANDLE old = CreateFileW(path, GENERIC_WRITE | DELETE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                     nullptr);
            if (old == INVALID_HANDLE_VALUE) return ErrorFromSystem(GetLastError());
            CloseHandle(old);
            target_ = path;
            file_ = CreateTemporary(FolderOf(target_), temporary_);
        }
        return file_ == INVALID_HANDLE_VALUE ? ErrorFromSystem(GetLastError()) : Error::None;
    }

    Error WriteAt(std::uint64_t offset, const void* data, std::size_t size) override {
        if (file_ == INVALID_HANDLE_VALUE) return Error::Closed;
        if (Error e = WriteBytes(offset, data, size); e != Error::None) return e;
        if (offset + size > end_) end_ = offset + size;
        return Error::None;
    }

    // Makes the room up to `size` (a little beyond, to keep the calls few;
    // exactly `size` when only that much is left) really taken: by the file's
    // allocation size where the system sets one, else by writing zeros, as a
    // file grown without writing may be sparse and take no room at all.
    Error Reserve(std::uint64_t size) override {
        if (file_ == INVALID_HANDLE_VALUE || size <= reserved_) return Error::None;
        for (std::uint64_t target : {size + kReserveStep, size}) {
            const Error e = allocates_ ? Allocate(target) : WriteZeros(target);
            if (e == Error::None) {
                reserved_ = target;
                return Error::None;
            }
            if (e != Error::MediumFull) return e;
        }
        return Error::MediumFull;
    }

    Error Close() override {
        if (file_ == INVALID_HANDLE_VALUE) return Error::None;
        DWORD code = ERROR_SUCCESS;
        // Zeros written past the archive's end are cut off.
        if (zeroed_ > end_ && (!MoveTo(file_, position_, end_) || !SetEndOfFile(file_))) code = GetLastError();
        if (code == ERROR_SUCCESS) {
            const bool completed = CompleteMarkedFile(file_, temporary_.empty() ? nullptr : temporary_.c_str(),
                                                      target_.c_str(), MOVEFILE_REPLACE_EXISTING);
            file_ = INVALID_HANDLE_VALUE;
            if (!completed) code = GetLastError();
        }
        if (code == ERROR_SUCCESS) {
            temporary_.clear();
            return Error::None;
        }
        Discard();
        SetLastError(code);
        return ErrorFromSystem(code);
    }

private:
    // Closes the file with its deletion mark still set, which removes it; a
    // temporary file closed already is removed by name.
    void Discard() {
        if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
        else if (!temporary_.empty()) DeleteFileW(temporary_.c_str());
        file_ = INVALID_HANDLE_VALUE;
        temporary_.clear();
    }

    // A new file beside the archive under a name no other file there has.
    static HANDLE CreateTemporary(const std::wstring& folder, std::wstring& name) {
        static unsigned created = 0;
        for (int attempt = 0; attempt < 1000; ++attempt) {
            name = folder + L".tvpack-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++created);
            HANDLE file = CreateMarkedFile(name.c_str());
            if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS) {
                if (file == INVALID_HANDLE_VALUE) name.clear();
                return file;
            }
        }
        name.clear();
        return INVALID_HANDLE_VALUE;
    }

    Error WriteBytes(std::uint64_t offset, const void* data, std::size_t size) {
        if (!MoveTo(file_, position_, offset)) return ErrorFromSystem(GetLastError());
        const auto* bytes = static_cast<const std::uint8_t*>(data);
        while (size > 0) {
            const DWORD piece = size < kMaxTransfer ? static_cast<DWORD>(size) : kMaxTransfer;
            DWORD written = 0;
            if (!WriteFile(file_, bytes, piece, &written, nullptr)) {
                position_ = kUnknownPosition;
                return ErrorFromSystem(GetLastError());
            }
            position_ += written;
            if (written == 0) return Error::MediumFull;
            bytes += written;
            size -= written;
        }
        return Error::None;
    }

    // The file system gives back what lies past the end of the file when it
    // is closed. A system that can't set it (Wine) switches to zeros.
    Error Allocate(std::uint64_t target) {
        FILE_ALLOCATION_INFO allocation{};
        allocation.AllocationSize.QuadPart = static_cast<LONGLONG>(target);
        if (SetFileInformationByHandle(file_, FileAllocationInfo, &allocation, sizeof allocation)) return Error::None;
        const DWORD code = GetLastError();
        if (code == ERROR_DISK_FULL || code == ERROR_HANDLE_DISK_FULL) return Error::MediumFull;
        allocates_ = false;
        return WriteZeros(target);
    }

    // Zeros from the end of what is written or zeroed up to `target`, in
    // large writes; the writer's own bytes later go over them.
    Error WriteZeros(std::uint64_t target) {
        if (!zeros_) {
            zeros_.reset(new (std::nothrow) std::uint8_t[kZeroBlock]());
            if (!zeros_) return Error::OutOfMemory;
        }
        std::uint64_t from = zeroed_ > end_ ? zeroed_ : end_;
        while (from < target) {
            const std::uint64_t left = target - from;
            const std::size_t piece = left < kZeroBlock ? static_cast<std::size_t>(left) : kZeroBlock;
            if (Error e = WriteBytes(from, zeros_.get(), piece); e != Error::None) return e;
            from += piece;
            zeroed_ = from;
        }
        return Error::None;
    }

    HANDLE file_ = INVALID_HANDLE_VALUE;
    std::wstring target_;     // the archive's name, when the file replaces one
    std::wstring temporary_;  // the file's own name until then
    std::uint64_t position_ = 0;  // the file pointer: a new file starts at 0
    std::uint64_t end_ = 0;       // one past the last byte the writer wrote
    std::uint64_t zeroed_ = 0;    // one past the last zero written to reserve room
    std::uint64_t reserved_ = 0;
    bool allocates_ = true;
    std::unique_ptr<std::uint8_t[]> zeros_;
};

class Win32FileSource final : public ReadSource {
public:
    Win32FileSource(HANDLE file, std::uint64_t size) : file_(file), size_(size) {}
    ~Win32FileSource() override { CloseHandle(file_); }

    std::uint64_t Size() const override { return size_; }

    bool ReadAt(std::uint64_t offset, void* data, std::size_t size) override {
        error_ = ERROR_SUCCESS;
        if (offset > size_ || size > size_ - offset) return false;
        if (!MoveTo(file_, position_, offset)) {
            error_ = GetLastError();
            return false;
        }
        auto* bytes = static_cast<std::uint8_t*>(data);
        while (size > 0) {
            const DWORD piece = size < kMaxTransfer ? static_cast<DWORD>(size) : kMaxTransfer;
            DWORD got = 0;
            const BOOL read = ReadFile(file_, bytes, piece, &got, nullptr);
            if (!read || got == 0) {
                error_ = read ? ERROR_HANDLE_EOF : GetLastError();
                position_ = kUnknownPosition;
                return false;
            }
            position_ += got;
            bytes += got;
            size -= got;
        }
        return true;
    }

    std::string FailureReason() const override {
        return error_ != ERROR_SUCCESS ? SystemMessage(error_) : std::string();
    }

private:
    HANDLE file_;
    std::uint64_t size_;
    std::uint64_t position_ = 0;  // the file pointer: a file opens at 0
    DWORD error_ = ERROR_SUCCESS;  // the code of the last failed read; none for one past the end
};

}  // namespace

void* CreateMarkedFile(const wchar_t* path) {
    AcquireSRWLockExclusive(&g_creating);
    HANDLE file = CreateFileW(path, GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD code = file == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
    if (file != INVALID_HANDLE_VALUE && !MarkForDeletion(file, true)) {
        code = GetLastError();
        CloseHandle(file);
        DeleteFileW(path);
        file = INVALID_HANDLE_VALUE;
    }
    ReleaseSRWLockExclusive(&g_creating);
    SetLastError(code);
    return file;
}

bool CompleteMarkedFile(void* file, const wchar_t* temporary, const wchar_t* name, unsigned long flags) {
    AcquireSRWLockExclusive(&g_creating);
    // A mark that can't be cleared makes the close remove the file.
    const bool unmarked = MarkForDeletion(file, false);
    DWORD code = unmarked ? ERROR_SUCCESS : GetLastError();
    if (!CloseHandle(file) && unmarked) code = GetLastError();
    if (code == ERROR_SUCCESS && temporary != nullptr && !MoveFileExW(temporary, name, flags)) code = GetLastError();
    ReleaseSRWLockExclusive(&g_creating);
    SetLastError(code);
    return code == ERROR_SUCCESS;
}

void EndProcess(unsigned status) {
    AcquireSRWLockExclusive(&g_creating);
    TerminateProcess(GetCurrentProcess(), status);
}

Error ErrorFromSystem(unsigned long code) {
    switch (code) {
        case ERROR_SUCCESS: return Error::None;
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS: return Error::FileExists;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
        case ERROR_WRITE_PROTECT: return Error::AccessDenied;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL: return Error::MediumFull;
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY: return Error::OutOfMemory;
        case ERROR_FILE_NOT_FOUND: return Error::FileNotFound;
        case ERROR_PATH_NOT_FOUND:
        case ERROR_BAD_NETPATH: return Error::PathNotFound;
        case ERROR_INVALID_NAME: return Error::InvalidName;
        case ERROR_WRITE_FAULT:
        default: return Error::WriteFault;
    }
}

std::unique_ptr<WriteSink> CreateFileSink(const wchar_t* path, CreateMode mode, Error& error) {
    std::unique_ptr<Win32FileSink> sink(new (std::nothrow) Win32FileSink);
    if (!sink) {
        error = Error::OutOfMemory;
        return nullptr;
    }
    if ((error = sink->Open(path, mode)) != Error::None) return nullptr;
    return sink;
}

std::unique_ptr<WriteSink> CreateFileSink(const std::string& path, CreateMode mode, Error& error) {
    try {
        const std::wstring wide = Widen(path);
        if (wide.empty()) {
            error = Error::InvalidName;
            return nullptr;
        }
        return CreateFileSink(wide.c_str(), mode, error);
    } catch (const std::bad_alloc&) {
        error = Error::OutOfMemory;
        return nullptr;
    }
}

std::unique_ptr<ReadSource> OpenFileSource(const wchar_t* path, std::string& error) {
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        try {
            error = "cannot open the file: " + SystemMessage(code);
        } catch (const std::bad_alloc&) {
            error = "out of memory";  // short enough to need no allocation
        }
        return nullptr;
    }
    // A pipe, a console or another device is no archive.
    const DWORD type = GetFileType(file);
    const DWORD typeCode = type == FILE_TYPE_UNKNOWN ? GetLastError() : ERROR_SUCCESS;
    if (type != FILE_TYPE_DISK) {
        CloseHandle(file);
        error = typeCode != ERROR_SUCCESS ? "cannot tell what the file is: " + SystemMessage(typeCode)
                                          : std::string("not a regular file");
        return nullptr;
    }
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file, &size) || size.QuadPart < 0) {
        const DWORD code = GetLastError();
        CloseHandle(file);
        error = "cannot query the file's size: " + SystemMessage(code);
        return nullptr;
    }
    auto* source = new (std::nothrow) Win32FileSource(file, static_cast<std::uint64_t>(size.QuadPart));
    if (!source) {
        CloseHandle(file);
        error = "out of memory";
        return nullptr;
    }
    error.clear();
    return std::unique_ptr<ReadSource>(source);
}

std::unique_ptr<ReadSource> OpenFileSource(const std::string& path, std::string& error) {
    try {
        const std::wstring wide = Widen(path);
        if (wide.empty()) {
            error = "\"" + path + "\" is not a valid UTF-8 path";
            return nullptr;
        }
        std::unique_ptr<ReadSource> source = OpenFileSource(wide.c_str(), error);
        if (!source) error = "\"" + path + "\": " + error;
        return source;
    } catch (const std::bad_alloc&) {
        error = "out of memory";  // short enough to need no allocation
        return nullptr;
    }
}

}  // namespace cfb
