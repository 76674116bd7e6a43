// Writes a compound file with exactly the streams a list names, for tests that
// hand tvpack archives the packer would never write.
//
// Usage: craft_archive OUT LIST
// LIST holds one stream per line: the name as UTF-16LE in hex, a space, and
// the stream's whole content (name header included) in hex.
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "platform/compound_file/file_io.h"
#include "platform/compound_file/writer.h"

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

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3)
        return Fail("usage: craft_archive OUT LIST");
    std::ifstream list(argv[2]);
    if (!list)
        return Fail(std::string("cannot read ") + argv[2]);

    cfb::Error error = cfb::Error::None;
    std::unique_ptr<cfb::WriteSink> sink = cfb::CreateFileSink(argv[1], cfb::CreateMode::Replace, error);
    if (sink == nullptr)
        return Fail(std::string("cannot create ") + argv[1], error);
    cfb::Writer writer(std::move(sink));
    if ((error = writer.Start()) != cfb::Error::None)
        return Fail("start", error);

    std::string nameHex;
    std::string contentHex;
    while (list >> nameHex >> contentHex) {
        std::vector<std::uint8_t> nameBytes;
        std::vector<std::uint8_t> content;
        if (!FromHex(nameHex, &nameBytes) || nameBytes.size() % 2 != 0 || !FromHex(contentHex, &content))
            return Fail("bad line for " + nameHex);
        std::u16string name;
        for (std::size_t i = 0; i < nameBytes.size(); i += 2)
            name += static_cast<char16_t>(nameBytes[i] | (nameBytes[i + 1] << 8));
        if ((error = writer.CreateStream(name)) != cfb::Error::None)
            return Fail("stream " + nameHex, error);
        if (!content.empty() &&
            (error = writer.Write(content.data(), static_cast<std::uint32_t>(content.size()))) !=
                cfb::Error::None)
            return Fail("write " + nameHex, error);
        if ((error = writer.CloseStream()) != cfb::Error::None)
            return Fail("close " + nameHex, error);
    }
    if ((error = writer.Finish()) != cfb::Error::None)
        return Fail("finish", error);
    return 0;
}
