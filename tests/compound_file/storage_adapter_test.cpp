// StgCreateStorageEx as the packer calls it, on real files: our POSIX layer,
// or CfStgCreateStorageEx on Windows. Built with TVP_SYSTEM_STORAGE the same
// tests run against the system's library, except those marked as our own
// component's choices.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "tests/compound_file/test_archives.h"

#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

namespace fs = std::filesystem;
using WideString = std::basic_string<WCHAR>;
using cfb_test::ReadFile;
using cfb_test::TestStream;

constexpr DWORD kNewMode = STGM_READWRITE | STGM_SHARE_EXCLUSIVE;  // 0x12
constexpr DWORD kReplaceMode = STGM_CREATE | kNewMode;             // 0x1012

WideString Wide(const std::u16string& text) { return WideString(text.begin(), text.end()); }
WideString WidePath(const fs::path& path) { return Wide(path.u16string()); }

class StorageAdapter : public testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               (std::string("cfb-storage-") + testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }

    static HRESULT Create(const fs::path& path, DWORD mode, IStorage** storage, REFIID iid = IID_IStorage) {
        void* object = reinterpret_cast<void*>(1);
        const HRESULT result = StgCreateStorageEx(WidePath(path).c_str(), mode, STGFMT_STORAGE, 0, nullptr, nullptr, iid, &object);
        *storage = static_cast<IStorage*>(object);
        return result;
    }

    // As the packer writes a file: the first 1024 bytes (its header), then the
    // rest in one call with a real buffer even when there is nothing.
    static HRESULT AddStream(IStorage* storage, const TestStream& s) {
        IStream* stream = nullptr;
        HRESULT result = storage->CreateStream(Wide(s.name).c_str(), kReplaceMode, 0, 0, &stream);
        if (result != S_OK) return result;
        const std::uint8_t none = 0;
        const std::uint8_t* data = s.bytes.empty() ? &none : s.bytes.data();
        const ULONG head = static_cast<ULONG>(std::min<std::size_t>(1024, s.bytes.size()));
        const ULONG rest = static_cast<ULONG>(s.bytes.size()) - head;
        ULONG written = 0, written2 = 0;
        if ((result = stream->Write(data, head, &written)) == S_OK) result = stream->Write(data + head, rest, &written2);
        if (result == S_OK && written + written2 != s.bytes.size()) result = E_INVALIDARG;
        stream->Release();
        return result;
    }

    fs::path dir_;
};

TEST_F(StorageAdapter, PacksStreamsLikeThePacker) {
    for (const std::size_t count : {40, 0}) {
        const fs::path archive = dir_ / ("archive" + std::to_string(count) + ".tvp");
        const std::vector<TestStream> streams =
            cfb_test::NumberedStreams(count, {1024, 1124, 4095, 4096, 6024, 301024, 1025, 3071});
        IStorage* storage = nullptr;
        ASSERT_EQ(Create(archive, kNewMode, &storage), S_OK);
        for (const TestStream& s : streams) ASSERT_EQ(AddStream(storage, s), S_OK) << cfb_test::Narrow(s.name);
        EXPECT_EQ(storage->Release(), 0u);
        EXPECT_EQ(cfb_test::CompareWithReader(ReadFile(archive), streams), "") << count;
#if !defined(_WIN32) || !defined(TVP_SYSTEM_STORAGE)
        EXPECT_EQ(cfb_test::CheckLayout(ReadFile(archive)), "") << count;  // no reserved excess left over
#endif
    }
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
    ASSERT_EQ(AddStream(storage, {u"1", {1, 2, 3}}), S_OK);
    storage->Release();
    EXPECT_EQ(cfb_test::CompareWithReader(ReadFile(archive), {{u"1", {1, 2, 3}}}), "");
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
    ASSERT_EQ(storage->CreateStream(Wide(u"1").c_str(), kReplaceMode, 0, 0, &stream), S_OK);
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
    ASSERT_EQ(storage->CreateStream(Wide(u"1").c_str(), kReplaceMode, 0, 0, &stream), S_OK);
    const char text[] = "written after the storage was released";
    ULONG written = 0;
    EXPECT_EQ(storage->Release(), 1u);  // the stream's reference remains
    EXPECT_EQ(stream->Write(text, sizeof text, &written), S_OK);
    EXPECT_EQ(written, sizeof text);
    EXPECT_EQ(stream->Release(), 0u);
    EXPECT_EQ(cfb_test::CompareWithReader(ReadFile(dir_ / "order.tvp"), {{u"1", {text, text + sizeof text}}}), "");
}

// Our component's own answers where the system's library differs or is
// undocumented: one stream at a time, no replacing of streams.
TEST_F(StorageAdapter, OwnComponentRefusals) {
    IStorage* storage = nullptr;
    EXPECT_EQ(Create(dir_ / "x.tvp", kNewMode | STGM_TRANSACTED, &storage), STG_E_INVALIDFLAG);
    EXPECT_EQ(storage, nullptr);
    EXPECT_EQ(Create(dir_ / "x.tvp", kNewMode, &storage, IID_IStream), E_NOINTERFACE);
    ASSERT_EQ(Create(dir_ / "refusals.tvp", kNewMode, &storage), S_OK);
    IStream* stream = reinterpret_cast<IStream*>(1);
    for (const char16_t* bad : {u"", u"a:b", u"12345678901234567890123456789012"}) {
        EXPECT_EQ(storage->CreateStream(Wide(bad).c_str(), kReplaceMode, 0, 0, &stream), STG_E_INVALIDNAME);
        EXPECT_EQ(stream, nullptr);
    }
    EXPECT_EQ(storage->CreateStream(Wide(u"1").c_str(), kReplaceMode | STGM_TRANSACTED, 0, 0, &stream), STG_E_INVALIDFLAG);
    ASSERT_EQ(AddStream(storage, {u"1", {9}}), S_OK);
    EXPECT_EQ(AddStream(storage, {u"1", {8}}), STG_E_FILEALREADYEXISTS);
    IStream* first = nullptr;
    ASSERT_EQ(storage->CreateStream(Wide(u"2").c_str(), kReplaceMode, 0, 0, &first), S_OK);
    EXPECT_EQ(storage->CreateStream(Wide(u"3").c_str(), kReplaceMode, 0, 0, &stream), STG_E_ACCESSDENIED);
    ULONG read = 7;
    char byte;
    EXPECT_EQ(first->Read(&byte, 1, &read), STG_E_INVALIDFUNCTION);
    EXPECT_EQ(read, 0u);
    first->Release();
    storage->Release();
    EXPECT_EQ(cfb_test::CompareWithReader(ReadFile(dir_ / "refusals.tvp"), {{u"1", {9}}, {u"2", {}}}), "");
}

#endif

#ifndef _WIN32

// Replacing a file past the file size limit: the write fails as on a full
// device (in a child process, which may lower its limit), and the file that
// was there is not removed.
TEST_F(StorageAdapter, FullDeviceReportsMediumFullAndKeepsTheExistingFile) {
    const fs::path existing = dir_ / "full.tvp";
    std::ofstream(existing) << "old";
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const rlimit none = {0, 0};
        if (signal(SIGXFSZ, SIG_IGN) == SIG_ERR || setrlimit(RLIMIT_FSIZE, &none) != 0) _exit(2);
        IStorage* storage = nullptr;
        const HRESULT result = Create(existing, kReplaceMode, &storage);
        _exit(result == STG_E_MEDIUMFULL && storage == nullptr ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "2: could not lower the limit; 1: wrong result";
    EXPECT_TRUE(fs::exists(existing));  // an existing file is never removed
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
