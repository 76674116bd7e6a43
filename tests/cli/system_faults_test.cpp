// Every system call of each command, failed in turn: a run that ends with
// exit status 0 has done all it was asked, with the same bytes and output as
// an undisturbed run; any other run leaves each file it writes as it was or
// as it would have been (an archive complete or absent, an extracted file
// old or new, nothing else beside them), names the system's reason, and
// closes every descriptor. Interrupted and short calls must not change the
// outcome at all.
#include <gtest/gtest.h>
#include <unistd.h>
#ifdef _WIN32
#include <windows.h>

#include "cli/system_reason.h"
#endif

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>

#include "cli/text.h"
#include "cli/tvpack.h"
#include "packer/mod_outcome.h"
#include "packer/pack_mod.h"
#include "tests/support/system_faults.h"

namespace {

namespace fs = std::filesystem;
using Tree = std::map<std::string, std::string>;  // relative path: bytes ("/" ends a folder's)

#ifdef _WIN32
constexpr bool kWindows = true;
#else
constexpr bool kWindows = false;
#endif

const fs::path kRoot = fs::temp_directory_path() / ("tvp-faults-" + std::to_string(getpid()));

std::string Slurp(const fs::path& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

Tree Read(const fs::path& folder)
{
    Tree tree;
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(folder, error); !error && it != fs::end(it); ++it)
        tree[fs::relative(it->path(), folder).string() + (it->is_directory() ? "/" : "")] =
            it->is_directory() ? "" : Slurp(it->path());
    return tree;
}

void Write(const Tree& tree, const fs::path& folder)
{
    for (const auto& [name, bytes] : tree) {
        fs::create_directories((folder / name).parent_path());
        if (name.back() != '/')
            std::ofstream(folder / name, std::ios::binary) << bytes;
    }
}

// How many descriptors or handles are open. Wine counts no handles, but
// gives each new handle the lowest value free (values go in steps of 4):
// below the highest of 128 new handles, all values but theirs are taken.
long long OpenDescriptors()
{
#ifdef _WIN32
    DWORD handles = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &handles) && handles != 0)
        return handles;
    HANDLE probes[128];
    std::intptr_t highest = 0;
    for (HANDLE& probe : probes)
        highest = std::max(highest, reinterpret_cast<std::intptr_t>(probe = CreateEventW(nullptr, TRUE, FALSE, nullptr)));
    for (HANDLE probe : probes)
        CloseHandle(probe);
    return highest / 4 - 128;
#else
    return static_cast<int>(std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator()));
#endif
}

// The system's words for the error a faulted call returned.
std::string Reason(int error)
{
#ifdef _WIN32
    std::u16string text = SystemReason(static_cast<unsigned long>(error));
    return std::string(text.begin(), text.end());  // English: ASCII
#else
    return error == EWOULDBLOCK ? "another program" : std::strerror(error);
#endif
}

struct Operation {
    const char* name;
    std::vector<std::string> arguments;  // tvpack's; none: the packer in process
    fs::path folder;                     // where it writes, or would
    std::function<void()> prepare;
};

struct Outcome {
    int status;
    std::string output;  // standard output and standard error
    Tree folder;
    unsigned long calls;  // the calls the plan's mode applied to
};

// Runs the operation under `plan`; what it left is read afterwards, with the
// system's calls back.
Outcome RunOnce(const Operation& operation, const FaultPlan& plan)
{
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    int status;
    ArmFaults(plan);
    if (operation.arguments.empty()) {
        const PackResult result = PackMod(ToPlatformText(Widen((operation.folder / "castle.tvx").string())).c_str());
        status = result == PackResult::Fatal ? 3 : g_modOutcome == ModOutcome::Packed ? 0 : 1;  // 0: the success line was written
    } else {
        std::vector<std::u16string> arguments;
        for (const std::string& argument : operation.arguments)
            arguments.push_back(Widen(argument));
        status = RunTvpack(arguments);
    }
    const unsigned long calls = DisarmFaults();
    std::fflush(nullptr);
    std::string output = testing::internal::GetCapturedStdout() + testing::internal::GetCapturedStderr();
    fs::current_path(kRoot);  // a failed chdir may have left it elsewhere
    return {status, output, Read(operation.folder), calls};
}

// What is wrong with `got`, a run with the nth call faulted, next to the
// folder's state before and after an undisturbed run. The packer in process writes its success line before it releases the
// archive, so a failure after that line may only take the archive away; its
// own texts name no reasons (tvpack's rows check those).
std::string Problem(const Outcome& got, const Tree& before, const Outcome& clean, FaultMode mode, bool packer)
{
    for (const auto& [name, bytes] : before)
        if (got.folder.count(name) == 0 && name != "castle.tvp")  // an archive may go; nothing else
            return name + " is gone";
    for (const auto& [name, bytes] : got.folder) {
        auto old = before.find(name), fresh = clean.folder.find(name);
        if ((old == before.end() || old->second != bytes) && (fresh == clean.folder.end() || fresh->second != bytes))
            return name + " is neither as it was nor as it should be";
    }
    if (got.status == 0 && got.output == clean.output && (got.folder == clean.folder || (packer && got.folder == before)))
        return mode == FaultMode::Error || got.folder == clean.folder ? "" : "an interrupted or short call was not retried";
    if (got.status == 0)
        return "exit 0 without the full result";
    if (mode != FaultMode::Error)
        return "an interrupted or short call was not retried";
    // The packer does not act on a failed change of directory: what fails
    // next for that reason is reported.
    const FaultedCall& fault = LastFault();
    for (const char* directoryCall : {"chdir", "getcwd", "SetCurrentDirectoryW", "GetCurrentDirectoryW"})
        packer = packer || std::strcmp(fault.call, directoryCall) == 0;
    if (packer)
        return "";
    std::string reason = Reason(fault.error);
    if (got.output.find(reason) == std::string::npos)
        return "the message lacks \"" + reason + "\"";
    // The file by its name, unless it had none yet (unnamed or temporary:
    // the name it was to have is said) or the call was about no file (a
    // copied descriptor).
    std::string name = fs::path(fault.target).filename().string();
    bool named = name.find(" (deleted)") == std::string::npos && name.find(".tvpack-") == std::string::npos &&
                 fault.target.rfind("/proc/", 0) != 0 && std::strcmp(fault.call, "fcntl") != 0;
    return !named || got.output.find(name) != std::string::npos ? "" : "the message does not name " + name;
}

TEST(SystemFaults, EveryCallFailedInTurnLeavesAllOrNothing)
{
    fs::remove_all(kRoot);  // a run that ended early may have left it (Wine reuses process ids)
    fs::create_directories(kRoot);
    fs::current_path(kRoot);
    const Tree mod = {{"castle.tvx", "tvx"}, {"castle/", ""}, {"castle/a.txt", "a"},
                      {"castle/big.bin", std::string(5000, 'b')}, {"castle/sub/", ""},
                      {"castle/sub/empty", ""}, {"castle/sub/deeper/", ""}, {"castle/sub/deeper/c.txt", "c"}};
    Write(mod, kRoot / "mod");
    const std::string archive = (kRoot / "mod/castle.tvp").string(), out = (kRoot / "out").string();
    ASSERT_EQ(RunTvpack({u"pack", Widen((kRoot / "mod/castle.tvx").string())}), 0);
    const std::string packed = Slurp(archive);
    Tree old;
    for (const auto& [name, bytes] : mod)
        old[name] = name.back() == '/' ? "" : "old " + name;

    auto noArchive = [&] { fs::remove(archive); };
    auto withArchive = [&] { std::ofstream(archive, std::ios::binary) << packed; };
    const Operation operations[] = {
        {"packer", {}, kRoot / "mod", noArchive},
        {"pack", {"pack", (kRoot / "mod/castle.tvx").string()}, kRoot / "mod", noArchive},
        {"pack --overwrite", {"pack", "--overwrite", (kRoot / "mod/castle.tvx").string()}, kRoot / "mod",
         [&] { std::ofstream(archive) << "an older archive"; }},
        {"extract", {"extract", archive, out}, out, [&] { withArchive(), fs::remove_all(out); }},
        {"extract --force", {"extract", "--force", archive, out}, out,
         [&] { withArchive(), fs::remove_all(out), Write(old, out); }},
        {"list", {"list", "--json", archive}, kRoot / "mod", withArchive},
        {"verify", {"verify", archive}, kRoot / "mod", withArchive},
        {"diff", {"diff", archive, (kRoot / "mod/castle.tvx").string()}, kRoot / "mod", withArchive},
    };
    // Once with unnamed files, once as on a file system without them (on
    // Windows, whose files always have a name, once).
    for (int pass = 0; pass < (kWindows ? 1 : 2); ++pass)
    for (const Operation& operation : operations) {
        unsigned long calls[3], broken = 0;
        Outcome clean;
        Tree before;
        FaultPlan plan;
        plan.unnamedFiles = pass == 0;
        for (FaultMode mode : {FaultMode::Error, FaultMode::Interrupt, FaultMode::Short}) {
            plan.mode = mode, plan.nth = 0;
            operation.prepare();
            before = Read(operation.folder);
            clean = RunOnce(operation, plan);
            calls[static_cast<int>(mode)] = clean.calls;
            ASSERT_EQ(clean.status, 0) << operation.name << ": " << clean.output;
            for (plan.nth = 1; plan.nth <= calls[static_cast<int>(mode)]; ++plan.nth) {
                operation.prepare();
                const long long descriptors = OpenDescriptors();
                Outcome got = RunOnce(operation, plan);
                std::string problem = Problem(got, before, clean, mode, operation.arguments.empty());
                if (OpenDescriptors() != descriptors)
                    problem += "; a descriptor was left open";
                const FaultedCall& fault = LastFault();
                broken += problem.empty() ? 0 : 1;
                EXPECT_EQ(problem, "") << operation.name << ", " << FaultModeName(mode) << " at call " << plan.nth
                                       << " (" << fault.call << " on " << fault.target << "): exit " << got.status
                                       << "\n" << got.output;
            }
        }
        std::printf("%s%s: %lu calls x 3 modes (%lu that wait, %lu that move bytes), %s\n", operation.name,
                    pass == 0 ? "" : " (temporary names)", calls[0], calls[1], calls[2],
                    broken == 0 ? "all hold" : (std::to_string(broken) + " do not hold").c_str());
    }
    // A file system that can't preallocate: packing goes on without (under
    // Wine, none can, so every run above is such a pack).
    if (!kWindows) {
        FaultPlan noReserve;
        noReserve.only = "fallocate", noReserve.every = true, noReserve.error = EOPNOTSUPP;
        operations[1].prepare();
        const Outcome got = RunOnce(operations[1], noReserve);
        EXPECT_GT(got.calls, 0u);
        EXPECT_EQ(got.status, 0) << got.output;
        EXPECT_EQ(Slurp(archive), packed);
    }
    fs::current_path(fs::temp_directory_path());
    fs::remove_all(kRoot);
}

#ifndef _WIN32  // the native calls' names
// What the pane says when one kind of call fails at one place, and what
// PackMod returns: the texts the loop above does not look at.
TEST(SystemFaults, PaneTextsOfFailedCalls)
{
    const std::string creating = "Creating mod archive \"castle.tvp\".\nAdding file 3/4\n";
    const std::string notAdded = "Error adding mod directory to mod archive \"castle.tvp\"!\n";
    const std::string notCounted = "Error getting file number in mod directory \"castle\"!\n";
    const struct {
        const char* call;
        unsigned long nth;  // of the calls of that name
        int error;
        int status;        // 1: not packed; 3: a fatal failure, the batch ends
        std::string pane;  // "{root}" stands for the mod's folder
    } cases[] = {
        {"open", 1, EACCES, 1, "Error creating mod archive \"castle.tvp\"!\n"},
        {"pwrite", 2, ENOSPC, 1, creating + "Error writing stream! Storage device is full!\n" + notAdded},
        {"pwrite", 2, EFBIG, 1, creating + "Error writing stream! Storage device is full!\n" + notAdded},
        {"opendir", 1, EACCES, 3, ""},
        {"opendir", 2, EACCES, 1, "Error searching directory \"{root}castle\\*\"!\n" + notCounted},
        {"opendir", 3, EACCES, 1, "Error searching directory \"{root}castle\\sub\\*\"!\n"
                                  "Error getting file count from directory \"{root}castle\\sub\"!\n" + notCounted},
        {"opendir", 5, EACCES, 1, creating + "Error searching directory \"castle\\sub\\*\"!\n" + notAdded},
    };
    const Operation packer = {"packer", {}, kRoot / "pane", [] {}};
    Write({{"castle.tvx", "tvx"}, {"castle/a.txt", "a"}, {"castle/big.bin", std::string(5000, 'b')}, {"castle/sub/c.txt", "c"}},
          packer.folder);
    for (const auto& c : cases) {
        FaultPlan plan;
        plan.only = c.call, plan.nth = c.nth, plan.error = c.error;
        const Outcome got = RunOnce(packer, plan);
        std::string pane = c.pane;
        for (std::size_t at; (at = pane.find("{root}")) != std::string::npos;)
            pane.replace(at, 6, packer.folder.string() + "/");
        EXPECT_EQ(got.output, pane) << c.call << " " << c.nth;
        EXPECT_EQ(got.status, c.status) << c.call << " " << c.nth;
        EXPECT_EQ(got.folder.count("castle.tvp"), 0u) << c.call << " " << c.nth;
    }
    fs::current_path(fs::temp_directory_path());
    fs::remove_all(kRoot);
}
#endif

}  // namespace
