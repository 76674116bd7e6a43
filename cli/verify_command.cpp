// tvpack verify: checks an archive's structure and layout and, when the mod
// lies beside it (the mod file named by stream 1, or the mod directory), that
// the archive holds exactly the mod's files, each byte for byte. Prints every
// problem found, then a summary line. Only faults are problems: a file that
// some common reader refuses while the others read the same is named with
// that reader, the choices the format leaves to the writer are shown with
// --strict, and neither changes the exit status.
#include <algorithm>
#include <memory>
#include <set>

#include "cli/archive.h"
#include "cli/commands.h"
#include "cli/console.h"
#include "cli/mod_tree.h"
#include "cli/native_path.h"
#include "cli/system_reason.h"
#include "cli/text.h"
#include "cli/windows_names.h"

namespace {

// How a stream compares with the file at `path`; empty when they are equal.
std::u16string CompareWithFile(const ModArchive& archive, const ArchiveStream& stream,
                               const fs::path& path)
{
    std::string error;
    std::unique_ptr<cfb::ReadSource> file = OpenArchiveSource(path, &error);
    if (file == nullptr)
        return u"can't be read on disk: " + Widen(error);
    std::uint64_t diskSize = file->Size();
    std::uint64_t archiveSize = stream.size - kHeaderBytes;
    if (diskSize != archiveSize)
        return u"differs from the file on disk (" + Decimal(archiveSize) + u" bytes in the archive, " +
               Decimal(diskSize) + u" on disk)";

    bool same = true;
    std::u16string diskProblem;
    std::uint64_t offset = 0;
    std::vector<std::uint8_t> buffer;
    std::u16string readProblem = archive.ReadContent(stream, [&](const std::uint8_t* data, std::size_t size) {
        buffer.resize(size);
        SetLastError(0);
        if (!file->ReadAt(offset, buffer.data(), size)) {
            DWORD code = GetLastError();
            diskProblem = code != 0 ? SystemReason(code) : u"it changed while it was read";
            return false;
        }
        offset += size;
        same = std::equal(buffer.begin(), buffer.end(), data);
        return same;
    });
    if (!diskProblem.empty())
        return u"can't be read on disk: " + diskProblem;
    if (!readProblem.empty())
        return u"can't be read from the archive: " + readProblem;
    return same ? std::u16string() : u"differs from the file on disk";
}

class Verifier {
public:
    explicit Verifier(const ModArchive& archive) : archive_(archive) {}

    void Problem(const std::u16string& text) { problems_.push_back(text); }
    const std::vector<std::u16string>& Problems() const { return problems_; }

    // Compares the files with the mod beside the archive. False when the mod
    // is not there at all.
    bool CompareWithMod(const std::vector<LayoutFile>& files, const fs::path& folder)
    {
        const std::u16string& modFileName = files[0].components[0];
        std::u16string baseName = modFileName.substr(0, modFileName.size() - 4);
        fs::path modFile = folder / NativePath(modFileName);
        fs::path modDirectory = folder / NativePath(baseName);
        std::u16string reason;
        PathKind fileKind = KindOf(modFile, true, &reason);
        PathKind folderKind = fileKind == PathKind::Unknown ? fileKind : KindOf(modDirectory, true, &reason);
        // What can't be looked at can't be compared: a problem, not an absent mod.
        if (fileKind == PathKind::Unknown || folderKind == PathKind::Unknown) {
            Problem(Quoted(fileKind == PathKind::Unknown ? modFileName : baseName) +
                    u" beside the archive can't be looked at: " + reason);
            return true;
        }
        bool haveFile = fileKind != PathKind::None;
        bool haveDirectory = folderKind == PathKind::Folder;
        if (!haveFile && !haveDirectory)
            return false;

        std::vector<std::u16string> diskFiles;
        if (haveDirectory) {
            std::u16string problem = ListModFiles(PathText(modDirectory), baseName, &diskFiles);
            if (!problem.empty())
                Problem(problem);
        } else {
            Problem(u"the mod directory " + Quoted(baseName) + u" is missing beside the archive");
        }
        std::set<std::u16string> onDisk(diskFiles.begin(), diskFiles.end());

        std::set<std::u16string> inArchive;
        for (const LayoutFile& file : files) {
            const ArchiveStream& stream = *file.stream;
            inArchive.insert(stream.path);
            std::u16string label = u"stream " + Quoted(stream.name) + u": " + Quoted(stream.path) + u" ";
            bool present = file.number == 1 ? haveFile : onDisk.count(stream.path) != 0;
            if (!present) {
                Problem(label + u"is not on disk");
                continue;
            }
            fs::path path = folder;
            for (const std::u16string& component : file.components)
                path /= NativePath(component);
            std::u16string difference = CompareWithFile(archive_, stream, path);
            if (!difference.empty())
                Problem(label + difference);
        }
        for (const std::u16string& path : diskFiles)
            if (inArchive.count(path) == 0)
                Problem(Quoted(path) + u" is on disk but not in the archive");
        return true;
    }

private:
    const ModArchive& archive_;
    std::vector<std::u16string> problems_;
};

}  // namespace

int RunVerify(const Arguments& arguments)
{
    const std::u16string& archivePath = arguments.operands[0];
    const std::u16string name = Quoted(archivePath);
    ModArchive archive;
    fs::path nativePath = NativePath(archivePath);
    std::u16string problem = archive.Open(nativePath);
    if (!archive.Readable()) {
        WriteText(Channel::Out, name + u": not a readable archive: " + problem + u"\n");
        return kExitFailure;
    }

    Verifier verifier(archive);
    std::u16string choices;
    for (const cfb::Finding& finding : archive.Notes()) {
        if (finding.kind == cfb::Finding::Kind::RefusedByReader)
            choices += u"compound file, refused by " + Widen(finding.reader) + u": " + Widen(finding.text) + u"\n";
        else if (arguments.strict)
            choices += u"compound file, writer's choice: " + Widen(finding.text) + u"\n";
    }
    for (const std::u16string& text : archive.Faults())
        verifier.Problem(text);

    bool comparedWithMod = false;
    if (archive.Faults().empty()) {
        fs::path folder = nativePath.parent_path();
        if (folder.empty())
            folder = ".";
        comparedWithMod = verifier.CompareWithMod(archive.Files(), folder);
    }

    std::u16string report = choices;
    for (const std::u16string& text : verifier.Problems())
        report += text + u"\n";
    report += WindowsNameNotes(archive.Streams());
    std::size_t count = verifier.Problems().size();
    if (count != 0) {
        report += name + u": " + Decimal(count) + (count == 1 ? u" problem" : u" problems") + u" found.\n";
    } else {
        std::size_t files = archive.Files().size();
        report += name + u": OK, " + Decimal(files) + (files == 1 ? u" file" : u" files") +
                  (comparedWithMod ? u", the same as the mod beside it.\n"
                                   : u"; the mod is not beside the archive, so only the archive was checked.\n");
    }
    WriteText(Channel::Out, report);
    return count == 0 ? kExitSuccess : kExitFailure;
}
