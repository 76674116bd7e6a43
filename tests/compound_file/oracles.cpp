#include "tests/compound_file/archives.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

#ifdef _WIN32
#include <objbase.h>
#endif

namespace cfb_test {

namespace fs = std::filesystem;

namespace {

void WriteFile(const fs::path& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

#ifdef _WIN32
constexpr DWORD kMode = STGM_READWRITE | STGM_SHARE_EXCLUSIVE;

// Every stream of the archive's root as the system library reads it.
std::string ReadWithSystem(const fs::path& path, Streams& found) {
    IStorage* storage = nullptr;
    if (StgOpenStorage(path.wstring().c_str(), nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, nullptr, 0, &storage) != S_OK)
        return "StgOpenStorage failed";
    IEnumSTATSTG* elements = nullptr;
    std::string error = storage->EnumElements(0, nullptr, 0, &elements) == S_OK ? "" : "EnumElements failed";
    STATSTG stat;
    while (error.empty() && elements->Next(1, &stat, nullptr) == S_OK) {
        found.push_back({std::u16string(stat.pwcsName, stat.pwcsName + wcslen(stat.pwcsName)), Bytes(stat.cbSize.QuadPart)});
        IStream* stream = nullptr;
        ULONG read = 0;
        if (stat.type != STGTY_STREAM ||
            storage->OpenStream(stat.pwcsName, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, &stream) != S_OK ||
            stream->Read(found.back().bytes.data(), static_cast<ULONG>(found.back().bytes.size()), &read) != S_OK ||
            read != found.back().bytes.size())
            error = "can't read " + Narrow(found.back().name);
        if (stream) stream->Release();
        CoTaskMemFree(stat.pwcsName);
    }
    if (elements) elements->Release();
    storage->Release();
    return error;
}

void WriteWithSystem(const fs::path& path, const Streams& streams) {
    IStorage* storage = nullptr;
    ASSERT_EQ(StgCreateStorageEx(path.wstring().c_str(), STGM_CREATE | kMode, STGFMT_STORAGE, 0, nullptr, nullptr,
                                 IID_IStorage, reinterpret_cast<void**>(&storage)), S_OK);
    for (const Stream& s : streams) {
        IStream* stream = nullptr;
        const std::wstring name(s.name.begin(), s.name.end());
        const std::uint8_t none = 0;  // the library wants a buffer even for no bytes
        EXPECT_EQ(storage->CreateStream(name.c_str(), STGM_CREATE | kMode, 0, 0, &stream), S_OK);
        if (!stream) continue;
        EXPECT_EQ(stream->Write(s.bytes.empty() ? &none : s.bytes.data(), s.bytes.size(), nullptr), S_OK);
        stream->Release();
    }
    storage->Release();
}
#endif

}  // namespace

// In the working folder, which is the test's own in each build tree.
std::string OracleProblems(const std::vector<Archive>& archives) {
    const fs::path dir = fs::absolute("cfb-oracles");
    fs::remove_all(dir);
    fs::create_directories(dir);
    std::string problems;
    for (const Archive& a : archives) {
        const fs::path archive = dir / (a.name + ".cfb");
        WriteFile(archive, a.file);
#ifdef _WIN32
        Streams found, expected = a.streams;
        const std::string error = ReadWithSystem(archive, found);
        std::sort(found.begin(), found.end()), std::sort(expected.begin(), expected.end());
        if (!error.empty() || found != expected) problems += a.name + ": the system library reads otherwise " + error + "\n";
        WriteWithSystem(dir / (a.name + ".system"), a.streams);
        std::ifstream in(dir / (a.name + ".system"), std::ios::binary);
        const Bytes system((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (std::string e = ReadBack(system, a.streams, false); !e.empty()) problems += a.name + ": the system's archive: " + e + "\n";
#else
        fs::create_directories(dir / (a.name + ".cfb.d"));
        for (const Stream& s : a.streams) WriteFile(dir / (a.name + ".cfb.d") / Narrow(s.name), s.bytes);
        if (a.streams.empty()) fs::remove(archive);  // gsf takes an empty root for a file
#endif
    }
#ifndef _WIN32
    std::FILE* pipe = popen(("/usr/bin/python3 " CFB_TEST_SOURCE_DIR "/oracles.py '" + dir.string() + "' 2>&1").c_str(), "r");
    char buffer[4096];
    while (pipe && std::fgets(buffer, sizeof buffer, pipe)) problems += buffer;
    if (!pipe || pclose(pipe) != 0) problems += "the oracles failed\n";
#endif
    fs::remove_all(dir);
    return problems;
}

}  // namespace cfb_test
