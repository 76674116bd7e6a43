// tvpack pack: PackMod for each mod file in turn, on the console log.
//
// A mod counts as packed only when the packer says it wrote its closing
// success line and the archive then reads back as a compound file holding as
// many streams as the packer added. Everything else (a file that is not a mod
// file, no mod directory, an archive kept on --skip or No, any reported error,
// a cancelled batch) makes the exit status 1. After a failed step the file it
// was about and the system's reason follow the pane's texts.
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
    std::error_code error;
    if (g_modOutcome == ModOutcome::NotFilled && fs::exists(fs::symlink_status(archive, error)))
        return u"the half-written archive " + Quoted(PathText(archive)) + u" could not be deleted";
    if (g_modOutcome != ModOutcome::NoModDirectory)
        return u"see the messages above";
    if (!fs::exists(modFile, error))
        return u"no such file";
    return u"no mod directory " + Quoted(PathText(modFile.stem())) + u" beside it";
}

// The archive the packer just reported as created, read back: its structure
// is checked whole (every chain and directory entry) and each name header is
// read; the files in the streams are what the packer just wrote and are not
// read again.
std::u16string CheckPackedArchive(const std::u16string& fullPath, ModArchive* archive)
{
    fs::path archivePath = NativePath(fullPath).replace_extension(".tvp");
    std::u16string problem = archive->Open(archivePath);
    if (!problem.empty())
        return problem;
    std::uint32_t added = g_fileNumber - 1;
    if (archive->Streams().size() != added)
        return u"it holds " + Decimal(archive->Streams().size()) + u" streams instead of " + Decimal(added);
    return std::u16string();
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

        PackResult result = PackMod(ToPlatformText(fullPath).c_str());
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
            ModArchive archive;
            std::u16string problem = CheckPackedArchive(fullPath, &archive);
            if (!problem.empty()) {
                Note(Quoted(mods[i]) + u": the archive does not read back: " + problem);
                status = kExitFailure;
            }
            // Written all the same: the warning is for whoever takes the mod to Windows.
            for (const WindowsNameFinding& finding : FindWindowsNames(archive.Streams()))
                Note(Quoted(mods[i]) + u": warning: " + finding.text);
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
