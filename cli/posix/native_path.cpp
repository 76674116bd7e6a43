// POSIX: file names are bytes; the platform layer's conversion keeps every
// name exact, including bytes that are not UTF-8 and backslashes in names.
#include "cli/native_path.h"

#include <climits>

#include "cli/text.h"

#include "platform/compound_file/file_io.h"
#include "platform/posix/text.h"

fs::path NativePath(const std::u16string& text)
{
    return fs::path(ToNativePath(text.c_str()));
}

std::u16string PathText(const fs::path& path)
{
    return FromNativeName(path.native());
}

std::u16string AbsolutePath(const std::u16string& path)
{
    if (!path.empty() && path[0] == u'/')
        return path;
    std::error_code error;
    fs::path current = fs::current_path(error);
    if (error)
        return std::u16string();
    std::u16string folder = PathText(current);
    if (folder.empty() || folder.back() != u'/')
        folder += u'/';
    return folder + path;
}

std::u16string NameProblem(const std::u16string& component)
{
    // Any component without a slash or NUL (both excluded before) is a valid
    // name here, up to the length file systems allow. No unit takes more
    // than three bytes on disk, so a short name needs no conversion.
    if (component.size() * 3 > NAME_MAX && NameOnDisk(component).size() > NAME_MAX)
        return u"is longer than the " + Decimal(NAME_MAX) + u" bytes a file name can have";
    return std::u16string();
}

fs::path::string_type NameOnDisk(const std::u16string& component)
{
    return ToNativePath(component.c_str());
}

std::unique_ptr<cfb::ReadSource> OpenArchiveSource(const fs::path& path, std::string* error)
{
    return cfb::OpenFileSource(path.native(), *error);
}
