// Writes a compound file with exactly the streams a list names, for tests that
// hand tvpack archives the packer would never write.
//
// Usage: craft_archive [--version4 | --system] OUT LIST
// LIST holds one stream per line: the name as UTF-16LE in hex, a space, and
// the stream's whole content (name header included) in hex. Our writer makes
// the file, in version 3; --version4 lays it out with 4096-byte sectors, and
// --system has the system's own library write it (Windows only).
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "platform/compound_file/file_io.h"
#include "platform/compound_file/writer.h"
#include "tests/tools/craft_archive.h"

namespace {

bool FromHex(const std::string& hex, std::vector<std::uint8_t>* bytes)
{
    if (hex.size() % 2 != 0)
        return false;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        unsigned value = 0;
        if (std::sscanf(hex.substr(i, 2).c_str(), "%2x", &value) != 1)
            return false;
        bytes->push_back(static_cast<std::uint8_t>(value));
    }
    return true;
}

int Fail(const std::string& what, cfb::Error error = cfb::Error::None)
{
    std::fprintf(stderr, "craft_archive: %s%s%s\n", what.c_str(), error == cfb::Error::None ? "" : ": ",
                 error == cfb::Error::None ? "" : cfb::ErrorText(error));
    return 1;
}

int WriteWithOurs(const std::string& out, const std::vector<CraftStream>& streams)
{
    cfb::Error error = cfb::Error::None;
    std::unique_ptr<cfb::WriteSink> sink = cfb::CreateFileSink(out.c_str(), cfb::CreateMode::Replace, error);
    if (sink == nullptr)
        return Fail("cannot create " + out, error);
    cfb::Writer writer(std::move(sink));
    if ((error = writer.Start()) != cfb::Error::None)
        return Fail("start", error);
    for (const CraftStream& stream : streams) {
        if ((error = writer.CreateStream(stream.name)) != cfb::Error::None)
            return Fail("create a stream", error);
        if (!stream.content.empty() &&
            (error = writer.Write(stream.content.data(), static_cast<std::uint32_t>(stream.content.size()))) !=
                cfb::Error::None)
            return Fail("write a stream", error);
        if ((error = writer.CloseStream()) != cfb::Error::None)
            return Fail("close a stream", error);
    }
    if ((error = writer.Finish()) != cfb::Error::None)
        return Fail("finish", error);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string writerName = argc == 4 ? argv[1] : "";
    if (argc != 3 && !(argc == 4 && (writerName == "--version4" || writerName == "--system")))
        return Fail("usage: craft_archive [--version4 | --system] OUT LIST");
    const std::string out = argv[argc - 2];
    std::ifstream list(argv[argc - 1]);
    if (!list)
        return Fail(std::string("cannot read ") + argv[argc - 1]);

    std::vector<CraftStream> streams;
    std::string nameHex;
    std::string contentHex;
    while (list >> nameHex >> contentHex) {
        std::vector<std::uint8_t> nameBytes;
        CraftStream stream;
        if (!FromHex(nameHex, &nameBytes) || nameBytes.size() % 2 != 0 || !FromHex(contentHex, &stream.content))
            return Fail("bad line for " + nameHex);
        for (std::size_t i = 0; i < nameBytes.size(); i += 2)
            stream.name += static_cast<char16_t>(nameBytes[i] | (nameBytes[i + 1] << 8));
        streams.push_back(std::move(stream));
    }
    if (writerName.empty())
        return WriteWithOurs(out, streams);
    std::string problem = writerName == "--system" ? WriteWithSystem(out, streams) : WriteVersion4(out, streams);
    return problem.empty() ? 0 : Fail(problem);
}
