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
    case FailureCause::Shrank: return u"it became shorter while it was read";
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
    fs::path onDisk = NativePath(modFile).parent_path() / NativePath(FromPlatformText(step.path));
    return Printable(PathText(onDisk)) + u": " + reason;
}
