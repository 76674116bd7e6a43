// The system's compound-file library as an oracle (Windows, or Wine in the
// cross build): it must read our archives exactly as written, and our reader
// must read the archives it writes.

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>

#include "platform/compound_file/file_io.h"
#include "platform/compound_file/reader.h"
#include "platform/compound_file/writer.h"
#include "tests/compound_file/test_archives.h"

namespace {

namespace fs = std::filesystem;
using Streams = std::vector<cfb_test::TestStream>;

std::wstring WideName(const std::u16string& name) { return std::wstring(name.begin(), name.end()); }

// Every stream of the root storage, as the system library reads it.
std::string ReadWithSystem(const fs::path& path, std::map<std::u16string, std::vector<std::uint8_t>>& out) {
    IStorage* storage = nullptr;
    HRESULT hr = StgOpenStorage(path.wstring().c_str(), nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, nullptr, 0, &storage);
    if (hr != S_OK) return "StgOpenStorage failed: " + std::to_string(static_cast<unsigned long>(hr));
    IEnumSTATSTG* elements = nullptr;
    std::string error;
    if ((hr = storage->EnumElements(0, nullptr, 0, &elements)) != S_OK) {
        error = "EnumElements failed";
    } else {
        STATSTG stat;
        ULONG fetched = 0;
        while (error.empty() && elements->Next(1, &stat, &fetched) == S_OK && fetched == 1) {
            std::u16string name(stat.pwcsName, stat.pwcsName + wcslen(stat.pwcsName));
            IStream* stream = nullptr;
            if (stat.type != STGTY_STREAM) {
                error = "an element is not a stream";
            } else if (storage->OpenStream(stat.pwcsName, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, &stream) != S_OK) {
                error = "OpenStream failed for " + cfb_test::Narrow(name);
            } else {
                std::vector<std::uint8_t> bytes(static_cast<std::size_t>(stat.cbSize.QuadPart));
                ULONG read = 0;
                if (!bytes.empty() && (stream->Read(bytes.data(), static_cast<ULONG>(bytes.size()), &read) != S_OK ||
                                       read != bytes.size())) {
                    error = "short read of " + cfb_test::Narrow(name);
                }
                stream->Release();
                out[name] = bytes;
            }
            CoTaskMemFree(stat.pwcsName);
        }
        elements->Release();
    }
    storage->Release();
    return error;
}

std::string Compare(const std::map<std::u16string, std::vector<std::uint8_t>>& got, const Streams& streams) {
    if (got.size() != streams.size()) {
        return std::to_string(got.size()) + " streams instead of " + std::to_string(streams.size());
    }
    for (const cfb_test::TestStream& s : streams) {
        const auto it = got.find(s.name);
        if (it == got.end()) return "missing " + cfb_test::Narrow(s.name);
        if (it->second != s.bytes) return "different bytes in " + cfb_test::Narrow(s.name);
    }
    return std::string();
}

Streams RandomStreams(std::uint32_t seed) {
    std::mt19937 random(seed);
    const std::size_t anchors[] = {0, 64, 512, 4095, 4096, 30000};
    Streams streams;
    const std::size_t count = 1 + random() % 120;
    for (std::size_t i = 0; i < count; ++i) {
        std::size_t size = anchors[random() % 6] + random() % 3;
        if (random() % 10 == 0) size = random() % 200000;
        streams.push_back({cfb_test::Utf16(std::to_string(i + 1)), cfb_test::Pattern(size, seed + static_cast<std::uint32_t>(i))});
    }
    return streams;
}

class SystemLibrary : public testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / "cfb-ole32";
        fs::create_directories(dir_);
    }

    fs::path WriteOurs(const Streams& streams, const std::string& name) {
        const fs::path path = dir_ / name;
        fs::remove(path);
        cfb::Error error;
        cfb::Writer writer(cfb::CreateFileSink(path.wstring().c_str(), cfb::CreateMode::New, error));
        EXPECT_EQ(writer.Start(), cfb::Error::None);
        for (const cfb_test::TestStream& s : streams) {
            EXPECT_EQ(writer.CreateStream(s.name), cfb::Error::None);
            EXPECT_EQ(writer.Write(s.bytes.data(), static_cast<std::uint32_t>(s.bytes.size())), cfb::Error::None);
            EXPECT_EQ(writer.CloseStream(), cfb::Error::None);
        }
        EXPECT_EQ(writer.Finish(), cfb::Error::None);
        return path;
    }

    fs::path WriteSystem(const Streams& streams, const std::string& name) {
        const fs::path path = dir_ / name;
        IStorage* storage = nullptr;
        EXPECT_EQ(StgCreateStorageEx(path.wstring().c_str(), STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE,
                                     STGFMT_STORAGE, 0, nullptr, nullptr, IID_IStorage,
                                     reinterpret_cast<void**>(&storage)),
                  S_OK);
        if (!storage) return path;
        for (const cfb_test::TestStream& s : streams) {
            IStream* stream = nullptr;
            EXPECT_EQ(storage->CreateStream(WideName(s.name).c_str(), STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE,
                                            0, 0, &stream),
                      S_OK);
            if (!stream) continue;
            // The system library wants a buffer even for no bytes.
            const std::uint8_t none = 0;
            const std::uint8_t* data = s.bytes.empty() ? &none : s.bytes.data();
            ULONG written = 0;
            EXPECT_EQ(stream->Write(data, static_cast<ULONG>(s.bytes.size()), &written), S_OK);
            stream->Release();
        }
        storage->Release();
        return path;
    }

    fs::path dir_;
};

TEST_F(SystemLibrary, ReadsOurArchives) {
    std::vector<std::pair<std::string, Streams>> cases;
    cases.push_back({"boundaries", cfb_test::NumberedStreams(11, {0, 1, 63, 64, 65, 512, 4095, 4096, 4097, 3072, 9000})});
    cases.push_back({"empty", {}});
    cases.push_back({"difat", cfb_test::NumberedStreams(40, {2000, 1u << 20})});
    for (std::uint32_t seed = 1; seed <= 5; ++seed) cases.push_back({"random" + std::to_string(seed), RandomStreams(seed)});
    for (const auto& c : cases) {
        const fs::path path = WriteOurs(c.second, c.first + ".tvp");
        std::map<std::u16string, std::vector<std::uint8_t>> got;
        ASSERT_EQ(ReadWithSystem(path, got), "") << c.first;
        EXPECT_EQ(Compare(got, c.second), "") << c.first;
        fs::remove(path);
    }
}

TEST_F(SystemLibrary, OurReaderReadsItsArchives) {
    std::vector<std::pair<std::string, Streams>> cases;
    cases.push_back({"boundaries", cfb_test::NumberedStreams(11, {0, 1, 63, 64, 65, 512, 4095, 4096, 4097, 3072, 9000})});
    cases.push_back({"empty", {}});
    cases.push_back({"difat", cfb_test::NumberedStreams(40, {2000, 1u << 20})});
    for (std::uint32_t seed = 11; seed <= 15; ++seed) cases.push_back({"random" + std::to_string(seed), RandomStreams(seed)});
    for (const auto& c : cases) {
        const fs::path path = WriteSystem(c.second, c.first + ".system.cfb");
        std::ifstream in(path, std::ios::binary);
        const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        in.close();
        EXPECT_EQ(cfb_test::CompareWithReader(bytes, c.second), "") << c.first;
        fs::remove(path);
    }
}

// The packer's own calls through the system library and through ours give
// archives that read the same.
TEST_F(SystemLibrary, SameStreamsThroughBothLibraries) {
    const Streams streams = RandomStreams(99);
    std::map<std::u16string, std::vector<std::uint8_t>> ours, system;
    const fs::path a = WriteOurs(streams, "ours.tvp");
    const fs::path b = WriteSystem(streams, "system.tvp");
    ASSERT_EQ(ReadWithSystem(a, ours), "");
    ASSERT_EQ(ReadWithSystem(b, system), "");
    EXPECT_EQ(ours, system);
    EXPECT_EQ(Compare(ours, streams), "");
}

}  // namespace
