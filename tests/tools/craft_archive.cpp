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
#include <utility>
#include <vector>

#include "platform/compound_file/file_io.h"
#include "platform/compound_file/writer.h"

int main(int argc, char** argv)
{
    if (argc < 2 || argc % 2 != 0)
        return std::fputs("usage: craft_archive OUT [NAME FILE]...\n", stderr), 1;
    std::vector<std::pair<std::u16string, std::vector<std::uint8_t>>> streams;
    for (int i = 2; i < argc; i += 2) {
        std::ifstream file(argv[i + 1], std::ios::binary);
        if (!file)
            return std::fprintf(stderr, "craft_archive: cannot read %s\n", argv[i + 1]), 1;
        const std::string name = argv[i];
        streams.push_back({{name.begin(), name.end()}, {std::istreambuf_iterator<char>(file), {}}});
    }
    cfb::Error error = cfb::Error::None;
    std::unique_ptr<cfb::WriteSink> sink = cfb::CreateFileSink(argv[1], cfb::CreateMode::Replace, error);
    if (sink == nullptr)
        return std::fprintf(stderr, "craft_archive: cannot create %s: %s\n", argv[1], cfb::ErrorText(error)), 1;
    cfb::Writer writer(std::move(sink));
    error = writer.Start();
    for (auto s = streams.begin(); s != streams.end() && error == cfb::Error::None; ++s) {
        error = writer.CreateStream(s->first);
        if (error == cfb::Error::None && !s->second.empty())
            error = writer.Write(s->second.data(), static_cast<std::uint32_t>(s->second.size()));
        if (error == cfb::Error::None)
            error = writer.CloseStream();
    }
    if (error == cfb::Error::None)
        error = writer.Finish();
    return error == cfb::Error::None ? 0 : (std::fprintf(stderr, "craft_archive: %s\n", cfb::ErrorText(error)), 1);
}
