// Windows: file names are UTF-16 already. Names from an archive are held to
// the rules of the Win32 name space, so that no name resolves to something
// other than the file it spells (a device, a stream, a trimmed name).
#include "cli/native_path.h"

#include <windows.h>

#include <vector>

#include "cli/system_reason.h"
#include "cli/text.h"
#include "cli/windows_names.h"
#include "platform/compound_file/file_io.h"

namespace {

// The longest name NTFS and FAT hold, in UTF-16 units.
constexpr std::size_t kNameUnits = 255;

std::wstring Wide(const std::u16string& text)
{
    return std::wstring(text.begin(), text.end());
}

}  // namespace

fs::path NativePath(const std::u16string& text)
{
    return fs::path(Wide(text));
}

std::u16string PathText(const fs::path& path)
{
    const std::wstring& native = path.native();
    return std::u16string(native.begin(), native.end());
}

std::u16string AbsolutePath(const std::u16string& path)
{
    std::wstring wide = Wide(path);
    DWORD needed = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (needed == 0)
        return std::u16string();
    std::vector<wchar_t> buffer(needed + 1);
    DWORD length = GetFullPathNameW(wide.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(),
                                    nullptr);
    if (length == 0 || length >= buffer.size())
        return std::u16string();
    return std::u16string(buffer.begin(), buffer.begin() + length);
}

PathKind KindOf(const fs::path& path, bool followLinks, std::u16string* reason, std::uint64_t* size)
{
    // Opened for no access at all, which no other holder's sharing refuses.
    const DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (followLinks ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
    HANDLE file = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, flags, nullptr);
    BY_HANDLE_FILE_INFORMATION information;
    const bool known = file != INVALID_HANDLE_VALUE && GetFileInformationByHandle(file, &information);
    const DWORD code = known ? 0 : GetLastError();
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    if (!known) {
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND)
            return PathKind::None;
        if (reason != nullptr)
            *reason = SystemReason(code);
        return PathKind::Unknown;
    }
    if (size != nullptr)
        *size = static_cast<std::uint64_t>(information.nFileSizeHigh) << 32 | information.nFileSizeLow;
    return (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? PathKind::Folder : PathKind::File;
}

std::u16string NameProblem(const std::u16string& component)
{
    switch (FindWindowsNameFault(component)) {
    case WindowsNameFault::ControlCharacter: return u"holds a control character";
    case WindowsNameFault::ReservedCharacter: return u"holds a character that Windows file names can't hold";
    case WindowsNameFault::DotName: return u"stands for a folder itself or the one above it";
    case WindowsNameFault::TrailingDotOrSpace: return u"ends in a dot or a space, which Windows would drop";
    case WindowsNameFault::DeviceName: return u"names a device";
    // NTFS holds any UTF-16, lone surrogates included.
    case WindowsNameFault::NotUtf8:
    case WindowsNameFault::BackslashStandIn:
    case WindowsNameFault::None: break;
    }
    if (component.size() > kNameUnits)
        return u"is longer than the " + Decimal(kNameUnits) + u" characters a file name can have";
    return std::u16string();
}

fs::path::string_type NameOnDisk(const std::u16string& component)
{
    std::wstring name = Wide(component);
    if (!name.empty())
        CharUpperBuffW(&name[0], static_cast<DWORD>(name.size()));
    return name;
}

std::unique_ptr<cfb::ReadSource> OpenArchiveSource(const fs::path& path, std::string* error)
{
    return cfb::OpenFileSource(path.c_str(), *error);
}
