// tvpack extract: recreates the mod file and the mod directory under a folder
// from the archive's header paths.
//
// The whole archive is checked before anything is written: a layout problem
// (see layout.h), or any file in the way (an existing file without --force, a
// folder where a file goes, a file or a link where a folder goes, a link at a
// file's place), refuses the archive and leaves the disk as it was. Files are
// then created exclusively (or emptied with --force) without following links,
// so nothing is written outside the target folder through a name in it.
#include <string>

#include "cli/archive.h"
#include "cli/commands.h"
#include "cli/console.h"
#include "cli/layout.h"
#include "cli/output_file.h"
#include "cli/text.h"

namespace {

struct Target {
    const LayoutFile* file;
    fs::path path;
};

std::u16string Label(const LayoutFile& file)
{
    return u"stream " + Quoted(file.stream->name) + u": " + Quoted(file.stream->path) + u" ";
}

// What is in the way of writing `file` at `path` below `folder`; empty when
// nothing is.
std::u16string Obstacle(const LayoutFile& file, const fs::path& folder, bool force)
{
    fs::path at = folder;
    for (std::size_t i = 0; i < file.components.size(); ++i) {
        at /= NativePath(file.components[i]);
        std::error_code error;
        fs::file_status status = fs::symlink_status(at, error);
        if (status.type() == fs::file_type::not_found)
            return std::u16string();
        if (error)
            return u"can't be checked: " + Widen(error.message());
        bool last = i + 1 == file.components.size();
        if (fs::is_symlink(status))
            return u"would be written through a symbolic link at " + Quoted(PathText(at));
        if (!last && !fs::is_directory(status))
            return u"needs a folder where " + Quoted(PathText(at)) + u" is";
        if (last && fs::is_directory(status))
            return u"is a folder on disk";
        if (last && !force)
            return u"exists; use --force to overwrite it";
    }
    return std::u16string();
}

// Creates the folders on the way to target (each checked not to be a link)
// and writes the file.
std::u16string ExtractFile(const ModArchive& archive, const Target& target, const fs::path& folder,
                         bool force)
{
    fs::path at = folder;
    const std::vector<std::u16string>& components = target.file->components;
    for (std::size_t i = 0; i + 1 < components.size(); ++i) {
        at /= NativePath(components[i]);
        std::error_code error;
        fs::create_directory(at, error);
        if (error)
            return u"folder " + Quoted(PathText(at)) + u" can't be created: " + Widen(error.message());
        if (fs::is_symlink(fs::symlink_status(at, error)) || !fs::is_directory(at, error))
            return u"folder " + Quoted(PathText(at)) + u" is not a plain folder";
    }

    OutputFile output;
    std::u16string problem = output.Create(target.path, force);
    if (!problem.empty())
        return u"can't be created: " + problem;
    std::u16string writeProblem;
    std::u16string readProblem =
        archive.ReadContent(*target.file->stream, [&](const std::uint8_t* data, std::size_t size) {
            writeProblem = output.Write(data, size);
            return writeProblem.empty();
        });
    if (writeProblem.empty())
        writeProblem = output.Close();
    if (!readProblem.empty() || !writeProblem.empty()) {
        output.Close();
        std::error_code ignored;
        fs::remove(target.path, ignored);
        return readProblem.empty() ? u"can't be written: " + writeProblem
                                   : u"can't be read from the archive: " + readProblem;
    }
    return std::u16string();
}

}  // namespace

int RunExtract(const Arguments& arguments)
{
    const std::u16string& archivePath = arguments.operands[0];
    const std::u16string folderText = arguments.operands.size() > 1 ? arguments.operands[1] : u".";
    const std::u16string prefix = u"tvpack: " + Quoted(archivePath) + u": ";

    ModArchive archive;
    std::u16string problem = archive.Open(NativePath(archivePath));
    if (!problem.empty()) {
        WriteText(Channel::Err, prefix + problem + u"\n");
        return kExitFailure;
    }
    Layout layout = CheckLayout(archive.Streams());
    if (!layout.problems.empty()) {
        for (const std::u16string& text : layout.problems)
            WriteText(Channel::Err, prefix + u"refused: " + text + u"\n");
        return kExitFailure;
    }

    fs::path folder = NativePath(folderText);
    std::error_code error;
    if (fs::exists(folder, error) && !fs::is_directory(folder, error)) {
        WriteText(Channel::Err, u"tvpack: " + Quoted(folderText) + u": not a folder\n");
        return kExitFailure;
    }

    std::vector<Target> targets;
    bool refused = false;
    for (const LayoutFile& file : layout.files) {
        std::u16string obstacle = Obstacle(file, folder, arguments.force);
        if (!obstacle.empty()) {
            WriteText(Channel::Err, prefix + u"refused: " + Label(file) + obstacle + u"\n");
            refused = true;
        }
        fs::path path = folder;
        for (const std::u16string& component : file.components)
            path /= NativePath(component);
        targets.push_back({&file, path});
    }
    if (refused)
        return kExitFailure;

    fs::create_directories(folder, error);
    if (error) {
        WriteText(Channel::Err, u"tvpack: " + Quoted(folderText) + u": can't be created: " +
                                    Widen(error.message()) + u"\n");
        return kExitFailure;
    }

    for (const Target& target : targets) {
        problem = ExtractFile(archive, target, folder, arguments.force);
        if (!problem.empty()) {
            WriteText(Channel::Err, prefix + Label(*target.file) + problem + u"\n");
            return kExitFailure;
        }
    }
    WriteText(Channel::Out, u"Extracted " + Decimal(targets.size()) +
                                (targets.size() == 1 ? u" file into " : u" files into ") +
                                Quoted(folderText) + u".\n");
    return kExitSuccess;
}
