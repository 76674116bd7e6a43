// tvpack diff: compares two mods, each an archive or a mod file with its mod
// directory on disk, and prints the files added, removed and changed from
// the first to the second. Paths are compared as Windows compares them (case
// ignored), contents byte for byte; files of different sizes differ without
// a read, so only files of equal size are read, side by side.
//
// Exit status: 0 the same, 1 different, kExitUnreadable when either side, or
// a file in it, can't be read: never "different" for what was not compared.
#include <algorithm>
#include <map>
#include <memory>

#include "cli/archive.h"
#include "cli/commands.h"
#include "cli/console.h"
#include "cli/json.h"
#include "cli/mod_tree.h"
#include "cli/native_path.h"
#include "cli/path_pattern.h"
#include "cli/text.h"

namespace {

constexpr std::size_t kPiece = 1 << 18;

struct ModEntry {
    std::u16string path;                   // as stored (backslash-separated)
    std::uint64_t size = 0;
    const ArchiveStream* stream = nullptr; // in an archive, or
    fs::path disk;                         // on disk
};

// One side of the comparison: the files of a mod, by the key Windows would
// tell them apart by.
class ModSide {
public:
    // Empty on success, else why the side can't be read.
    std::u16string Open(const std::u16string& argument)
    {
        name_ = argument;
        std::u16string key = PathKey(argument);
        if (key.size() > 4 && key.compare(key.size() - 4, 4, u".TVX") == 0)
            return OpenModOnDisk(argument);
        return OpenArchive(argument);
    }

    const std::map<std::u16string, ModEntry>& Files() const { return files_; }

    // Reads `size` bytes of `file` at `offset`, from the archive or from
    // `disk`, the file opened on disk.
    std::u16string Read(const ModEntry& file, cfb::ReadSource* disk, std::uint64_t offset, std::uint8_t* buffer,
                        std::size_t size) const
    {
        if (file.stream != nullptr) {
            std::string why = archive_.Reader().Read(file.stream->entry, kHeaderBytes + offset, buffer, size);
            return why.empty() ? std::u16string() : u"can't be read from " + Quoted(name_) + u": " + Widen(why);
        }
        if (disk->Size() == file.size && disk->ReadAt(offset, buffer, size))
            return std::u16string();
        std::string reason = disk->Size() == file.size ? disk->FailureReason() : std::string();
        return reason.empty() ? u"it changed while it was read" : u"can't be read on disk: " + Widen(reason);
    }

private:
    void Add(ModEntry entry)
    {
        std::u16string key = PathKey(entry.path);
        // Two paths alike but for case (a mod made where case counts) are
        // kept apart by their exact spelling.
        if (files_.count(key) != 0)
            key += u'\0' + entry.path;
        files_[key] = std::move(entry);
    }

    std::u16string OpenArchive(const std::u16string& argument)
    {
        std::u16string problem = archive_.Open(NativePath(argument));
        if (!problem.empty())
            return problem;
        // The archive passed the layout check: every stream is a numbered file.
        for (const LayoutFile& file : archive_.Files()) {
            ModEntry entry;
            entry.path = file.stream->path;
            entry.size = file.stream->size - kHeaderBytes;
            entry.stream = file.stream;
            Add(std::move(entry));
        }
        return std::u16string();
    }

    std::u16string OpenModOnDisk(const std::u16string& argument)
    {
        fs::path modFile = NativePath(argument);
        fs::path folder = modFile.parent_path().empty() ? fs::path(".") : modFile.parent_path();
        std::u16string baseName = PathText(modFile.stem());
        std::u16string reason;
        PathKind kind = KindOf(modFile, true, &reason);
        if (kind != PathKind::File)
            return kind == PathKind::Unknown ? u"can't be looked at: " + reason : u"no such mod file";
        kind = KindOf(folder / modFile.stem(), true, &reason);
        if (kind != PathKind::Folder)
            return kind == PathKind::Unknown ? Quoted(baseName) + u" can't be looked at: " + reason
                                             : u"no mod directory " + Quoted(baseName) + u" beside it";
        std::vector<std::u16string> paths{PathText(modFile.filename())};
        std::u16string problem = ListModFiles(PathText(folder / modFile.stem()), baseName, &paths);
        if (!problem.empty())
            return problem;
        for (const std::u16string& path : paths) {
            ModEntry entry;
            entry.path = path;
            entry.disk = folder;
            std::size_t start = 0;
            for (;;) {
                std::size_t end = path.find(u'\\', start);
                entry.disk /= NativePath(path.substr(start, end == std::u16string::npos ? end : end - start));
                if (end == std::u16string::npos)
                    break;
                start = end + 1;
            }
            if (KindOf(entry.disk, true, &reason, &entry.size) == PathKind::Unknown)
                return Quoted(path) + u" can't be read on disk: " + reason;
            Add(std::move(entry));
        }
        return std::u16string();
    }

    std::u16string name_;  // as given
    ModArchive archive_;
    std::map<std::u16string, ModEntry> files_;
};

// Compares files of equal size piece by piece, in two buffers kept for the
// whole diff.
class ContentComparer {
public:
    ContentComparer() : bufferA_(kPiece), bufferB_(kPiece) {}

    // Whether the two files hold the same bytes; *problem set when either
    // can't be read.
    bool Same(const ModSide& a, const ModEntry& fileA, const ModSide& b, const ModEntry& fileB,
              std::u16string* problem);

private:
    std::vector<std::uint8_t> bufferA_, bufferB_;
};

bool ContentComparer::Same(const ModSide& a, const ModEntry& fileA, const ModSide& b, const ModEntry& fileB,
                           std::u16string* problem)
{
    const ModEntry* files[2] = {&fileA, &fileB};
    std::unique_ptr<cfb::ReadSource> disk[2];
    for (int i = 0; i < 2; ++i) {
        std::string error;
        if (files[i]->stream == nullptr && (disk[i] = OpenArchiveSource(files[i]->disk, &error)) == nullptr) {
            *problem = Quoted(files[i]->path) + u": can't be read on disk: " + Widen(error);
            return false;
        }
    }
    for (std::uint64_t offset = 0; offset < fileA.size; offset += kPiece) {
        std::size_t size = static_cast<std::size_t>(std::min<std::uint64_t>(kPiece, fileA.size - offset));
        std::u16string why = a.Read(fileA, disk[0].get(), offset, bufferA_.data(), size);
        if (why.empty())
            why = b.Read(fileB, disk[1].get(), offset, bufferB_.data(), size);
        if (!why.empty()) {
            *problem = Quoted(fileA.path) + u": " + why;
            return false;
        }
        if (!std::equal(bufferA_.begin(), bufferA_.begin() + static_cast<std::ptrdiff_t>(size), bufferB_.begin()))
            return false;
    }
    return true;
}

struct Differences {
    std::vector<std::u16string> added, removed, changed;
};

std::u16string PlainText(const Differences& found)
{
    std::u16string text;
    for (const std::u16string& path : found.added)
        text += u"added: " + Quoted(path) + u"\n";
    for (const std::u16string& path : found.removed)
        text += u"removed: " + Quoted(path) + u"\n";
    for (const std::u16string& path : found.changed)
        text += u"changed: " + Quoted(path) + u"\n";
    return text;
}

std::u16string JsonList(const std::vector<std::u16string>& paths)
{
    std::u16string json = u"[";
    for (std::size_t i = 0; i < paths.size(); ++i)
        json += (i == 0 ? u"" : u", ") + JsonString(paths[i]);
    return json + u"]";
}

std::u16string JsonText(const Differences& found)
{
    return u"{\"added\": " + JsonList(found.added) + u", \"removed\": " + JsonList(found.removed) +
           u", \"changed\": " + JsonList(found.changed) + u"}\n";
}

}  // namespace

int RunDiff(const Arguments& arguments)
{
    ModSide sides[2];
    for (int i = 0; i < 2; ++i) {
        std::u16string problem = sides[i].Open(arguments.operands[i]);
        if (!problem.empty()) {
            WriteText(Channel::Err, u"tvpack: " + Quoted(arguments.operands[i]) + u": " + problem + u"\n");
            return kExitUnreadable;
        }
    }

    Differences found;
    ContentComparer comparer;
    const auto& filesA = sides[0].Files();
    const auto& filesB = sides[1].Files();
    for (const auto& [key, file] : filesA) {
        auto other = filesB.find(key);
        if (other == filesB.end()) {
            found.removed.push_back(file.path);
            continue;
        }
        std::u16string problem;
        if (file.size != other->second.size || !comparer.Same(sides[0], file, sides[1], other->second, &problem))
            found.changed.push_back(file.path);
        if (!problem.empty()) {
            WriteText(Channel::Err, u"tvpack: " + problem + u"\n");
            return kExitUnreadable;
        }
    }
    for (const auto& [key, file] : filesB)
        if (filesA.count(key) == 0)
            found.added.push_back(file.path);

    WriteText(Channel::Out, arguments.json ? JsonText(found) : PlainText(found));
    bool same = found.added.empty() && found.removed.empty() && found.changed.empty();
    return same ? kExitSuccess : kExitFailure;
}
