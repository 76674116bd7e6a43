// Faults in the Windows file calls, the twin of the native system-call table:
// the test program's own import table is the table. Every call the packer,
// the compound-file component and tvpack make to the system goes through one
// slot of the program's imports from the system, so ArmFaults() points the
// slots of the calls below at stand-ins that count the calls and fail the
// nth, with a code that call really returns. Windows file calls are not
// interrupted, and a read or a write on a file moves all its bytes or fails
// (a read comes short only at the file's end), so only Error applies.
// DisarmFaults() puts the system's calls back.
//
// Left out: FindNextFileW, whose failure the packer takes for the end of the
// listing, as the native layer, which reads a whole directory when its search
// opens, never fails it; GetFullPathNameW, which touches no file.
#include "tests/support/system_faults.h"

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <type_traits>

namespace {

enum Kind { Plain, Releases };

struct Entry {
    const char* name;
    Kind kind;
    DWORD error;
    std::uintptr_t failure;  // the value the call returns when it fails
    void* fault;             // the stand-in
    void* system;            // the system's own
};

struct Plan {
    FaultPlan plan;
    unsigned long count = 0;
    FaultedCall fault;
} g_plan;

bool Applies(const char* name)
{
    return g_plan.plan.mode == FaultMode::Error && (g_plan.plan.only == nullptr || std::strcmp(name, g_plan.plan.only) == 0);
}

std::string Narrow(const wchar_t* text)
{
    std::string narrow;
    for (; text != nullptr && *text != 0; ++text)
        narrow += *text < 0x80 ? static_cast<char>(*text) : '?';
    return narrow;
}

// The file a call is about: its path (a search's folder), or the file its
// handle stands for.
std::string Target(const wchar_t* path)
{
    std::string target = Narrow(path);
    return target.size() > 2 && target.compare(target.size() - 2, 2, "\\*") == 0 ? target.substr(0, target.size() - 2)
                                                                                 : target;
}
std::string Target(HANDLE file)
{
    wchar_t path[MAX_PATH + 8];
    DWORD length = GetFinalPathNameByHandleW(file, path, MAX_PATH, FILE_NAME_NORMALIZED);
    return length > 0 && length < MAX_PATH ? Narrow(path) : std::string();
}
template <typename First, typename... Rest>
std::string TargetOf(First first, Rest...)
{
    if constexpr (std::is_same_v<First, HANDLE> || std::is_same_v<First, LPCWSTR>)
        return Target(first);
    return std::string();
}
inline std::string TargetOf()
{
    return std::string();
}

// Standard output and error are left alone, as the native table leaves the
// C library's streams.
template <typename First, typename... Rest>
bool OnConsole(First first, Rest...)
{
    if constexpr (std::is_same_v<First, HANDLE>)
        return first == GetStdHandle(STD_OUTPUT_HANDLE) || first == GetStdHandle(STD_ERROR_HANDLE);
    return false;
}
inline bool OnConsole()
{
    return false;
}

extern Entry g_entries[];

template <std::size_t I, typename Signature>
struct Faulty;

template <std::size_t I, typename Result, typename... Args>
struct Faulty<I, Result(WINAPI*)(Args...)> {
    static Result WINAPI Call(Args... args)
    {
        const Entry& entry = g_entries[I];
        auto system = reinterpret_cast<Result(WINAPI*)(Args...)>(entry.system);
        if (!Applies(entry.name) || OnConsole(args...) || (++g_plan.count != g_plan.plan.nth && !g_plan.plan.every))
            return system(args...);
        const DWORD error = g_plan.plan.error != 0 ? static_cast<DWORD>(g_plan.plan.error) : entry.error;
        g_plan.fault = {entry.name, static_cast<int>(error), TargetOf(args...)};
        if (entry.kind == Releases)
            system(args...);  // the handle is gone even when the call fails
        SetLastError(error);
        if constexpr (std::is_pointer_v<Result>)
            return reinterpret_cast<Result>(entry.failure);
        else
            return static_cast<Result>(entry.failure);
    }
};

#define TVP_WIN_CALLS(X)                                                                                          \
    X(0, CreateFileW, Plain, ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE)                                          \
    X(1, ReadFile, Plain, ERROR_READ_FAULT, FALSE) X(2, WriteFile, Plain, ERROR_DISK_FULL, FALSE)                \
    X(3, CloseHandle, Releases, ERROR_INVALID_HANDLE, FALSE)                                                     \
    X(4, SetFilePointerEx, Plain, ERROR_NEGATIVE_SEEK, FALSE)                                                    \
    X(5, SetFileInformationByHandle, Plain, ERROR_ACCESS_DENIED, FALSE)                                          \
    X(6, SetEndOfFile, Plain, ERROR_DISK_FULL, FALSE) X(7, MoveFileExW, Plain, ERROR_ACCESS_DENIED, FALSE)       \
    X(8, DeleteFileW, Plain, ERROR_ACCESS_DENIED, FALSE)                                                         \
    X(9, GetFileAttributesW, Plain, ERROR_ACCESS_DENIED, INVALID_FILE_ATTRIBUTES)                                \
    X(10, GetFileSizeEx, Plain, ERROR_INVALID_FUNCTION, FALSE) X(11, GetFileType, Plain, ERROR_INVALID_HANDLE, 0) \
    X(12, GetFileInformationByHandle, Plain, ERROR_INVALID_FUNCTION, FALSE)                                      \
    X(13, CreateDirectoryW, Plain, ERROR_DISK_FULL, FALSE)                                                       \
    X(14, FindFirstFileExW, Plain, ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE)                                    \
    X(15, FindClose, Releases, ERROR_INVALID_HANDLE, FALSE)                                                     \
    X(16, GetCurrentDirectoryW, Plain, ERROR_ACCESS_DENIED, 0) X(17, SetCurrentDirectoryW, Plain, ERROR_ACCESS_DENIED, FALSE)

#define TVP_WIN_ENTRY(index, call, kind, error, failure)                                                       \
    {#call, kind, error, reinterpret_cast<std::uintptr_t>((HANDLE)(failure)),                                  \
     reinterpret_cast<void*>(&Faulty<index, decltype(&::call)>::Call), nullptr},

Entry g_entries[] = {TVP_WIN_CALLS(TVP_WIN_ENTRY)};

// Points every import slot of the calls above at the stand-in or back at the
// system's call.
void Patch(bool faulty)
{
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
            for (Entry& entry : g_entries) {
                if (std::strcmp(name, entry.name) != 0)
                    continue;
                if (entry.system == nullptr)
                    entry.system = reinterpret_cast<void*>(slots->u1.Function);
                DWORD old = 0;
                VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE, &old);
                slots->u1.Function = reinterpret_cast<ULONG_PTR>(faulty ? entry.fault : entry.system);
                VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, old, &old);
            }
        }
    }
}

}  // namespace

// Windows files always have a name: plan.unnamedFiles changes nothing here.
void ArmFaults(const FaultPlan& plan)
{
    g_plan = Plan();
    g_plan.plan = plan;
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
