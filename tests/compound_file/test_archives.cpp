#include "tests/compound_file/test_archives.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>

#include "platform/compound_file/memory_io.h"
#include "platform/compound_file/reader.h"
#include "platform/compound_file/writer.h"

namespace cfb_test {

std::vector<std::uint8_t> Pattern(std::size_t size, std::uint32_t seed) {
    std::vector<std::uint8_t> bytes(size);
    std::uint32_t state = seed * 2654435761u + 12345u;
    for (std::size_t i = 0; i < size; ++i) {
        state = state * 1103515245u + 12345u;
        bytes[i] = static_cast<std::uint8_t>(state >> 23);
    }
    return bytes;
}

std::u16string Utf16(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

std::string Narrow(const std::u16string& text) {
    std::string out;
    for (char16_t unit : text) out += unit < 0x80 ? static_cast<char>(unit) : '?';
    return out;
}

std::vector<TestStream> NumberedStreams(std::size_t count, const std::vector<std::size_t>& sizes) {
    std::vector<TestStream> streams;
    for (std::size_t i = 0; i < count; ++i) {
        streams.push_back(TestStream{Utf16(std::to_string(i + 1)),
                                     Pattern(sizes[i % sizes.size()], static_cast<std::uint32_t>(i + 1))});
    }
    return streams;
}

std::vector<std::uint8_t> BuildArchive(const std::vector<TestStream>& streams) {
    std::vector<std::uint8_t> file;
    cfb::Writer writer(std::make_unique<cfb::MemorySink>(file));
    EXPECT_EQ(writer.Start(), cfb::Error::None);
    for (const TestStream& stream : streams) {
        EXPECT_EQ(writer.CreateStream(stream.name), cfb::Error::None) << Narrow(stream.name);
        EXPECT_EQ(writer.Write(stream.bytes.data(), static_cast<std::uint32_t>(stream.bytes.size())),
                  cfb::Error::None);
        EXPECT_EQ(writer.CloseStream(), cfb::Error::None);
    }
    EXPECT_EQ(writer.Finish(), cfb::Error::None);
    EXPECT_TRUE(writer.Finished());
    return file;
}

std::string CompareWithReader(const std::vector<std::uint8_t>& file, const std::vector<TestStream>& streams) {
    cfb::MemorySource source(file.data(), file.size());
    cfb::Reader reader;
    std::string error = reader.Open(source);
    if (!error.empty()) return "open: " + error;
    if (reader.Entries().size() != streams.size()) {
        return "the reader lists " + std::to_string(reader.Entries().size()) + " streams, expected " +
               std::to_string(streams.size());
    }
    for (const TestStream& stream : streams) {
        const long index = reader.Find(stream.name);
        if (index < 0) return "stream " + Narrow(stream.name) + " is missing";
        const cfb::Entry& entry = reader.Entries()[static_cast<std::size_t>(index)];
        if (entry.type != cfb::EntryType::Stream || entry.name != stream.name) {
            return "stream " + Narrow(stream.name) + " is listed wrongly";
        }
        if (entry.size != stream.bytes.size()) return "stream " + Narrow(stream.name) + " has the wrong size";
        std::vector<std::uint8_t> bytes;
        error = reader.ReadAll(static_cast<std::size_t>(index), [&](const std::uint8_t* data, std::size_t size) {
            bytes.insert(bytes.end(), data, data + size);
            return true;
        });
        if (!error.empty()) return "read " + Narrow(stream.name) + ": " + error;
        if (bytes != stream.bytes) return "stream " + Narrow(stream.name) + " reads back different bytes";
    }
    return std::string();
}

std::string OpenError(const std::vector<std::uint8_t>& file) {
    cfb::MemorySource source(file.data(), file.size());
    cfb::Reader reader;
    return reader.Open(source);
}

std::vector<std::uint8_t> ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

namespace {

struct Walk {
    std::uint32_t none;
    const std::vector<std::uint32_t>& left;
    const std::vector<std::uint32_t>& right;
    const std::vector<bool>& red;
    std::vector<bool> seen;
    TreeReport report;

    // Returns the black height of the subtree, or -1 after an error.
    int Visit(std::uint32_t node, bool parentRed, int depth) {
        if (node == none) return 0;
        if (node >= seen.size()) return Fail("node " + std::to_string(node) + " out of range");
        if (seen[node]) return Fail("node " + std::to_string(node) + " reached twice");
        seen[node] = true;
        report.height = std::max(report.height, depth);
        if (red[node] && parentRed) return Fail("red node " + std::to_string(node) + " has a red parent");
        const int l = Visit(left[node], red[node], depth + 1);
        if (l < 0) return -1;
        report.inOrder.push_back(node);
        const int r = Visit(right[node], red[node], depth + 1);
        if (r < 0) return -1;
        if (l != r) return Fail("black heights differ below node " + std::to_string(node));
        return l + (red[node] ? 0 : 1);
    }
    int Fail(const std::string& text) {
        if (report.error.empty()) report.error = text;
        return -1;
    }
};

}  // namespace

TreeReport CheckRedBlackTree(std::uint32_t root, std::uint32_t none, const std::vector<std::uint32_t>& left,
                             const std::vector<std::uint32_t>& right, const std::vector<bool>& red) {
    Walk walk{none, left, right, red, std::vector<bool>(left.size(), false), TreeReport()};
    if (root != none && root < red.size() && red[root]) walk.Fail("the root is red");
    walk.Visit(root, false, 1);
    for (std::size_t id = 0; walk.report.error.empty() && id < left.size(); ++id) {
        if (!walk.seen[id]) walk.Fail("node " + std::to_string(id) + " is not in the tree");
    }
    return walk.report;
}

cfb::Error TestSink::WriteAt(std::uint64_t offset, const void* data, std::size_t size) {
    Record& r = record_;
    if (offset == 0 && ++r.headerWrites == 2 && r.failHeader) return r.error;
    if (size > r.budget) return r.budget = 0, r.error;
    if (offset + size > r.capacity) return cfb::Error::MediumFull;
    if (r.watch && offset + size > r.reserved) ++r.writesPastReservation;
    r.budget -= size;
    r.written += size;
    r.end = std::max<std::uint64_t>(r.end, offset + size);
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    for (std::size_t i = 0; offset + i < 512 && i < size; ++i) r.headerWritten = r.headerWritten || bytes[i] != 0;
    if (!r.keep) return cfb::Error::None;
    if (r.bytes.size() < offset + size) r.bytes.resize(static_cast<std::size_t>(offset + size));
    std::memcpy(r.bytes.data() + offset, data, size);
    return cfb::Error::None;
}

cfb::Error TestSink::Reserve(std::uint64_t size) {
    if (size > record_.capacity) return cfb::Error::MediumFull;
    record_.reserved = std::max(record_.reserved, size);
    return cfb::Error::None;
}

}  // namespace cfb_test
