#include "cli/failure_reason.h"

#include "cli/native_path.h"
#include "cli/system_reason.h"
#include "cli/text.h"

namespace {

// An archive call that failed on its own terms, not on a system call's.
std::u16string StorageReason(HRESULT result)
{
    switch (result) {
    case STG_E_DOCFILETOOLARGE: return u"the archive would outgrow the largest size a mod archive can have";
    case STG_E_INSUFFICIENTMEMORY: return u"out of memory";
    case STG_E_MEDIUMFULL: return u"the disk is full";
    case STG_E_ACCESSDENIED: return u"access denied";
    default: break;
    }
    return u"the archive refused it (0x" + Hex(static_cast<std::uint32_t>(result), 8) + u")";
}

std::u16string Reason(const FailedStep& step)
{
    switch (step.cause) {
    case FailureCause::None: return std::u16string();
    case FailureCause::SystemCall: return SystemReason(step.error);
    case FailureCause::Storage: return StorageReason(step.result);
    case FailureCause::TooLarge: return u"too large for a mod archive";
    case FailureCause::Changed: return u"it changed while it was read";
    case FailureCause::NoMemory: return u"not enough memory to hold the whole file";
    case FailureCause::PathTooLong:
        return u"the path is longer than the " + Decimal(kPathChars - 1) + u" characters the packer allows";
    }
    return std::u16string();
}

}  // namespace

std::u16string FailureLine(const std::u16string& modFile, const FailedStep& step)
{
    std::u16string reason = Reason(step);
    if (reason.empty())
        return reason;
    // The packer names files relative to the mod file's folder, except in
    // its first steps, which use full paths: those are made relative too.
    fs::path folder = NativePath(modFile).parent_path();
    fs::path path = NativePath(FromPlatformText(step.path));
    if (path.is_absolute()) {
        fs::path relative = path.lexically_relative(NativePath(AbsolutePath(modFile)).parent_path());
        if (!relative.empty() && *relative.begin() != "..")
            path = relative == "." ? fs::path() : relative;
    }
    fs::path onDisk = step.path[0] == 0 ? NativePath(modFile) : folder / path;
    if (step.entry[0] != 0)
        onDisk /= NativePath(FromPlatformText(step.entry));
    if (step.inArchive) {
        fs::path archive = NativePath(modFile).replace_extension(".tvp");
        return Printable(PathText(archive)) + u": " + reason + u" (while adding " + Printable(PathText(onDisk)) + u")";
    }
    return Printable(PathText(onDisk)) + u": " + reason;
}
