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
#include <map>
#include <random>
#include <utility>

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
    std::string error = storage->EnumElements(0, nullptr, 0, &elements) == S_OK ? "" : "EnumElements failed";
    STATSTG stat;
    ULONG fetched = 0;
    while (elements && error.empty() && elements->Next(1, &stat, &fetched) == S_OK && fetched == 1) {
        const std::u16string name(stat.pwcsName, stat.pwcsName + wcslen(stat.pwcsName));
        std::vector<std::uint8_t> bytes(static_cast<std::size_t>(stat.cbSize.QuadPart));
        IStream* stream = nullptr;
        ULONG read = 0;
        if (stat.type != STGTY_STREAM ||
            storage->OpenStream(stat.pwcsName, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, &stream) != S_OK) {
            error = "cannot open " + cfb_test::Narrow(name) + " as a stream";
        } else if (!bytes.empty() && (stream->Read(bytes.data(), static_cast<ULONG>(bytes.size()), &read) != S_OK ||
                                      read != bytes.size())) {
            error = "short read of " + cfb_test::Narrow(name);
        }
        if (stream) stream->Release();
        out[name] = bytes;
        CoTaskMemFree(stat.pwcsName);
    }
    if (elements) elements->Release();
    storage->Release();
    return error;
}

std::string Compare(const std::map<std::u16string, std::vector<std::uint8_t>>& got, const Streams& streams) {
    if (got.size() != streams.size()) return std::to_string(got.size()) + " streams instead of " + std::to_string(streams.size());
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
        const std::vector<std::uint8_t> bytes = cfb_test::BuildArchive(streams);
        std::ofstream(dir_ / name, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        return dir_ / name;
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

// Both directions on the same sets: the system library reads what we write,
// and our reader reads what the system library writes.
TEST_F(SystemLibrary, ArchivesCrossBetweenTheLibraries) {
    std::vector<std::pair<std::string, Streams>> cases = {
        {"boundaries", cfb_test::NumberedStreams(11, {0, 1, 63, 64, 65, 512, 4095, 4096, 4097, 3072, 9000})},
        {"empty", {}},
        {"difat", cfb_test::NumberedStreams(40, {2000, 1u << 20})}};
    for (std::uint32_t seed = 1; seed <= 5; ++seed) cases.push_back({"random" + std::to_string(seed), RandomStreams(seed)});
    for (const auto& [name, streams] : cases) {
        const fs::path ours = WriteOurs(streams, name + ".tvp");
        std::map<std::u16string, std::vector<std::uint8_t>> got;
        ASSERT_EQ(ReadWithSystem(ours, got), "") << name;
        EXPECT_EQ(Compare(got, streams), "") << name;
        const fs::path system = WriteSystem(streams, name + ".system.cfb");
        EXPECT_EQ(cfb_test::CompareWithReader(cfb_test::ReadFile(system), streams), "") << name;
        fs::remove(ours);
        fs::remove(system);
    }
}

}  // namespace
