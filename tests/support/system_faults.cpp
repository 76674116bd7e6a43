// Natively the table is the system-call table (platform/posix/syscalls.h); on
// Windows it is the test program's own import table, through whose slots the
// packer, the compound-file component and tvpack make every call to the
// system: ArmFaults() points the slots of the calls below at the stand-ins.
// Windows file calls are not interrupted, and a read or a write on a file
// moves all its bytes or fails (a read comes short only at the file's end),
// so there only Error applies; and as its files always have a name,
// plan.unnamedFiles changes nothing there. Left out there: FindNextFileW,
// whose failure the packer takes for the end of the listing, as the native
// layer, which reads a whole directory when its search opens, never fails it;
// GetFullPathNameW, which touches no file.
#include "tests/support/system_faults.h"

#include <errno.h>

#include <cstdint>
#include <cstring>
#include <type_traits>

#ifdef _WIN32
#include <windows.h>
#define TVP_CALL WINAPI
#else
#include <filesystem>

#include "platform/posix/syscalls.h"
#define TVP_CALL
#endif

namespace {

// Which modes a call can meet: every call can fail; those that wait can be
// interrupted; reads and writes can also move fewer bytes than asked. A call
// that releases a descriptor releases it even when it fails.
enum Kind { Plain, Waits, Moves, Releases };

struct Entry {
    const char* name;
    Kind kind;
    int error;               // the error it returns when faulted, one it really returns
    std::uintptr_t failure;  // the value it returns when it fails
    void* fault;             // the stand-in
    void* system;            // the system's own
};

struct Plan : FaultPlan {
    unsigned long count = 0;
    FaultedCall fault;
} g_plan;

// The file a call is about: its path (a search's folder), or the file its
// descriptor stands for.
template <typename Value>
std::string Target(Value) { return std::string(); }
#ifdef _WIN32
std::string Target(const wchar_t* path)
{
    std::string narrow;
    for (; path != nullptr && *path != 0; ++path)
        narrow += *path < 0x80 ? static_cast<char>(*path) : '?';
    const bool search = narrow.size() > 2 && narrow.compare(narrow.size() - 2, 2, "\\*") == 0;
    return search ? narrow.substr(0, narrow.size() - 2) : narrow;
}
std::string Target(HANDLE file)
{
    wchar_t path[MAX_PATH + 8];
    DWORD length = GetFinalPathNameByHandleW(file, path, MAX_PATH, FILE_NAME_NORMALIZED);
    return length > 0 && length < MAX_PATH ? Target(static_cast<const wchar_t*>(path)) : std::string();
}
#else
std::string Target(int fd)
{
    std::error_code error;
    return std::filesystem::read_symlink("/proc/self/fd/" + std::to_string(fd), error).string();
}
std::string Target(const char* path) { return path; }
std::string Target(DIR* folder) { return Target(dirfd(folder)); }
// The *at() calls name a path below a folder.
template <typename... Rest>
std::string TargetOf(int folder, const char* path, Rest...)
{
    return folder == AT_FDCWD || path[0] == '/' ? Target(path) : Target(folder) + "/" + path;
}
#endif
template <typename First, typename... Rest>
std::string TargetOf(First first, Rest...) { return Target(first); }

// The standard streams are left alone: with standard error gone nothing
// could be told, and a row of tvpack's own checks standard output that
// can't be written.
template <typename First, typename... Rest>
bool OnConsole([[maybe_unused]] First first, Rest...)
{
#ifdef _WIN32
    if constexpr (std::is_same_v<First, HANDLE>)
        return first == GetStdHandle(STD_OUTPUT_HANDLE) || first == GetStdHandle(STD_ERROR_HANDLE);
#else
    if constexpr (std::is_same_v<First, int>)
        return first >= STDIN_FILENO && first <= STDERR_FILENO;
#endif
    return false;
}

template <typename Value>
void Halve(Value&) {}
[[maybe_unused]] void Halve(size_t& size) { size -= size / 2; }

// A read or a write with half the room: the size argument halved.
template <typename Call, typename... Args>
auto ShortCall(Call system, Args... args)
{
    (Halve(args), ...);
    return system(args...);
}

// An open of an unnamed file (O_TMPFILE), which a plan may refuse.
template <typename... Args>
bool OpensUnnamed(Args...) { return false; }
#ifndef _WIN32
bool OpensUnnamed(const char*, int flags, mode_t) { return (flags & O_TMPFILE) == O_TMPFILE; }
bool OpensUnnamed(int, const char*, int flags, mode_t) { return (flags & O_TMPFILE) == O_TMPFILE; }

// readv(): the same parts with half the room in all (ReadFile asks for two at most).
ssize_t ShortCall(ssize_t (*system)(int, const iovec*, int), int fd, const iovec* parts, int count)
{
    iovec halved[2] = {};
    std::size_t room = 0;
    for (int i = 0; i < count; ++i)
        room += parts[i].iov_len;
    room -= room / 2;
    for (int i = 0; i < count; ++i) {
        halved[i] = {parts[i].iov_base, parts[i].iov_len < room ? parts[i].iov_len : room};
        room -= halved[i].iov_len;
    }
    return system(fd, halved, count);
}
#endif

template <typename Result>
Result Fail(const Entry& entry, int error)
{
#ifdef _WIN32
    SetLastError(static_cast<DWORD>(error));
#else
    errno = error;
#endif
    return (Result)entry.failure;
}

// From ArmFaults() on, every call the plan's mode applies to is counted, and
// the nth one (or every one) fails, is interrupted or comes short.
template <Entry* entry, typename Signature>
struct Faulty;

template <Entry* entry, typename Result, typename... Args>
struct Faulty<entry, Result(TVP_CALL*)(Args...)> {
    static Result TVP_CALL Call(Args... args)
    {
        auto system = reinterpret_cast<Result(TVP_CALL*)(Args...)>(entry->system);
        if (!g_plan.unnamedFiles && OpensUnnamed(args...))
            return Fail<Result>(*entry, EOPNOTSUPP);
        const bool meets = g_plan.mode == FaultMode::Error || entry->kind == Moves ||
                           (g_plan.mode == FaultMode::Interrupt && entry->kind == Waits);
        if (!meets || (g_plan.only != nullptr && std::strcmp(entry->name, g_plan.only) != 0) || OnConsole(args...) ||
            (++g_plan.count != g_plan.nth && !g_plan.every))
            return system(args...);
        const int error = g_plan.error != 0 ? g_plan.error : entry->error;
        g_plan.fault = {entry->name, g_plan.mode == FaultMode::Error ? error : 0, TargetOf(args...)};
        if (g_plan.mode == FaultMode::Short)
            return ShortCall(system, args...);
        if (entry->kind == Releases)
            system(args...);
        return Fail<Result>(*entry, g_plan.mode == FaultMode::Error ? error : EINTR);
    }
};

// Each call: its kind, the error it is failed with, the value it then returns.
#ifdef _WIN32
#define TVP_FAULT_CALLS(X)                                                                                          \
    X(CreateFileW, Plain, ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE) X(ReadFile, Plain, ERROR_READ_FAULT, 0)        \
    X(WriteFile, Plain, ERROR_DISK_FULL, 0) X(CloseHandle, Releases, ERROR_INVALID_HANDLE, 0)                       \
    X(SetFilePointerEx, Plain, ERROR_NEGATIVE_SEEK, 0) X(SetFileInformationByHandle, Plain, ERROR_ACCESS_DENIED, 0) \
    X(SetEndOfFile, Plain, ERROR_DISK_FULL, 0) X(MoveFileExW, Plain, ERROR_ACCESS_DENIED, 0)                        \
    X(DeleteFileW, Plain, ERROR_ACCESS_DENIED, 0) X(GetFileAttributesW, Plain, ERROR_ACCESS_DENIED, INVALID_FILE_ATTRIBUTES) \
    X(GetFileSizeEx, Plain, ERROR_INVALID_FUNCTION, 0) X(GetFileType, Plain, ERROR_INVALID_HANDLE, 0)               \
    X(GetFileInformationByHandle, Plain, ERROR_INVALID_FUNCTION, 0) X(CreateDirectoryW, Plain, ERROR_DISK_FULL, 0)  \
    X(FindFirstFileExW, Plain, ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE) X(FindClose, Releases, ERROR_INVALID_HANDLE, 0) \
    X(GetCurrentDirectoryW, Plain, ERROR_ACCESS_DENIED, 0) X(SetCurrentDirectoryW, Plain, ERROR_ACCESS_DENIED, 0)
#define TVP_SIGNATURE(call) decltype(&::call)
#define TVP_SYSTEM(call) nullptr  // found in the import table
#else
#define TVP_FAULT_CALLS(X)                                                                                          \
    X(open, Waits, EACCES, -1) X(openat, Waits, EMFILE, -1) X(close, Releases, EIO, -1) X(read, Moves, EIO, -1)      \
    X(readv, Moves, EIO, -1) X(write, Moves, ENOSPC, -1) X(pread, Moves, EIO, -1) X(pwrite, Moves, ENOSPC, -1)       \
    X(fstat, Plain, EIO, -1) X(fstatat, Plain, EACCES, -1) X(flock, Plain, EWOULDBLOCK, -1) X(fcntl, Plain, EMFILE, -1) \
    X(ftruncate, Plain, EIO, -1) X(fallocate, Waits, ENOSPC, -1) X(unlinkat, Plain, EBUSY, -1)                      \
    X(renameat2, Plain, EDQUOT, -1) X(linkat, Plain, ENOSPC, -1) X(mkdirat, Plain, ENOSPC, -1)                      \
    X(getcwd, Plain, ENOENT, 0) X(chdir, Plain, EACCES, -1) X(opendir, Plain, EACCES, 0) X(readdir, Plain, EIO, 0)   \
    X(closedir, Releases, EIO, -1)
#define TVP_SIGNATURE(call) decltype(sys::Calls::call)
#define TVP_SYSTEM(call) reinterpret_cast<void*>(sys::kSystemCalls.call)
#endif
#define TVP_ENTRY(call, kind, error, failure)                                                                  \
    Entry g_##call = {#call, kind, error, (std::uintptr_t)(failure),                                           \
                      reinterpret_cast<void*>(&Faulty<&g_##call, TVP_SIGNATURE(call)>::Call), TVP_SYSTEM(call)};
TVP_FAULT_CALLS(TVP_ENTRY)

// Points the calls above at the stand-ins or back at the system's own.
void Patch(bool faulty)
{
#ifdef _WIN32
#define TVP_LISTED(call, ...) &g_##call,
    Entry* const entries[] = {TVP_FAULT_CALLS(TVP_LISTED)};
    auto* base = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
    auto* headers = reinterpret_cast<IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports = headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto* module = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress); module->Name != 0;
         ++module) {
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(
            base + (module->OriginalFirstThunk != 0 ? module->OriginalFirstThunk : module->FirstThunk));
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + module->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
                continue;
            const char* name = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData)->Name;
            for (Entry* entry : entries) {
                if (std::strcmp(name, entry->name) != 0)
                    continue;
                if (entry->system == nullptr)
                    entry->system = reinterpret_cast<void*>(slots->u1.Function);
                DWORD old = 0;
                VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE, &old);
                slots->u1.Function = reinterpret_cast<ULONG_PTR>(faulty ? entry->fault : entry->system);
                VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, old, &old);
            }
        }
    }
#else
#define TVP_SLOT(call, ...) \
    sys::g_calls.call = faulty ? &Faulty<&g_##call, TVP_SIGNATURE(call)>::Call : sys::kSystemCalls.call;
    TVP_FAULT_CALLS(TVP_SLOT)
#endif
}

}  // namespace

void ArmFaults(const FaultPlan& plan)
{
    g_plan = Plan{plan, 0, {}};
    Patch(true);
}

unsigned long DisarmFaults()
{
    Patch(false);
    return g_plan.count;
}

const FaultedCall& LastFault()
{
    return g_plan.fault;
}

const char* FaultModeName(FaultMode mode)
{
    return mode == FaultMode::Error ? "error" : mode == FaultMode::Interrupt ? "interrupted" : "short";
}
