#include "tests/support/system_faults.h"

#include <errno.h>

#include <cstddef>
#include <cstring>
#include <filesystem>
#include <type_traits>

#include "platform/posix/syscalls.h"

namespace {

// Which modes a call can meet: every call can fail; those that wait can be
// interrupted; reads and writes can also move fewer bytes than asked.
enum Kind { Plain, Waits, Moves, Releases };

struct Plan : FaultPlan {
    unsigned long count = 0;
    FaultedCall fault;
} g_plan;

bool Applies(const char* name, Kind kind)
{
    if (g_plan.only != nullptr && std::strcmp(name, g_plan.only) != 0)
        return false;
    switch (g_plan.mode) {
    case FaultMode::Error: return true;
    case FaultMode::Interrupt: return kind == Waits || kind == Moves;
    case FaultMode::Short: return kind == Moves;
    }
    return false;
}

// The file a call is about: its path, or the file its descriptor stands for.
std::string Target(int fd)
{
    std::error_code error;
    return std::filesystem::read_symlink("/proc/self/fd/" + std::to_string(fd), error).string();
}
std::string Target(const char* path) { return path; }
std::string Target(DIR* folder) { return Target(dirfd(folder)); }
template <typename First, typename... Rest>
std::string TargetOf(First first, Rest...)
{
    if constexpr (std::is_same_v<First, int> || std::is_same_v<First, DIR*> || std::is_same_v<First, const char*>)
        return Target(first);
    return std::string();
}
// The *at() calls name a path below a folder.
template <typename... Rest>
std::string TargetOf(int folder, const char* path, Rest...)
{
    return folder == AT_FDCWD || path[0] == '/' ? Target(path) : Target(folder) + "/" + path;
}

template <typename Value>
void Halve(Value&) {}
void Halve(size_t& size) { size -= size / 2; }

// A read or a write with half the room: the size argument halved.
template <typename Call, typename... Args>
auto ShortCall(Call system, Args... args)
{
    (Halve(args), ...);
    return system(args...);
}
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

// An open of an unnamed file (O_TMPFILE), which a plan may refuse.
template <typename... Args>
bool OpensUnnamed(Args...) { return false; }
bool OpensUnnamed(const char*, int flags, mode_t) { return (flags & O_TMPFILE) == O_TMPFILE; }
bool OpensUnnamed(int, const char*, int flags, mode_t) { return (flags & O_TMPFILE) == O_TMPFILE; }

template <typename Result>
Result Failed()
{
    if constexpr (std::is_pointer_v<Result>)
        return nullptr;
    else
        return -1;
}

template <typename Signature, Signature sys::Calls::*Entry>
struct Faulty;

template <typename Result, typename... Args, Result (*sys::Calls::*Entry)(Args...)>
struct Faulty<Result (*)(Args...), Entry> {
    static const char* name;
    static int error;
    static Kind kind;

    static Result Call(Args... args)
    {
        auto system = sys::kSystemCalls.*Entry;
        if (!g_plan.unnamedFiles && OpensUnnamed(args...)) {
            errno = EOPNOTSUPP;
            return Failed<Result>();
        }
        if (!Applies(name, kind) || (++g_plan.count != g_plan.nth && !g_plan.every))
            return system(args...);
        const int code = g_plan.error != 0 ? g_plan.error : error;
        g_plan.fault = {name, g_plan.mode == FaultMode::Error ? code : 0, TargetOf(args...)};
        if (g_plan.mode == FaultMode::Short)
            return ShortCall(system, args...);
        if (kind == Releases)
            system(args...);  // the descriptor is gone even when the call fails
        errno = g_plan.mode == FaultMode::Error ? code : EINTR;
        return Failed<Result>();
    }
};

#define TVP_FAULTY(call, errorNumber, callKind)                                                        \
    template <>                                                                                        \
    const char* Faulty<decltype(sys::Calls::call), &sys::Calls::call>::name = #call;                   \
    template <>                                                                                        \
    int Faulty<decltype(sys::Calls::call), &sys::Calls::call>::error = errorNumber;                    \
    template <>                                                                                        \
    Kind Faulty<decltype(sys::Calls::call), &sys::Calls::call>::kind = callKind;
#define TVP_FAULT_CALLS(X)                                                                             \
    X(open, EACCES, Waits) X(openat, EMFILE, Waits) X(close, EIO, Releases) X(read, EIO, Moves) X(readv, EIO, Moves) \
    X(write, ENOSPC, Moves) X(pread, EIO, Moves) X(pwrite, ENOSPC, Moves) X(fstat, EIO, Plain)        \
    X(fstatat, EACCES, Plain) X(flock, EWOULDBLOCK, Plain) X(fcntl, EMFILE, Plain)                    \
    X(ftruncate, EIO, Plain) X(fallocate, ENOSPC, Waits) X(unlinkat, EBUSY, Plain)                    \
    X(renameat2, EDQUOT, Plain) X(linkat, ENOSPC, Plain) X(mkdirat, ENOSPC, Plain)                    \
    X(getcwd, ENOENT, Plain) X(chdir, EACCES, Plain) X(opendir, EACCES, Plain) X(readdir, EIO, Plain) \
    X(closedir, EIO, Releases)
TVP_FAULT_CALLS(TVP_FAULTY)

#define TVP_ENTRY(call, errorNumber, callKind) \
    sys::g_calls.call = Faulty<decltype(sys::Calls::call), &sys::Calls::call>::Call;

}  // namespace

void ArmFaults(const FaultPlan& plan)
{
    g_plan = Plan();
    static_cast<FaultPlan&>(g_plan) = plan;
    TVP_FAULT_CALLS(TVP_ENTRY)
}

unsigned long DisarmFaults()
{
    sys::g_calls = sys::kSystemCalls;
    return g_plan.count;
}

const FaultedCall& LastFault()
{
    return g_plan.fault;
}

const char* FaultModeName(FaultMode mode)
{
    return mode == FaultMode::Error ? "error" : mode == FaultMode::Interrupt ? "EINTR" : "short";
}
