// Writes a compound file with exactly the streams a list names, for tests that
// hand tvpack archives the packer would never write, or that other writers
// write.
//
// Usage: craft_archive [--version4 | --system] OUT LIST
// LIST holds one stream per line: the name as UTF-16LE in hex, a space, and
// the stream's whole content (name header included) in hex. Our writer makes
// the file, in version 3; --version4 lays it out with 4096-byte sectors, and
// --system has the system's own library write it (Windows only).
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <numeric>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#include <objbase.h>
#endif

#include "platform/compound_file/file_io.h"
#include "platform/compound_file/format.h"
#include "platform/compound_file/names.h"
#include "platform/compound_file/red_black_tree.h"
#include "platform/compound_file/tables.h"
#include "platform/compound_file/writer.h"

namespace {

struct Stream {
    std::u16string name;
    std::vector<std::uint8_t> content;
};
using Streams = std::vector<Stream>;

std::string WriteWithOurs(const std::string& path, const Streams& streams)
{
    cfb::Error error = cfb::Error::None;
    std::unique_ptr<cfb::WriteSink> sink = cfb::CreateFileSink(path, cfb::CreateMode::Replace, error);
    if (sink == nullptr)
        return std::string("cannot create ") + path + ": " + cfb::ErrorText(error);
    cfb::Writer writer(std::move(sink));
    error = writer.Start();
    for (auto s = streams.begin(); s != streams.end() && error == cfb::Error::None; ++s) {
        error = writer.CreateStream(s->name);
        if (error == cfb::Error::None && !s->content.empty())
            error = writer.Write(s->content.data(), static_cast<std::uint32_t>(s->content.size()));
        if (error == cfb::Error::None)
            error = writer.CloseStream();
    }
    if (error == cfb::Error::None)
        error = writer.Finish();
    return error == cfb::Error::None ? "" : cfb::ErrorText(error);
}

// A version 4 file, the same archive our writer makes in version 3 but with
// 4096-byte sectors: the header sector, one FAT sector, the directory, the
// mini FAT, the mini stream, then each large stream in consecutive sectors.
// One FAT sector describes 4 MiB, plenty for tests.
constexpr std::uint32_t kShift = 12, kSize = 1u << kShift, kIds = kSize / 4;

std::uint32_t Sectors(std::uint64_t bytes, std::uint32_t unit) { return static_cast<std::uint32_t>((bytes + unit - 1) / unit); }

std::string WriteVersion4(const std::string& path, const Streams& streams) {
    using namespace cfb;
    const auto count = static_cast<std::uint32_t>(streams.size());
    const std::uint32_t directorySectors = Sectors((count + 1) * std::uint64_t{kDirectoryEntrySize}, kSize);
    std::vector<std::uint32_t> start(count, kEndOfChain);
    std::uint32_t miniSectors = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::size_t size = streams[i].content.size();
        if (size > 0 && size < kMiniStreamCutoff) start[i] = miniSectors, miniSectors += Sectors(size, kMiniSectorSize);
    }
    const std::uint32_t miniFatSectors = Sectors(miniSectors, kIds);
    const std::uint32_t miniStreamSectors = Sectors(miniSectors * std::uint64_t{kMiniSectorSize}, kSize);
    std::uint32_t next = 1 + directorySectors + miniFatSectors + miniStreamSectors;
    for (std::uint32_t i = 0; i < count; ++i) {
        if (streams[i].content.size() >= kMiniStreamCutoff) start[i] = next, next += Sectors(streams[i].content.size(), kSize);
    }
    if (next > kIds) return "too large for one FAT sector";

    std::vector<std::uint8_t> file((next + 1) * std::size_t{kSize}, 0);
    auto sector = [&](std::uint32_t n) { return &file[(n + 1) * std::size_t{kSize}]; };
    std::uint8_t* fat = sector(0);
    for (std::uint32_t n = 0; n < kIds; ++n) PutU32(fat + 4 * n, kFreeSector);
    auto chain = [&](std::uint8_t* table, std::uint32_t first, std::uint32_t length) {
        for (std::uint32_t n = first; n < first + length; ++n) PutU32(table + 4 * n, n + 1 < first + length ? n + 1 : kEndOfChain);
    };
    PutU32(fat, kFatSector);
    chain(fat, 1, directorySectors);
    chain(fat, 1 + directorySectors, miniFatSectors);
    const std::uint32_t miniStreamStart = 1 + directorySectors + miniFatSectors;
    chain(fat, miniStreamStart, miniStreamSectors);

    HeaderFields fields;
    fields.majorVersion = kMajorVersion4;
    fields.sectorShift = kShift;
    fields.directorySectors = directorySectors;
    fields.firstDirectorySector = 1;
    fields.fatSectors = 1;
    fields.miniFatSectors = miniFatSectors;
    fields.firstMiniFatSector = miniFatSectors > 0 ? 1 + directorySectors : kEndOfChain;
    FillHeader(file.data(), fields);

    std::uint8_t* miniFat = miniFatSectors > 0 ? sector(1 + directorySectors) : nullptr;
    for (std::uint32_t n = 0; n < miniFatSectors * kIds; ++n) PutU32(miniFat + 4 * n, kFreeSector);
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::vector<std::uint8_t>& content = streams[i].content;
        if (content.size() >= kMiniStreamCutoff) {
            chain(fat, start[i], Sectors(content.size(), kSize));
            std::copy(content.begin(), content.end(), sector(start[i]));
        } else if (!content.empty()) {
            chain(miniFat, start[i], Sectors(content.size(), kMiniSectorSize));
            std::copy(content.begin(), content.end(), sector(miniStreamStart) + start[i] * std::size_t{kMiniSectorSize});
        }
    }

    // The root's children as a red-black tree in name order; entry i + 1 is stream i.
    std::vector<std::uint32_t> order(count);
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(),
              [&](std::uint32_t a, std::uint32_t b) { return CompareNames(streams[a].name, streams[b].name) < 0; });
    const BalancedTree tree = BuildBalancedTree(count);
    auto id = [&](std::uint32_t position) { return position == BalancedTree::kNone ? kNoStream : order[position] + 1; };
    std::uint8_t* directory = sector(1);
    for (std::uint32_t e = 0; e < directorySectors * (kSize / kDirectoryEntrySize); ++e) {
        std::uint8_t* d = directory + e * std::size_t{kDirectoryEntrySize};
        PutU32(d + entry::kLeft, kNoStream), PutU32(d + entry::kRight, kNoStream), PutU32(d + entry::kChild, kNoStream);
    }
    FillEntry(directory, u"Root Entry", kTypeRoot, false, kNoStream, kNoStream, id(tree.root),
              miniSectors > 0 ? miniStreamStart : kEndOfChain, miniSectors * std::uint64_t{kMiniSectorSize});
    for (std::uint32_t position = 0; position < count; ++position) {
        const std::uint32_t i = order[position];
        FillEntry(directory + (i + 1) * std::size_t{kDirectoryEntrySize}, streams[i].name, kTypeStream,
                  tree.red[position], id(tree.left[position]), id(tree.right[position]), kNoStream, start[i],
                  streams[i].content.size());
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
    return out ? "" : "cannot write " + path;
}

// The system's library, written the way any Windows program writes an
// archive: a direct-mode storage, one stream after another.
std::string WriteWithSystem(const std::string& path, const Streams& streams) {
#ifdef _WIN32
    const DWORD mode = STGM_DIRECT | STGM_READWRITE | STGM_SHARE_EXCLUSIVE;
    IStorage* storage = nullptr;
    if (StgCreateStorageEx(std::wstring(path.begin(), path.end()).c_str(), STGM_CREATE | mode, STGFMT_STORAGE, 0, nullptr,
                           nullptr, IID_IStorage, reinterpret_cast<void**>(&storage)) != S_OK)
        return "StgCreateStorageEx failed";
    std::string error;
    for (auto s = streams.begin(); s != streams.end() && error.empty(); ++s) {
        IStream* stream = nullptr;
        if (storage->CreateStream(std::wstring(s->name.begin(), s->name.end()).c_str(), STGM_CREATE | mode, 0, 0, &stream) != S_OK) {
            error = "CreateStream failed";
            break;
        }
        const std::uint8_t none = 0;  // the library wants a buffer even for no bytes
        ULONG written = 0;
        const auto size = static_cast<ULONG>(s->content.size());
        if (stream->Write(s->content.empty() ? &none : s->content.data(), size, &written) != S_OK || written != size)
            error = "Write failed";
        stream->Release();
    }
    storage->Release();
    return error;
#else
    static_cast<void>(path), static_cast<void>(streams);
    return "the system's library is there on Windows only";
#endif
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string writerName = argc == 4 ? argv[1] : "";
    std::ifstream list(argc > 2 ? argv[argc - 1] : "");
    if (argc != 3 && !(argc == 4 && (writerName == "--version4" || writerName == "--system")))
        return std::fputs("usage: craft_archive [--version4 | --system] OUT LIST\n", stderr), 1;
    Streams streams;
    std::string nameHex, contentHex, problem = list ? "" : std::string("cannot read ") + argv[argc - 1];
    // Each line: the name's UTF-16LE bytes, then the content's bytes, in hex.
    while (problem.empty() && list >> nameHex >> contentHex) {
        Stream stream;
        if (nameHex.size() % 4 != 0 || contentHex.size() % 2 != 0 ||
            nameHex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos ||
            contentHex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
            problem = "bad line for " + nameHex;
        for (std::size_t i = 0; problem.empty() && i < nameHex.size(); i += 4)
            stream.name += static_cast<char16_t>(std::stoul(nameHex.substr(i + 2, 2) + nameHex.substr(i, 2), nullptr, 16));
        for (std::size_t i = 0; problem.empty() && i < contentHex.size(); i += 2)
            stream.content.push_back(static_cast<std::uint8_t>(std::stoul(contentHex.substr(i, 2), nullptr, 16)));
        streams.push_back(std::move(stream));
    }
    const std::string out = argv[argc - 2];
    if (problem.empty())
        problem = writerName == "--system" ? WriteWithSystem(out, streams)
                  : writerName == "--version4" ? WriteVersion4(out, streams) : WriteWithOurs(out, streams);
    return problem.empty() ? 0 : (std::fprintf(stderr, "craft_archive: %s\n", problem.c_str()), 1);
}
