// StgCreateStorageEx as the packer calls it, on real files: our POSIX layer,
// or CfStgCreateStorageEx on Windows. Built with TVP_SYSTEM_STORAGE the same
// tests run against the system's library, except those marked as our own
// component's choices.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/compound_file/file_io.h"
#include "platform/compound_file/reader.h"
#include "platform/platform.h"
#include "tests/compound_file/test_archives.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

namespace fs = std::filesystem;
using WideString = std::basic_string<WCHAR>;

constexpr DWORD kNewMode = STGM_READWRITE | STGM_SHARE_EXCLUSIVE;  // 0x12
constexpr DWORD kReplaceMode = STGM_CREATE | kNewMode;             // 0x1012

WideString Wide(const fs::path& path) {
#ifdef _WIN32
    return path.wstring();
#else
    return path.u16string();
#endif
}

WideString Wide(const std::string& ascii) { return WideString(ascii.begin(), ascii.end()); }

class StorageAdapter : public testing::Test {
protected:
    void SetUp() override {
        const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
        dir_ = fs::temp_directory_path() / (std::string("cfb-storage-") + info->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }

    static HRESULT Create(const fs::path& path, DWORD mode, IStorage** storage) {
        void* object = reinterpret_cast<void*>(1);
        const HRESULT result =
            StgCreateStorageEx(Wide(path).c_str(), mode, STGFMT_STORAGE, 0, nullptr, nullptr, IID_IStorage, &object);
        *storage = static_cast<IStorage*>(object);
        return result;
    }

    // One packed file: the 1024-byte name header, then the content.
    static HRESULT AddStream(IStorage* storage, unsigned number, const std::vector<std::uint8_t>& content) {
        IStream* stream = nullptr;
        HRESULT result = storage->CreateStream(Wide(std::to_string(number)).c_str(), kReplaceMode, 0, 0, &stream);
        if (result != S_OK) return result;
        std::vector<std::uint8_t> header(1024, 0);
        header[0] = static_cast<std::uint8_t>('0' + number % 10);
        ULONG written = 0;
        result = stream->Write(header.data(), 1024, &written);
        if (result == S_OK && written == 1024) {
            // Like the packer, pass a real buffer even for an empty file.
            const std::uint8_t none = 0;
            const std::uint8_t* data = content.empty() ? &none : content.data();
            result = stream->Write(data, static_cast<ULONG>(content.size()), &written);
            if (result == S_OK && written != content.size()) result = E_INVALIDARG;
        }
        stream->Release();
        return result;
    }

    static std::vector<cfb_test::TestStream> Expected(const std::vector<std::vector<std::uint8_t>>& contents) {
        std::vector<cfb_test::TestStream> streams;
        for (std::size_t i = 0; i < contents.size(); ++i) {
            std::vector<std::uint8_t> bytes(1024, 0);
            bytes[0] = static_cast<std::uint8_t>('0' + (i + 1) % 10);
            bytes.insert(bytes.end(), contents[i].begin(), contents[i].end());
            streams.push_back({cfb_test::Utf16(std::to_string(i + 1)), bytes});
        }
        return streams;
    }

    static std::vector<std::uint8_t> ReadFile(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    fs::path dir_;
};

TEST_F(StorageAdapter, PacksStreamsLikeThePacker) {
    const fs::path archive = dir_ / "castle.tvp";
    IStorage* storage = nullptr;
    ASSERT_EQ(Create(archive, kNewMode, &storage), S_OK);
    ASSERT_NE(storage, nullptr);
    std::vector<std::vector<std::uint8_t>> contents;
    const std::size_t sizes[] = {0, 100, 3071, 3072, 5000, 300000, 1, 2047};
    for (std::size_t i = 0; i < 40; ++i) {
        contents.push_back(cfb_test::Pattern(sizes[i % 8], static_cast<std::uint32_t>(i)));
        ASSERT_EQ(AddStream(storage, static_cast<unsigned>(i + 1), contents.back()), S_OK) << i;
    }
    EXPECT_EQ(storage->Release(), 0u);
    const std::vector<std::uint8_t> file = ReadFile(archive);
    EXPECT_EQ(cfb_test::CompareWithReader(file, Expected(contents)), "");
}

TEST_F(StorageAdapter, ExistingFileIsKeptWithoutCreateFlagAndReplacedWithIt) {
    const fs::path archive = dir_ / "old.tvp";
    std::ofstream(archive, std::ios::binary) << "previous contents";
    IStorage* storage = nullptr;
    EXPECT_EQ(Create(archive, kNewMode, &storage), STG_E_FILEALREADYEXISTS);
    EXPECT_EQ(storage, nullptr);
    const std::vector<std::uint8_t> kept = ReadFile(archive);
    EXPECT_EQ(std::string(kept.begin(), kept.end()), "previous contents");

    ASSERT_EQ(Create(archive, kReplaceMode, &storage), S_OK);
    ASSERT_EQ(AddStream(storage, 1, {1, 2, 3}), S_OK);
    storage->Release();
    EXPECT_EQ(cfb_test::CompareWithReader(ReadFile(archive), Expected({{1, 2, 3}})), "");
}

TEST_F(StorageAdapter, ArchiveWithoutStreamsIsValid) {
    const fs::path archive = dir_ / "empty.tvp";
    IStorage* storage = nullptr;
    ASSERT_EQ(Create(archive, kNewMode, &storage), S_OK);
    storage->Release();
    EXPECT_EQ(cfb_test::CompareWithReader(ReadFile(archive), {}), "");
}

TEST_F(StorageAdapter, MissingFolderFails) {
    IStorage* storage = nullptr;
    const HRESULT result = Create(dir_ / "no such folder" / "a.tvp", kNewMode, &storage);
#if defined(_WIN32) && defined(TVP_SYSTEM_STORAGE)
    EXPECT_NE(result, S_OK);  // Wine's library answers E_FAIL here
#else
    EXPECT_EQ(result, STG_E_PATHNOTFOUND) << std::hex << result;
#endif
    EXPECT_EQ(storage, nullptr);
}

TEST_F(StorageAdapter, InterfacesAndReferences) {
    IStorage* storage = nullptr;
    ASSERT_EQ(Create(dir_ / "com.tvp", kNewMode, &storage), S_OK);
    void* object = nullptr;
    ASSERT_EQ(storage->QueryInterface(IID_IUnknown, &object), S_OK);
    static_cast<IUnknown*>(object)->Release();
    EXPECT_EQ(storage->QueryInterface(IID_IStream, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);

    IStream* stream = nullptr;
    ASSERT_EQ(storage->CreateStream(Wide(std::string("1")).c_str(), kReplaceMode, 0, 0, &stream), S_OK);
    ASSERT_EQ(stream->QueryInterface(IID_IStream, &object), S_OK);
    EXPECT_EQ(object, static_cast<void*>(stream));
    EXPECT_EQ(stream->Release(), 1u);
    EXPECT_EQ(stream->QueryInterface(IID_IStorage, &object), E_NOINTERFACE);
    EXPECT_EQ(stream->Release(), 0u);
    EXPECT_EQ(storage->Release(), 0u);
    EXPECT_EQ(cfb_test::CompareWithReader(ReadFile(dir_ / "com.tvp"), {{u"1", {}}}), "");
}

#if !defined(_WIN32) || !defined(TVP_SYSTEM_STORAGE)

// Our component's stream keeps its storage alive: released in either order,
// the archive is completed by the last release. (The system's library
// instead invalidates a stream whose storage is released.)
TEST_F(StorageAdapter, StreamOutlivingItsStorageCompletesTheArchive) {
    IStorage* storage = nullptr;
    ASSERT_EQ(Create(dir_ / "order.tvp", kNewMode, &storage), S_OK);
    IStream* stream = nullptr;
    ASSERT_EQ(storage->CreateStream(Wide(std::string("1")).c_str(), kReplaceMode, 0, 0, &stream), S_OK);
    const char text[] = "written after the storage was released";
    ULONG written = 0;
    EXPECT_EQ(storage->Release(), 1u);  // the stream's reference remains
    EXPECT_EQ(stream->Write(text, sizeof text, &written), S_OK);
    EXPECT_EQ(written, sizeof text);
    EXPECT_EQ(stream->Release(), 0u);
    const std::vector<std::uint8_t> bytes(text, text + sizeof text);
    EXPECT_EQ(cfb_test::CompareWithReader(ReadFile(dir_ / "order.tvp"), {{u"1", bytes}}), "");
}

#endif

#if !defined(_WIN32) || !defined(TVP_SYSTEM_STORAGE)

// Our component's own answers where the system's library differs or is
// undocumented: one stream at a time, no replacing of streams.
TEST_F(StorageAdapter, OwnComponentRefusals) {
    IStorage* storage = nullptr;
    void* object = nullptr;
    EXPECT_EQ(StgCreateStorageEx(Wide(dir_ / "x.tvp").c_str(), kNewMode | STGM_TRANSACTED, STGFMT_STORAGE, 0, nullptr,
                                 nullptr, IID_IStorage, &object),
              STG_E_INVALIDFLAG);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(StgCreateStorageEx(Wide(dir_ / "x.tvp").c_str(), kNewMode, STGFMT_STORAGE, 0, nullptr, nullptr,
                                 IID_IStream, &object),
              E_NOINTERFACE);
    ASSERT_EQ(Create(dir_ / "refusals.tvp", kNewMode, &storage), S_OK);
    IStream* stream = reinterpret_cast<IStream*>(1);
    for (const char* bad : {"", "a/b", "a\\b", "a:b", "a!b", "12345678901234567890123456789012"}) {
        EXPECT_EQ(storage->CreateStream(Wide(std::string(bad)).c_str(), kReplaceMode, 0, 0, &stream),
                  STG_E_INVALIDNAME)
            << bad;
        EXPECT_EQ(stream, nullptr);
    }
    EXPECT_EQ(storage->CreateStream(Wide(std::string("1")).c_str(), kReplaceMode | STGM_TRANSACTED, 0, 0, &stream),
              STG_E_INVALIDFLAG);
    ASSERT_EQ(AddStream(storage, 1, {9}), S_OK);
    EXPECT_EQ(AddStream(storage, 1, {8}), STG_E_FILEALREADYEXISTS);
    IStream* first = nullptr;
    ASSERT_EQ(storage->CreateStream(Wide(std::string("2")).c_str(), kReplaceMode, 0, 0, &first), S_OK);
    EXPECT_EQ(storage->CreateStream(Wide(std::string("3")).c_str(), kReplaceMode, 0, 0, &stream), STG_E_ACCESSDENIED);
    ULONG read = 7;
    char byte;
    EXPECT_EQ(first->Read(&byte, 1, &read), STG_E_INVALIDFUNCTION);
    EXPECT_EQ(read, 0u);
    first->Release();
    storage->Release();
    EXPECT_EQ(cfb_test::CompareWithReader(ReadFile(dir_ / "refusals.tvp"),
                                          {{u"1", Expected({{9}})[0].bytes}, {u"2", {}}}),
              "");
}

#endif

#ifndef _WIN32

// Replacing a file on a full device: the archive's name is a link to
// /dev/full, so nothing but the link could ever be removed by mistake.
TEST_F(StorageAdapter, FullDeviceReportsMediumFullAndKeepsTheExistingFile) {
    if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "/dev/full is not available";
    const fs::path link = dir_ / "full.tvp";
    fs::create_symlink("/dev/full", link);
    IStorage* storage = nullptr;
    EXPECT_EQ(Create(link, kReplaceMode, &storage), STG_E_MEDIUMFULL);
    EXPECT_EQ(storage, nullptr);
    EXPECT_TRUE(fs::is_symlink(link));  // an existing file is never removed
}

// Permission failures need an unprivileged user: as root, the check runs in
// a child process that gives up its rights first.
TEST_F(StorageAdapter, ReadOnlyFolderReportsAccessDenied) {
    const fs::path locked = dir_ / "locked";
    fs::create_directories(locked);
    ASSERT_EQ(chmod(locked.c_str(), 0555), 0);
    ASSERT_EQ(chmod(dir_.c_str(), 0755), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(2);
        IStorage* storage = nullptr;
        const HRESULT result = Create(locked / "a.tvp", kNewMode, &storage);
        _exit(result == STG_E_ACCESSDENIED && storage == nullptr ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "2: could not drop privileges; 1: wrong result";
    EXPECT_FALSE(fs::exists(locked / "a.tvp"));
}

#endif

}  // namespace
