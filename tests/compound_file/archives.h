// What the compound-file tests share: seeded random sets of streams, an
// archive written from them by our writer, and the check that our reader
// gives back exactly those streams.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "platform/compound_file/memory_io.h"
#include "platform/compound_file/reader.h"
#include "platform/compound_file/writer.h"

namespace cfb_test {

using Bytes = std::vector<std::uint8_t>;
struct Stream { std::u16string name; Bytes bytes; };
using Streams = std::vector<Stream>;
inline bool operator==(const Stream& a, const Stream& b) { return a.name == b.name && a.bytes == b.bytes; }
inline bool operator<(const Stream& a, const Stream& b) { return a.name < b.name; }

inline Bytes Pattern(std::size_t size, std::uint32_t seed) {
    Bytes bytes(size);
    std::uint32_t state = seed * 2654435761u + 12345u;
    for (std::uint8_t& byte : bytes) byte = static_cast<std::uint8_t>((state = state * 1103515245u + 12345u) >> 23);
    return bytes;
}

inline std::u16string Upper(std::u16string name) {
    for (char16_t& unit : name) unit = unit >= u'a' && unit <= u'z' ? unit - 32 : unit;
    return name;
}

inline std::string Narrow(const std::u16string& name) { return std::string(name.begin(), name.end()); }
inline std::u16string Widen(const std::string& name) { return std::u16string(name.begin(), name.end()); }

// Names of letters, digits and '_' (numbers among them, so that "9" and "10"
// meet), unique without regard to case; sizes around the 64-byte mini
// sector, the 512-byte sector and the 4096-byte mini stream cut-off. Every
// fifth set also has a stream large enough to need more than the header's
// 109 FAT sectors, every fourth enough entries for many directory sectors.
inline Streams RandomStreams(std::uint32_t seed) {
    std::mt19937 random(seed);
    const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_";
    const std::size_t sizes[] = {0, 1, 64, 512, 4095, 4096, 4097, 30000};
    Streams streams;
    std::set<std::u16string> folded;
    for (const std::size_t count = 1 + random() % (seed % 4 == 0 ? 300 : 40); streams.size() < count;) {
        std::u16string name;
        if (random() % 2 == 0) name = Widen(std::to_string(1 + random() % 1200));
        else for (std::size_t n = 1 + random() % 31; n > 0; --n) name += letters[random() % (sizeof letters - 1)];
        if (!folded.insert(Upper(name)).second) continue;
        std::size_t size = random() % 10 == 0 ? random() % 300000 : sizes[random() % 8] + random() % 3;
        streams.push_back({name, Pattern(size > 0 ? size - 1 : 0, seed * 1000 + static_cast<std::uint32_t>(streams.size()))});
    }
    if (seed % 5 == 0) streams.push_back({u"large", Pattern(7300000 + random() % 200000, seed)});
    return streams;
}

// Writes `streams` (and finishes the archive), each stream in pieces of
// random sizes drawn from `pieces` (0: in one call). Returns the first failure.
inline cfb::Error WriteAll(cfb::Writer& writer, const Streams& streams, std::uint32_t pieces = 0, bool finish = true) {
    std::mt19937 random(pieces);
    cfb::Error error = writer.Start();
    for (auto s = streams.begin(); s != streams.end() && error == cfb::Error::None; ++s) {
        error = writer.CreateStream(s->name);
        for (std::size_t done = 0, piece; done < s->bytes.size() && error == cfb::Error::None; done += piece) {
            piece = std::min<std::size_t>(s->bytes.size() - done, pieces ? 1 + random() % (1u << random() % 18) : ~0u);
            error = writer.Write(s->bytes.data() + done, static_cast<std::uint32_t>(piece));
        }
        if (error == cfb::Error::None) error = writer.CloseStream();
    }
    return error == cfb::Error::None && finish ? writer.Finish() : error;
}

inline Bytes Build(const Streams& streams, std::uint32_t pieces = 0) {
    Bytes file;
    cfb::Writer writer(std::make_unique<cfb::MemorySink>(file));
    EXPECT_EQ(WriteAll(writer, streams, pieces), cfb::Error::None);
    return file;
}

inline std::uint32_t U32(const Bytes& file, std::size_t at) {
    return file.at(at) | file.at(at + 1) << 8 | file.at(at + 2) << 16 | static_cast<std::uint32_t>(file.at(at + 3)) << 24;
}

// What our reader finds wrong with `file` as the archive of `streams`: it
// must open it, find no fault in its structure (with `strict`, none of the
// writer's choices either: others leave unused entries dirty or the root
// red, ours does not), list the streams in the format's name order (shorter
// names first, then by upper-cased units) and read back each one's bytes.
inline std::string ReadBack(const Bytes& file, Streams streams, bool strict = true) {
    cfb::MemorySource source(file.data(), file.size());
    cfb::Reader reader;
    if (std::string error = reader.Open(source); !error.empty()) return "open: " + error;
    for (const cfb::Finding& finding : reader.CheckStructure())
        if (strict || finding.kind == cfb::Finding::Kind::Fault) return "structure: " + finding.text;
    std::sort(streams.begin(), streams.end(), [](const Stream& a, const Stream& b) {
        return std::make_pair(a.name.size(), Upper(a.name)) < std::make_pair(b.name.size(), Upper(b.name));
    });
    if (reader.Entries().size() != streams.size()) return std::to_string(reader.Entries().size()) + " entries";
    for (std::size_t i = 0; i < streams.size(); ++i) {
        const Stream& s = streams[i];
        const std::string what = "stream " + Narrow(s.name) + ": ";
        if (reader.Entries()[i].name != s.name) return what + "listed as " + Narrow(reader.Entries()[i].name);
        Bytes whole;
        const std::string error = reader.ReadAll(i, [&](const std::uint8_t* data, std::size_t size) {
            return whole.insert(whole.end(), data, data + size), true;
        }, 1000);
        if (!error.empty() || whole != s.bytes) return what + "reads back otherwise " + error;
    }
    return std::string();
}

struct Archive { std::string name; Streams streams; Bytes file; };

// What readers that share no code with ours find wrong with the archives: on
// the build host olefile (at its strictest), 7-Zip and gsf; on Windows, or
// under Wine, the system's compound-file library, whose own archives of the
// same streams our reader must read too.
std::string OracleProblems(const std::vector<Archive>& archives);

}  // namespace cfb_test
