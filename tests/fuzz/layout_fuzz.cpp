// tvpack's layout check on any set of root elements. The input is UTF-16LE:
// one element per line (U+000A); a line is a name alone (a storage), a name,
// a tab and the name header's path (a stream), or a name and two tabs (a
// stream too short for its header). As in an archive the reader opened,
// names are valid and unique (other lines are left out) and a path ends at
// its first NUL. An accepted layout must name every element once, in number
// order, each path inside the mod's folders.
#include <cstdio>
#include <cstdlib>

#include "cli/layout.h"
#include "platform/compound_file/names.h"

namespace {

void Fail(const char* what) {
    std::fprintf(stderr, "layout_fuzz: %s\n", what);
    std::abort();
}

std::vector<ArchiveStream> Decode(const std::uint8_t* data, std::size_t size) {
    std::vector<ArchiveStream> streams(1);
    bool inPath = false;
    for (std::size_t i = 0; i + 1 < size; i += 2) {
        const char16_t unit = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
        ArchiveStream& stream = streams.back();
        if (unit == u'\n') {
            streams.emplace_back();
            streams.back().entry = streams.size() - 1;
            inPath = false;
        } else if (unit == u'\t' && !inPath) {
            inPath = stream.isStream = stream.hasHeader = stream.cleanPadding = true;
            stream.size = 1024 + stream.entry;
        } else if (unit == u'\t' && stream.path.empty() && stream.hasHeader) {
            stream.hasHeader = false;
            stream.size = stream.entry;
        } else {
            (inPath ? stream.path : stream.name) += unit;
        }
    }
    if (size == 0) streams.clear();
    std::vector<ArchiveStream> kept;
    for (ArchiveStream& stream : streams) {
        bool unique = cfb::IsValidName(stream.name);
        for (const ArchiveStream& other : kept) unique = unique && cfb::CompareNames(other.name, stream.name) != 0;
        const std::size_t end = stream.path.find(u'\0');
        if (end != std::u16string::npos) stream.path.resize(end), stream.cleanPadding = false;
        if (unique) stream.entry = kept.size(), kept.push_back(std::move(stream));
    }
    return kept;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<ArchiveStream> streams = Decode(data, size);
    const Layout layout = CheckLayout(streams);
    if (!layout.problems.empty()) {
        if (!layout.files.empty()) Fail("a refused layout lists files");
        return 0;
    }
    if (layout.files.size() != streams.size()) Fail("an accepted layout leaves elements out");
    for (std::size_t i = 0; i < layout.files.size(); ++i) {
        const LayoutFile& file = layout.files[i];
        if (file.number != i + 1) Fail("an accepted layout is not numbered 1 to N");
        if (file.components.empty() || (i > 0 && file.components.size() < 2)) Fail("a file outside the mod's folders");
        std::vector<std::u16string> again;
        if (!SplitHeaderPath(file.stream->path, &again).empty() || again != file.components)
            Fail("an accepted path splits otherwise");
        for (const std::u16string& component : file.components)
            if (component.empty() || component == u"." || component == u"..") Fail("an accepted path climbs");
    }
    return 0;
}
