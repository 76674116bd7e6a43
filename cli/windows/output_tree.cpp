// Windows: the folder and every folder on the way to a file are held open
// without delete sharing while the file is written, so none of them can be
// renamed, removed or replaced by a junction meanwhile; each is opened as
// itself (FILE_FLAG_OPEN_REPARSE_POINT) and refused when it is a link.
#include "cli/output_tree.h"

#include <windows.h>

#include "cli/system_reason.h"
#include "cli/text.h"
#include "platform/compound_file/file_io.h"

namespace {

HANDLE AsHandle(std::intptr_t handle)
{
    return reinterpret_cast<HANDLE>(handle);
}

bool IsMissing(DWORD code)
{
    return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND;
}

// Opens a folder as itself, sharing reading and writing but not deletion.
// `followLink` opens what a link at the path points to instead.
HANDLE HoldFolder(const fs::path& path, bool followLink)
{
    return CreateFileW(path.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       nullptr, OPEN_EXISTING,
                       FILE_FLAG_BACKUP_SEMANTICS | (followLink ? 0 : FILE_FLAG_OPEN_REPARSE_POINT), nullptr);
}

// Empty when `folder` is a plain folder, else why not.
std::u16string PlainFolderProblem(HANDLE folder)
{
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(folder, &info))
        return u"can't be looked at: " + SystemReason(GetLastError());
    return (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
                   (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0
               ? std::u16string()
               : u"is not a plain folder";
}

FileIdentity IdentityFrom(const BY_HANDLE_FILE_INFORMATION& info)
{
    return FileIdentity{info.dwVolumeSerialNumber,
                        (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

// Creates a new, empty file under a name no other file in `folder` has and
// stores that name. Every file extract writes starts here, marked for
// deletion, and is renamed into place only when complete.
HANDLE CreateTemporary(const fs::path& folder, std::wstring* name)
{
    static unsigned created = 0;
    for (int attempt = 0; attempt < 1000; ++attempt) {
        *name = L".tvpack-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++created);
        HANDLE file = cfb::CreateMarkedFile((folder / *name).c_str());
        if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS)
            return file;
    }
    return INVALID_HANDLE_VALUE;
}

}  // namespace

OutputTree::~OutputTree()
{
    if (handle_ != -1)
        CloseHandle(AsHandle(handle_));
}

std::u16string OutputTree::OpenRoot(bool create)
{
    // The folder named on the command line may itself be a link.
    HANDLE folder = HoldFolder(root_, true);
    if (folder == INVALID_HANDLE_VALUE) {
        DWORD code = GetLastError();
        return IsMissing(code) && !create ? std::u16string() : SystemReason(code);
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(folder, &info)) {
        const DWORD code = GetLastError();
        CloseHandle(folder);
        return SystemReason(code);
    }
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        CloseHandle(folder);
        return u"not a folder";
    }
    if (handle_ != -1)
        CloseHandle(AsHandle(handle_));
    handle_ = reinterpret_cast<std::intptr_t>(folder);
    return std::u16string();
}

std::u16string OutputTree::Look(const std::vector<std::u16string>& components, std::vector<OnDisk>* kinds) const
{
    kinds->clear();
    if (handle_ == -1) {
        kinds->push_back(OnDisk::Missing);
        return std::u16string();
    }
    for (std::size_t i = 0; i < components.size(); ++i) {
        DWORD attributes = GetFileAttributesW(PathOf(components, i + 1).c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            DWORD code = GetLastError();
            if (!IsMissing(code))
                return SystemReason(code);
            kinds->push_back(OnDisk::Missing);
            break;
        }
        kinds->push_back((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? OnDisk::Link
                         : (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0   ? OnDisk::Folder
                                                                          : OnDisk::File);
        if (kinds->back() != OnDisk::Folder)
            break;
    }
    return std::u16string();
}

OutputFile::~OutputFile()
{
    Discard();
}

std::u16string OutputFile::Create(const OutputTree& tree, const std::vector<std::u16string>& components)
{
    path_ = tree.PathOf(components, components.size());
    name_ = NativePath(components.back()).native();
    for (std::size_t i = 0; i + 1 < components.size(); ++i) {
        const fs::path at = tree.PathOf(components, i + 1);
        DWORD code = CreateDirectoryW(at.c_str(), nullptr) ? ERROR_SUCCESS : GetLastError();
        if (code != ERROR_SUCCESS && code != ERROR_ALREADY_EXISTS)
            return u"folder " + Quoted(PathText(at)) + u" can't be created: " + SystemReason(code);
        HANDLE folder = HoldFolder(at, false);
        if (folder == INVALID_HANDLE_VALUE) {
            code = GetLastError();
            return u"folder " + Quoted(PathText(at)) + u" can't be opened: " + SystemReason(code);
        }
        folders_.push_back(reinterpret_cast<std::intptr_t>(folder));
        const std::u16string problem = PlainFolderProblem(folder);
        if (!problem.empty())
            return u"folder " + Quoted(PathText(at)) + u" " + problem;
    }
    HANDLE file = CreateTemporary(path_.parent_path(), &temporary_);
    if (file == INVALID_HANDLE_VALUE) {
        DWORD code = GetLastError();
        temporary_.clear();
        return u"can't be created: " + SystemReason(code);
    }
    file_ = reinterpret_cast<std::intptr_t>(file);
    return std::u16string();
}

std::u16string OutputFile::Write(const std::uint8_t* data, std::size_t size)
{
    while (size > 0) {
        DWORD piece = size > 0x10000000u ? 0x10000000u : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!WriteFile(AsHandle(file_), data, piece, &written, nullptr))
            return SystemReason(GetLastError());
        if (written == 0)
            return u"nothing was written";
        data += written;
        size -= written;
    }
    return std::u16string();
}

std::u16string OutputFile::Commit(bool replace)
{
    HANDLE file = AsHandle(file_);
    file_ = -1;
    const fs::path temporary = path_.parent_path() / temporary_;
    if (!cfb::CompleteMarkedFile(file, temporary.c_str(), path_.c_str(), replace ? MOVEFILE_REPLACE_EXISTING : 0)) {
        const DWORD code = GetLastError();
        Discard();
        return NamingFailed(code == ERROR_ALREADY_EXISTS || code == ERROR_FILE_EXISTS, SystemReason(code));
    }
    temporary_.clear();
    Discard();
    return std::u16string();
}

void OutputFile::Discard()
{
    if (file_ != -1)
        CloseHandle(AsHandle(file_));
    file_ = -1;
    if (!temporary_.empty())
        DeleteFileW((path_.parent_path() / temporary_).c_str());
    temporary_.clear();
    for (std::intptr_t folder : folders_)
        CloseHandle(AsHandle(folder));
    folders_.clear();
}

bool OutputTree::IdentityOf(const std::vector<std::u16string>& components, FileIdentity* identity) const
{
    HANDLE file = CreateFileW(PathOf(components, components.size()).c_str(), FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION info;
    const bool known = GetFileInformationByHandle(file, &info) != FALSE;
    CloseHandle(file);
    if (known)
        *identity = IdentityFrom(info);
    return known;
}

bool OutputFile::Identity(FileIdentity* identity) const
{
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(AsHandle(file_), &info))
        return false;
    *identity = IdentityFrom(info);
    return true;
}
