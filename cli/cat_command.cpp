// tvpack cat: the stored bytes of each named file, one after another, on
// standard output. A path is found as Windows would find it: case ignored,
// "/" or "\" between names. Should two stored paths differ only in case, the
// one spelt exactly as given wins, else the first in number order.
#include "cli/archive.h"
#include "cli/commands.h"
#include "cli/console.h"
#include "cli/path_pattern.h"
#include "cli/text.h"

namespace {

const ArchiveStream* Find(const std::vector<LayoutFile>& files, const std::vector<std::u16string>& keys,
                          const std::u16string& path)
{
    std::u16string key = PathKey(path);
    const LayoutFile* found = nullptr;
    for (std::size_t i = 0; i < files.size(); ++i) {
        const LayoutFile& file = files[i];
        if (keys[i] != key)
            continue;
        if (file.stream->path == path)
            return file.stream;
        if (found == nullptr || file.number < found->number)
            found = &file;
    }
    return found == nullptr ? nullptr : found->stream;
}

}  // namespace

int RunCat(const Arguments& arguments)
{
    const std::u16string& archivePath = arguments.operands[0];
    const std::u16string prefix = u"tvpack: " + Quoted(archivePath) + u": ";
    ModArchive archive;
    std::u16string problem = archive.Open(NativePath(archivePath));
    if (!problem.empty()) {
        WriteText(Channel::Err, prefix + problem + u"\n");
        return kExitFailure;
    }
    // The paths as Windows compares them, one per file of the checked archive.
    std::vector<std::u16string> keys;
    for (const LayoutFile& file : archive.Files())
        keys.push_back(PathKey(file.stream->path));

    int status = kExitSuccess;
    for (std::size_t i = 1; i < arguments.operands.size() && !OutputFailed(); ++i) {
        const std::u16string& path = arguments.operands[i];
        const ArchiveStream* stream = Find(archive.Files(), keys, path);
        if (stream == nullptr) {
            WriteText(Channel::Err, prefix + Quoted(path) + u": not in the archive\n");
            status = kExitFailure;
            continue;
        }
        problem = archive.ReadContent(*stream, WriteOutputBytes);
        if (!problem.empty()) {
            WriteText(Channel::Err, prefix + u"stream " + Quoted(stream->name) + u": can't be read: " + problem + u"\n");
            status = kExitFailure;
        }
    }
    return status;
}
