// Packs files into an archive the way the packer does, straight through the
// compound-file writer: per file one whole read into a buffer of its size,
// then stream "N" with the 1024-byte path header and the content in two
// writes. For measuring the writer without the rest of the program.
//
//   bench_pack ARCHIVE FILE...
//   bench_pack --copy OUTPUT FILE...
//
// --copy does the same reads and header and content writes into a plain
// file, without the compound-file format: the least work the packer's way of
// reading and writing allows, and so the baseline for the writer's own cost.
//
// Exit status 0 on success; on failure a message on standard error and 1.

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "platform/compound_file/file_io.h"
#include "platform/compound_file/writer.h"

namespace {

// One file in one new buffer of its size, read with one request, as the
// packer reads it.
struct Content {
    std::unique_ptr<unsigned char[]> bytes;
    std::size_t size = 0;
};

bool ReadWhole(const char* path, Content& content) {
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const off_t size = ::lseek(fd, 0, SEEK_END);
    bool ok = size >= 0 && ::lseek(fd, 0, SEEK_SET) == 0;
    if (ok) {
        content.size = static_cast<std::size_t>(size);
        content.bytes.reset(new unsigned char[content.size == 0 ? 1 : content.size]);
        std::size_t done = 0;
        while (ok && done < content.size) {
            const ssize_t got = ::read(fd, content.bytes.get() + done, content.size - done);
            ok = got > 0;
            if (ok) done += static_cast<std::size_t>(got);
        }
    }
    ::close(fd);
    return ok;
}

void PathHeader(const char* path, unsigned char (&header)[1024]) {
    std::memset(header, 0, sizeof header);
    for (std::size_t k = 0; path[k] != 0 && k < 512; ++k) header[2 * k] = static_cast<unsigned char>(path[k]);
}

bool WriteAll(int fd, const unsigned char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t done = ::write(fd, data, size);
        if (done <= 0) return false;
        data += done;
        size -= static_cast<std::size_t>(done);
    }
    return true;
}

int Fail(const std::string& text) {
    std::fprintf(stderr, "bench_pack: %s\n", text.c_str());
    return 1;
}

}  // namespace

int Copy(int argc, char** argv) {
    const int out = ::open(argv[2], O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (out < 0) return Fail(std::string("cannot create ") + argv[2]);
    for (int i = 3; i < argc; ++i) {
        Content content;
        if (!ReadWhole(argv[i], content)) return Fail(std::string("cannot read ") + argv[i]);
        unsigned char header[1024];
        PathHeader(argv[i], header);
        if (!WriteAll(out, header, sizeof header) || !WriteAll(out, content.bytes.get(), content.size)) {
            return Fail("cannot write the output");
        }
    }
    return ::close(out) == 0 ? 0 : Fail("cannot close the output");
}

int main(int argc, char** argv) {
    if (argc >= 3 && std::strcmp(argv[1], "--copy") == 0) return Copy(argc, argv);
    if (argc < 2) return Fail("usage: bench_pack [--copy] ARCHIVE FILE...");
    cfb::Error error;
    std::unique_ptr<cfb::WriteSink> sink = cfb::CreateFileSink(argv[1], cfb::CreateMode::Replace, error);
    if (!sink) return Fail(std::string("cannot create the archive: ") + cfb::ErrorText(error));
    cfb::Writer writer(std::move(sink));
    if ((error = writer.Start()) != cfb::Error::None) return Fail(cfb::ErrorText(error));
    for (int i = 2; i < argc; ++i) {
        Content content;
        if (!ReadWhole(argv[i], content)) return Fail(std::string("cannot read ") + argv[i]);
        unsigned char header[1024];
        PathHeader(argv[i], header);
        const std::string number = std::to_string(i - 1);
        if ((error = writer.CreateStream(std::u16string(number.begin(), number.end()))) != cfb::Error::None ||
            (error = writer.Write(header, sizeof header)) != cfb::Error::None ||
            (error = writer.Write(content.bytes.get(), static_cast<std::uint32_t>(content.size))) != cfb::Error::None ||
            (error = writer.CloseStream()) != cfb::Error::None) {
            return Fail(std::string(argv[i]) + ": " + cfb::ErrorText(error));
        }
    }
    if ((error = writer.Finish()) != cfb::Error::None) return Fail(cfb::ErrorText(error));
    return 0;
}
