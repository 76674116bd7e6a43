// tvpack pack: PackMod for each mod file in turn, on the console log.
//
// A mod counts as packed only when the packer says it wrote its closing
// success line and the archive was then completed under its name.
// Everything else (a file that is not a mod file, no mod directory, an
// archive kept on --skip or No, any reported error, a cancelled batch)
// makes the exit status 1. After a failed step the file it was about and
// the system's reason follow the pane's texts.
#include <string>

#include "cli/archive.h"
#include "cli/commands.h"
#include "cli/console.h"
#include "cli/console_output.h"
#include "cli/failure_reason.h"
#include "cli/native_path.h"
#include "cli/text.h"
#include "cli/windows_names.h"
#include "packer/file_counters.h"
#include "packer/mod_outcome.h"
#include "packer/pack_mod.h"
#include "platform/storage_calls.h"

namespace {

void Note(const std::u16string& text)
{
    WriteText(Channel::Err, u"tvpack: " + text + u"\n");
}

// Why a mod that the packer did not pack is not packed.
std::u16string NotPackedReason(const std::u16string& fullPath)
{
    fs::path modFile = NativePath(fullPath);
    if (g_modOutcome == ModOutcome::ArchiveKept)
        return u"the archive exists and was kept";
    // The packer deletes an archive it could not complete; one still there
    // is half-written.
    fs::path archive = fs::path(modFile).replace_extension(".tvp");
    if (g_modOutcome == ModOutcome::NotFilled && KindOf(archive, false) != PathKind::None)
        return ArchiveCompletion().named ? u"the half-written archive " + Quoted(PathText(archive)) + u" could not be deleted"
                                         : u"the archive " + Quoted(PathText(archive)) + u" was left as it was";
    if (g_modOutcome != ModOutcome::NoModDirectory)
        return u"see the messages above";
    std::u16string reason;
    PathKind kind = KindOf(modFile, true, &reason);
    if (kind == PathKind::None)
        return u"no such file";
    if (kind == PathKind::Unknown)
        return u"it can't be looked at: " + reason;
    return u"no mod directory " + Quoted(PathText(modFile.stem())) + u" beside it";
}

// The archive as the packer left it: the storage's final Release(), after the
// success line, completes it and gives it its name, or fails and leaves none.
// Empty when it is complete, else why not. Without word from the storage
// (the system's own library), the archive is read back and its structure
// checked whole.
std::u16string ArchiveProblem(const std::u16string& modFile)
{
    const ArchiveEnd& end = ArchiveCompletion();
    if (end.result == S_OK)
        return std::u16string();
    fs::path archivePath = NativePath(AbsolutePath(modFile)).replace_extension(".tvp");
    if (end.result == S_FALSE) {
        ModArchive archive;
        std::u16string problem = archive.Open(archivePath);
        if (problem.empty() && archive.Streams().size() != g_fileNumber - 1)
            problem = u"it holds " + Decimal(archive.Streams().size()) + u" streams instead of " + Decimal(g_fileNumber - 1);
        return problem.empty() ? problem : u"the archive does not read back: " + problem;
    }
    FailedStep step = {};
    step.cause = end.code != 0 ? FailureCause::SystemCall : FailureCause::Storage;
    step.error = end.code;
    step.result = end.result;
    PlatformText name = ToPlatformText(PathText(archivePath.filename()));
    name.copy(step.path, name.size() < kPathChars ? name.size() : kPathChars - 1);
    return u"the archive could not be completed: " + FailureLine(modFile, step);
}

// The streams the packer added, as the archive's directory and headers would
// tell them.
std::vector<ArchiveStream> g_added;

void NoteAdded(const WCHAR* path)
{
    ArchiveStream stream;
    stream.name = Decimal(g_fileNumber);
    stream.isStream = stream.hasHeader = true;
    stream.path = FromPlatformText(path);
    g_added.push_back(std::move(stream));
}

}  // namespace

int RunPack(const Arguments& arguments)
{
    SetOverwritePolicy(arguments.overwrite ? OverwritePolicy::Yes
                       : arguments.skip    ? OverwritePolicy::No
                                           : OverwritePolicy::Ask);
    int status = kExitSuccess;
    const std::vector<std::u16string>& mods = arguments.operands;
    for (std::size_t i = 0; i < mods.size(); ++i) {
        std::u16string fullPath = AbsolutePath(mods[i]);
        if (fullPath.empty()) {
            FinishConsoleOutput();
            Note(Quoted(mods[i]) + u": the current directory can't be found");
            return kExitFailure;
        }

        g_added.clear();
        g_fileAdded = NoteAdded;
        ArchiveCompletion() = {S_FALSE, 0, true};
        PackResult result = PackMod(ToPlatformText(fullPath).c_str());
        g_fileAdded = nullptr;
        std::u16string failure = FailureLine(mods[i], g_failedStep);
        if (!failure.empty())
            Note(failure);

        if (result == PackResult::Fatal) {
            FinishConsoleOutput();
            if (g_modOutcome == ModOutcome::NoAnswer)
                Note(Quoted(mods[i]) +
                     u": no answer to the overwrite question; use --overwrite or --skip");
            else
                Note(Quoted(mods[i]) + u": the folder of the mod file can't be listed");
            return kExitFailure;
        }
        if (g_modOutcome == ModOutcome::Packed) {
            std::u16string problem = ArchiveProblem(mods[i]);
            if (!problem.empty()) {
                Note(Quoted(mods[i]) + u": " + problem);
                status = kExitFailure;
            } else {
                // Written all the same: the warning is for whoever takes the mod to Windows.
                for (const WindowsNameFinding& finding : FindWindowsNames(g_added))
                    Note(Quoted(mods[i]) + u": warning: " + finding.text);
            }
        } else if (result == PackResult::Done) {
            Note(Quoted(mods[i]) + u": not packed: " + NotPackedReason(fullPath));
            status = kExitFailure;
        }
        if (result == PackResult::Cancelled) {
            FinishConsoleOutput();
            std::size_t left = mods.size() - i;
            Note(u"cancelled; " + Decimal(left) + (left == 1 ? u" mod file" : u" mod files") +
                 u" not packed");
            return kExitFailure;
        }
    }
    FinishConsoleOutput();
    return status;
}
