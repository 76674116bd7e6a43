// Writes a compound file with exactly the streams a list names, for tests that
// hand tvpack archives the packer would never write.
//
// Usage: craft_archive OUT [NAME FILE]...
// Each stream in turn: its name (ASCII), then the file holding its whole
// content, name header included.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

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

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2 || argc % 2 != 0)
        return std::fputs("usage: craft_archive OUT [NAME FILE]...\n", stderr), 1;
    Streams streams;
    for (int i = 2; i < argc; i += 2) {
        std::ifstream file(argv[i + 1], std::ios::binary);
        if (!file)
            return std::fprintf(stderr, "craft_archive: cannot read %s\n", argv[i + 1]), 1;
        const std::string name = argv[i];
        streams.push_back({std::u16string(name.begin(), name.end()), {std::istreambuf_iterator<char>(file), {}}});
    }
    const std::string problem = WriteWithOurs(argv[1], streams);
    return problem.empty() ? 0 : (std::fprintf(stderr, "craft_archive: %s\n", problem.c_str()), 1);
}
