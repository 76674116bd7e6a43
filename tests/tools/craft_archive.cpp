// Writes a compound file with exactly the streams a list names, for tests that
// hand tvpack archives the packer would never write.
//
// Usage: craft_archive OUT LIST
// LIST holds one stream per line: the name as UTF-16LE in hex, a space, and
// the stream's whole content (name header included) in hex.
#include <cstdint>
#include <cstdio>
#include <fstream>
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
    std::ifstream list(argc == 3 ? argv[2] : "");
    if (argc != 3)
        return std::fputs("usage: craft_archive OUT LIST\n", stderr), 1;
    Streams streams;
    std::string nameHex, contentHex, problem = list ? "" : std::string("cannot read ") + argv[2];
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
    if (problem.empty())
        problem = WriteWithOurs(argv[1], streams);
    return problem.empty() ? 0 : (std::fprintf(stderr, "craft_archive: %s\n", problem.c_str()), 1);
}
