#include "cli/layout.h"

#include <map>
#include <set>
#include <unordered_map>

#include "cli/native_path.h"
#include "cli/text.h"

namespace {

bool IsLetter(char16_t unit)
{
    return (unit >= u'a' && unit <= u'z') || (unit >= u'A' && unit <= u'Z');
}

std::u16string StreamLabel(const ArchiveStream& stream)
{
    return (stream.isStream ? u"stream " : u"storage ") + Quoted(stream.name) + u": ";
}

// The first `count` components as the file system tells paths apart.
fs::path::string_type PathOnDisk(const std::vector<std::u16string>& components, std::size_t count)
{
    fs::path::string_type path;
    for (std::size_t i = 0; i < count; ++i) {
        if (i != 0)
            path += fs::path::preferred_separator;
        path += NameOnDisk(components[i]);
    }
    return path;
}

// The mod file's base name, or why stream 1's path is no mod file name.
std::u16string ModBaseName(const LayoutFile& first, std::u16string* problem)
{
    if (first.components.size() != 1) {
        *problem = u"the mod file's path " + Quoted(first.stream->path) + u" is not a bare file name";
        return std::u16string();
    }
    const std::u16string& name = first.components[0];
    const std::u16string extension = u".tvx";
    if (name.size() <= extension.size() ||
        name.compare(name.size() - extension.size(), extension.size(), extension) != 0) {
        *problem = u"the mod file's name " + Quoted(name) + u" does not end in \".tvx\"";
        return std::u16string();
    }
    return name.substr(0, name.size() - extension.size());
}

// Every stream must be a file number from 1 to the count of elements.
void CheckNames(const std::vector<ArchiveStream>& streams, Layout* layout,
                std::map<std::uint32_t, LayoutFile>* files)
{
    for (const ArchiveStream& stream : streams) {
        std::uint32_t number = 0;
        if (!stream.isStream) {
            layout->problems.push_back(StreamLabel(stream) + u"archives hold streams only");
        } else if (!ParseFileNumber(stream.name, &number) || number > streams.size()) {
            layout->problems.push_back(StreamLabel(stream) + u"streams must be named 1 to " +
                                       Decimal(streams.size()));
        } else if (!stream.hasHeader) {
            layout->problems.push_back(StreamLabel(stream) + Decimal(stream.size) +
                                       u" bytes, shorter than its 1024-byte name header");
        } else if (!stream.cleanPadding) {
            layout->problems.push_back(StreamLabel(stream) +
                                       u"the name header holds bytes other than zero after the path " +
                                       Quoted(stream.path));
        } else {
            LayoutFile file;
            file.number = number;
            file.stream = &stream;
            std::u16string problem = SplitHeaderPath(stream.path, &file.components);
            if (!problem.empty()) {
                layout->problems.push_back(StreamLabel(stream) + u"path " + Quoted(stream.path) +
                                           u" " + problem);
            } else {
                (*files)[number] = std::move(file);
            }
        }
    }
}

// Every path after the first lies under the mod directory; no path lands on
// the same file on disk as another or runs through another file.
void CheckPlacement(const std::map<std::uint32_t, LayoutFile>& files, Layout* layout)
{
    auto first = files.find(1);
    std::u16string baseName;
    if (first != files.end()) {
        std::u16string problem;
        baseName = ModBaseName(first->second, &problem);
        if (!problem.empty())
            layout->problems.push_back(StreamLabel(*first->second.stream) + problem);
    }

    std::unordered_map<fs::path::string_type, std::uint32_t> paths;  // each file's path on disk, by number
    paths.reserve(files.size());
    for (const auto& [number, file] : files) {
        auto [other, added] = paths.emplace(PathOnDisk(file.components, file.components.size()), number);
        const std::u16string& otherPath = files.at(other->second).stream->path;
        if (!added && otherPath == file.stream->path)
            layout->problems.push_back(StreamLabel(*file.stream) + u"same path as stream " +
                                       Quoted(Decimal(other->second)));
        else if (!added)
            layout->problems.push_back(StreamLabel(*file.stream) + u"path " + Quoted(file.stream->path) +
                                       u" is the same file on disk as the path " + Quoted(otherPath) +
                                       u" of stream " + Quoted(Decimal(other->second)));
        if (number == 1 || baseName.empty())
            continue;
        if (file.components.size() < 2 || file.components[0] != baseName)
            layout->problems.push_back(StreamLabel(*file.stream) + u"path " +
                                       Quoted(file.stream->path) +
                                       u" is not under the mod directory " + Quoted(baseName));
    }
    for (const auto& [number, file] : files) {
        fs::path::string_type folder;  // the first `count` components, grown one at a time
        for (std::size_t count = 1; count < file.components.size(); ++count) {
            if (count > 1)
                folder += fs::path::preferred_separator;
            folder += NameOnDisk(file.components[count - 1]);
            auto other = paths.find(folder);
            if (other != paths.end())
                layout->problems.push_back(StreamLabel(*file.stream) + u"path " +
                                           Quoted(file.stream->path) + u" runs through the file of stream " +
                                           Quoted(Decimal(other->second)));
        }
    }
}

}  // namespace

namespace {

std::u16string SplitParts(const std::u16string& path, std::vector<std::u16string>* components)
{
    if (path.empty())
        return u"is empty";
    if (path[0] == u'\\' || path[0] == u'/')
        return u"is absolute";
    if (path.size() >= 2 && IsLetter(path[0]) && path[1] == u':')
        return u"starts with a drive letter";
    std::size_t start = 0;
    for (;;) {
        std::size_t end = path.find(u'\\', start);
        std::u16string component = path.substr(start, end == std::u16string::npos ? end : end - start);
        if (component.empty())
            return u"has an empty component";
        if (component == u"." || component == u"..")
            return u"has a " + Quoted(component) + u" component";
        if (component.find(u'/') != std::u16string::npos)
            return u"has a slash in a name";
        std::u16string problem = NameProblem(component);
        if (!problem.empty())
            return u"has a name that " + problem + u": " + Quoted(component);
        components->push_back(std::move(component));
        if (end == std::u16string::npos)
            return std::u16string();
        start = end + 1;
    }
}

}  // namespace

std::u16string SplitHeaderPath(const std::u16string& path, std::vector<std::u16string>* components)
{
    components->clear();
    std::u16string problem = SplitParts(path, components);
    if (!problem.empty())
        components->clear();
    return problem;
}

Layout CheckLayout(const std::vector<ArchiveStream>& streams)
{
    Layout layout;
    std::map<std::uint32_t, LayoutFile> files;
    CheckNames(streams, &layout, &files);
    if (streams.empty())
        layout.problems.push_back(u"the archive holds no stream; stream \"1\", the mod file, is missing");
    CheckPlacement(files, &layout);
    if (layout.problems.empty())
        for (auto& entry : files)
            layout.files.push_back(std::move(entry.second));
    return layout;
}
