// Writes a compound file with exactly the streams a list names, for tests that
// hand tvpack archives the packer would never write, or that other writers
// write.
//
// Usage: craft_archive [--system] OUT LIST
// LIST holds one stream per line: the name as UTF-16LE in hex, a space, and
// the stream's whole content (name header included) in hex. Our writer makes
// the file; --system has the system's own library write it (Windows only).
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#include <objbase.h>
#endif

#include "platform/compound_file/file_io.h"
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
    if (argc != 3 && !(argc == 4 && writerName == "--system"))
        return std::fputs("usage: craft_archive [--system] OUT LIST\n", stderr), 1;
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
        problem = writerName == "--system" ? WriteWithSystem(out, streams) : WriteWithOurs(out, streams);
    return problem.empty() ? 0 : (std::fprintf(stderr, "craft_archive: %s\n", problem.c_str()), 1);
}
