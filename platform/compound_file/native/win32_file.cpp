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
#include <new>

#include "platform/compound_file/file_io.h"

namespace cfb {

namespace {

constexpr DWORD kMaxTransfer = DWORD{1} << 30;

// Reservations grow in steps of this size, to keep the calls few.
constexpr std::uint64_t kReserveStep = std::uint64_t{4} << 20;

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

class Win32FileSink final : public WriteSink {
public:
    Win32FileSink() = default;
    ~Win32FileSink() override {
        if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
    }

    // A reparse point at the name (a symbolic link, a junction) is never
    // written through, not even when it points nowhere: it counts as an
    // existing file that can't be replaced. Share mode 0 keeps other openers
    // out.
    Error Open(const wchar_t* path, CreateMode mode) {
        const DWORD attributes = GetFileAttributesW(path);
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
            return mode == CreateMode::New ? Error::FileExists : Error::AccessDenied;
        file_ = CreateFileW(path, GENERIC_WRITE, 0, nullptr, mode == CreateMode::New ? CREATE_NEW : CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
        return file_ == INVALID_HANDLE_VALUE ? ErrorFromSystem(GetLastError()) : Error::None;
    }

    Error WriteAt(std::uint64_t offset, const void* data, std::size_t size) override {
        if (file_ == INVALID_HANDLE_VALUE) return Error::Closed;
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

    // Sets the file's allocation size, a little beyond `size` to keep the
    // calls few (exactly `size` when only that much space is left). The file
    // system gives back what lies past the end of the file when it is closed.
    Error Reserve(std::uint64_t size) override {
        if (file_ == INVALID_HANDLE_VALUE || !preallocates_ || size <= reserved_) return Error::None;
        const std::uint64_t generous = (size + kReserveStep - 1) / kReserveStep * kReserveStep;
        for (std::uint64_t target : {generous, size}) {
            FILE_ALLOCATION_INFO allocation{};
            allocation.AllocationSize.QuadPart = static_cast<LONGLONG>(target);
            if (SetFileInformationByHandle(file_, FileAllocationInfo, &allocation, sizeof allocation)) {
                reserved_ = target;
                return Error::None;
            }
            const DWORD code = GetLastError();
            if (code != ERROR_DISK_FULL && code != ERROR_HANDLE_DISK_FULL) {
                preallocates_ = false;  // not supported here: writes will tell
                return Error::None;
            }
        }
        return Error::MediumFull;
    }

    Error Close() override {
        if (file_ == INVALID_HANDLE_VALUE) return Error::None;
        const BOOL closed = CloseHandle(file_);
        file_ = INVALID_HANDLE_VALUE;
        return closed ? Error::None : ErrorFromSystem(GetLastError());
    }

private:
    HANDLE file_ = INVALID_HANDLE_VALUE;
    std::uint64_t position_ = 0;  // the file pointer: a new file starts at 0
    std::uint64_t reserved_ = 0;
    bool preallocates_ = true;
};

class Win32FileSource final : public ReadSource {
public:
    Win32FileSource(HANDLE file, std::uint64_t size) : file_(file), size_(size) {}
    ~Win32FileSource() override { CloseHandle(file_); }

    std::uint64_t Size() const override { return size_; }

    bool ReadAt(std::uint64_t offset, void* data, std::size_t size) override {
        if (offset > size_ || size > size_ - offset) return false;
        if (!MoveTo(file_, position_, offset)) return false;
        auto* bytes = static_cast<std::uint8_t*>(data);
        while (size > 0) {
            const DWORD piece = size < kMaxTransfer ? static_cast<DWORD>(size) : kMaxTransfer;
            DWORD got = 0;
            if (!ReadFile(file_, bytes, piece, &got, nullptr) || got == 0) {
                position_ = kUnknownPosition;
                return false;
            }
            position_ += got;
            bytes += got;
            size -= got;
        }
        return true;
    }

private:
    HANDLE file_;
    std::uint64_t size_;
    std::uint64_t position_ = 0;  // the file pointer: a file opens at 0
};

}  // namespace

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
            error = "cannot open the file (system error " + std::to_string(code) + ")";
        } catch (const std::bad_alloc&) {
            error = "out of memory";  // short enough to need no allocation
        }
        return nullptr;
    }
    // A pipe, a console or another device is no archive.
    if (GetFileType(file) != FILE_TYPE_DISK) {
        CloseHandle(file);
        error = "not a regular file";
        return nullptr;
    }
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file, &size) || size.QuadPart < 0) {
        CloseHandle(file);
        error = "cannot query the file's size";
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
