// tvpack extract: recreates the mod file and the mod directory under a folder
// from the archive's header paths.
//
// The whole archive is checked before anything is written: a fault of its
// structure or layout (see archive.h and layout.h), or any file in the way (an existing file without --force, a
// folder where a file goes, a file or a link where a folder goes, a link at a
// file's place), refuses the archive and leaves the disk as it was. Files are
// then written through an OutputTree (see output_tree.h): below the folder,
// no link is followed, and each file is given its name only once complete.
// --include and --exclude choose the files written, after the whole archive
// passed the checks; the folders on their way are created, nothing else.
//
// Two streams never land in one file: the file system's identity of each
// file decides (see FileIdentity), as a short name or a folder that ignores
// case makes aliases that no rule about names foresees.
#include <algorithm>
#include <map>
#include <string>

#include "cli/archive.h"
#include "cli/commands.h"
#include "cli/console.h"
#include "cli/output_tree.h"
#include "cli/path_pattern.h"
#include "cli/text.h"

namespace {

std::u16string Label(const LayoutFile& file)
{
    return u"stream " + Quoted(file.stream->name) + u": " + Quoted(file.stream->path);
}

// The stream each file on disk holds or is to hold, by the file's identity.
using Owners = std::map<FileIdentity, const LayoutFile*>;

// Claims the file at `file`'s place for it; empty when it is free or
// `file`'s own, else why not.
std::u16string Claim(const OutputTree& tree, const LayoutFile& file, Owners* owners)
{
    FileIdentity identity;
    if (!tree.IdentityOf(file.components, &identity))
        return std::u16string();
    const LayoutFile*& owner = (*owners)[identity];
    if (owner != nullptr && owner != &file)
        return u"is the same file on disk as " + Label(*owner);
    owner = &file;
    return std::u16string();
}

// Why the folder named on the command line can't be one on this system: a
// component that is no name here (a Windows name ending in a space).
std::u16string FolderNameProblem(const std::u16string& folder)
{
    std::size_t start = 0;
    for (std::size_t end = 0; end <= folder.size(); ++end) {
        if (end < folder.size() && folder[end] != u'/' && folder[end] != u'\\')
            continue;
        std::u16string component = folder.substr(start, end - start);
        bool drive = start == 0 && component.size() == 2 && component[1] == u':';
        start = end + 1;
        if (component.empty() || component == u"." || component == u".." || component == u"?" || drive)
            continue;
        std::u16string problem = NameProblem(component);
        if (!problem.empty())
            return Quoted(component) + u" " + problem;
    }
    return std::u16string();
}

// What is in the way of writing `file` below the folder; empty when nothing
// is.
std::u16string Obstacle(const OutputTree& tree, const LayoutFile& file, bool force)
{
    std::vector<OnDisk> kinds;
    std::u16string problem = tree.Look(file.components, &kinds);
    for (std::size_t i = 0; i < kinds.size(); ++i) {
        bool last = i + 1 == file.components.size();
        std::u16string at = Quoted(PathText(tree.PathOf(file.components, i + 1)));
        if (kinds[i] == OnDisk::Missing)
            return std::u16string();
        if (kinds[i] == OnDisk::Link)
            return u"would be written through a symbolic link at " + at;
        if (kinds[i] == OnDisk::Folder && last)
            return u"is a folder on disk";
        if (kinds[i] != OnDisk::Folder && !last)
            return u"needs a folder where " + at + u" is";
        if (kinds[i] != OnDisk::Folder && !force)
            return u"exists; use --force to overwrite it";
    }
    return problem.empty() ? problem : u"can't be checked: " + problem;
}

// Writes the file under a temporary name and gives it its name when
// complete; on any failure the temporary file goes.
std::u16string ExtractFile(const ModArchive& archive, const OutputTree& tree, const LayoutFile& file, bool force,
                           Owners* owners)
{
    OutputFile output;
    std::u16string problem = output.Create(tree, file.components);
    if (!problem.empty())
        return problem;
    std::u16string writeProblem;
    std::u16string readProblem =
        archive.ReadContent(*file.stream, [&](const std::uint8_t* data, std::size_t size) {
            writeProblem = output.Write(data, size);
            return writeProblem.empty();
        });
    if (!readProblem.empty())
        return u"can't be read from the archive: " + readProblem;
    if (!writeProblem.empty())
        return u"can't be written: " + writeProblem;
    // The name may have come to stand for a file another stream wrote.
    problem = Claim(tree, file, owners);
    FileIdentity identity;
    if (problem.empty() && output.Identity(&identity))
        (*owners)[identity] = &file;
    return problem.empty() ? output.Commit(force) : problem;
}

// Keeps the files --include and --exclude choose. False, with each pattern
// that chose nothing named, when one did.
bool ChooseFiles(const Arguments& arguments, const std::u16string& prefix, std::vector<LayoutFile>* files)
{
    FileChoice choice(arguments.includes, arguments.excludes);
    files->erase(std::remove_if(files->begin(), files->end(),
                                [&](const LayoutFile& file) { return !choice.Chooses(file.stream->path); }),
                 files->end());
    for (const std::u16string& pattern : choice.PatternsMatchingNothing())
        WriteText(Channel::Err, prefix + pattern + u" chooses no file\n");
    return choice.PatternsMatchingNothing().empty();
}

}  // namespace

int RunExtract(const Arguments& arguments)
{
    const std::u16string& archivePath = arguments.operands[0];
    const std::u16string folderText = arguments.operands.size() > 1 ? arguments.operands[1] : u".";
    const std::u16string prefix = u"tvpack: " + Quoted(archivePath) + u": ";

    ModArchive archive;
    std::u16string problem = archive.Open(NativePath(archivePath));
    if (!archive.Readable()) {
        WriteText(Channel::Err, prefix + problem + u"\n");
        return kExitFailure;
    }
    if (!archive.Faults().empty()) {
        for (const std::u16string& text : archive.Faults())
            WriteText(Channel::Err, prefix + u"refused: " + text + u"\n");
        return kExitFailure;
    }
    std::vector<LayoutFile> files = archive.Files();
    if (!ChooseFiles(arguments, prefix, &files))
        return kExitFailure;

    problem = FolderNameProblem(folderText);
    if (!problem.empty()) {
        WriteText(Channel::Err, u"tvpack: " + Quoted(folderText) + u": refused: " + problem + u"\n");
        return kExitFailure;
    }
    OutputTree tree;
    problem = tree.Open(NativePath(folderText), false);
    if (!problem.empty()) {
        WriteText(Channel::Err, u"tvpack: " + Quoted(folderText) + u": " + problem + u"\n");
        return kExitFailure;
    }
    bool refused = false;
    Owners owners;
    for (const LayoutFile& file : files) {
        std::u16string obstacle = Obstacle(tree, file, arguments.force);
        if (obstacle.empty())
            obstacle = Claim(tree, file, &owners);
        if (!obstacle.empty()) {
            WriteText(Channel::Err, prefix + u"refused: " + Label(file) + u" " + obstacle + u"\n");
            refused = true;
        }
    }
    if (refused)
        return kExitFailure;

    if (!tree.Exists())
        problem = tree.Open(NativePath(folderText), true);
    if (!problem.empty()) {
        WriteText(Channel::Err, u"tvpack: " + Quoted(folderText) + u": " + problem + u"\n");
        return kExitFailure;
    }

    for (const LayoutFile& file : files) {
        problem = ExtractFile(archive, tree, file, arguments.force, &owners);
        if (!problem.empty()) {
            WriteText(Channel::Err, prefix + Label(file) + u" " + problem + u"\n");
            return kExitFailure;
        }
    }
    const std::size_t count = files.size();
    WriteText(Channel::Out, u"Extracted " + Decimal(count) + (count == 1 ? u" file into " : u" files into ") +
                                Quoted(folderText) + u".\n");
    return kExitSuccess;
}
