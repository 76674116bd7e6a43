#include "tests/compound_file/test_archives.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "platform/compound_file/memory_io.h"
#include "platform/compound_file/names.h"
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

cfb::Error FailingSink::WriteAt(std::uint64_t offset, const void* data, std::size_t size) {
    if (offset == 0 && ++headerWrites_ == 2 && failHeader_) return error_;
    if (size > budget_) {
        budget_ = 0;
        return error_;
    }
    budget_ -= size;
    record_.written += size;
    if (record_.bytes.size() < offset + size) record_.bytes.resize(static_cast<std::size_t>(offset + size));
    std::memcpy(record_.bytes.data() + offset, data, size);
    return cfb::Error::None;
}

cfb::Error SpaceSink::WriteAt(std::uint64_t offset, const void* data, std::size_t size) {
    if (offset + size > record_.capacity) return cfb::Error::MediumFull;
    if (record_.watch && offset + size > record_.reserved) ++record_.writesPastReservation;
    if (record_.bytes.size() < offset + size) record_.bytes.resize(static_cast<std::size_t>(offset + size));
    std::memcpy(record_.bytes.data() + offset, data, size);
    return cfb::Error::None;
}

cfb::Error SpaceSink::Reserve(std::uint64_t size) {
    if (size > record_.capacity) return cfb::Error::MediumFull;
    if (size > record_.reserved) record_.reserved = size;
    return cfb::Error::None;
}

cfb::Error DiscardSink::WriteAt(std::uint64_t offset, const void* data, std::size_t size) {
    if (offset < 512) {
        const auto* bytes = static_cast<const std::uint8_t*>(data);
        for (std::size_t i = 0; i < size && offset + i < 512; ++i) {
            if (bytes[i] != 0) record_.headerWritten = true;
        }
    }
    if (offset + size > record_.end) record_.end = offset + size;
    return cfb::Error::None;
}

}  // namespace cfb_test
