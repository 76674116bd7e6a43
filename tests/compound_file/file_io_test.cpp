// Files as sinks and sources, and the mapping of system errors.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/compound_file/file_io.h"
#include "tests/compound_file/test_archives.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>

#include <cerrno>
#endif

namespace {

namespace fs = std::filesystem;
using cfb::Error;

TEST(FileIo, SystemErrorsMapToTheComponentsErrors) {
    struct Case {
        unsigned long code;
        Error expected;
    };
#ifdef _WIN32
    const Case cases[] = {
        {ERROR_FILE_EXISTS, Error::FileExists},       {ERROR_ALREADY_EXISTS, Error::FileExists},
        {ERROR_ACCESS_DENIED, Error::AccessDenied},   {ERROR_SHARING_VIOLATION, Error::AccessDenied},
        {ERROR_DISK_FULL, Error::MediumFull},         {ERROR_HANDLE_DISK_FULL, Error::MediumFull},
        {ERROR_WRITE_FAULT, Error::WriteFault},       {ERROR_NOT_ENOUGH_MEMORY, Error::OutOfMemory},
        {ERROR_OUTOFMEMORY, Error::OutOfMemory},      {ERROR_PATH_NOT_FOUND, Error::PathNotFound},
        {ERROR_FILE_NOT_FOUND, Error::FileNotFound},  {ERROR_INVALID_NAME, Error::InvalidName},
        {ERROR_GEN_FAILURE, Error::WriteFault},
    };
#else
    const Case cases[] = {
        {EEXIST, Error::FileExists},   {EACCES, Error::AccessDenied}, {EPERM, Error::AccessDenied},
        {EROFS, Error::AccessDenied},  {ENOSPC, Error::MediumFull},   {EDQUOT, Error::MediumFull},
        {EIO, Error::WriteFault},      {ENOMEM, Error::OutOfMemory},  {ENOENT, Error::PathNotFound},
        {ENOTDIR, Error::PathNotFound}, {EBADF, Error::WriteFault},
    };
#endif
    for (const Case& c : cases) {
        EXPECT_EQ(cfb::ErrorFromSystem(c.code), c.expected) << "code " << c.code;
    }
}

TEST(FileIo, CreateNewReplaceAndRead) {
    const fs::path dir = fs::temp_directory_path() / "cfb-file-io";
    fs::remove_all(dir);
    fs::create_directories(dir);
    const std::string path = (dir / "f.bin").u8string();
    Error error = Error::None;
    {
        auto sink = cfb::CreateFileSink(path, cfb::CreateMode::New, error);
        ASSERT_NE(sink, nullptr) << cfb::ErrorText(error);
        // A gap before the second write reads back as zeros.
        ASSERT_EQ(sink->WriteAt(0, "abc", 3), Error::None);
        ASSERT_EQ(sink->WriteAt(10, "xyz", 3), Error::None);
        ASSERT_EQ(sink->Close(), Error::None);
    }
    EXPECT_EQ(cfb::CreateFileSink(path, cfb::CreateMode::New, error), nullptr);
    EXPECT_EQ(error, Error::FileExists);

    std::string message;
    auto source = cfb::OpenFileSource(path, message);
    ASSERT_NE(source, nullptr) << message;
    ASSERT_EQ(source->Size(), 13u);
    char bytes[13];
    ASSERT_TRUE(source->ReadAt(0, bytes, 13));
    EXPECT_EQ(std::string(bytes, 13), std::string("abc\0\0\0\0\0\0\0xyz", 13));
    EXPECT_FALSE(source->ReadAt(12, bytes, 2));
    source.reset();

    auto replaced = cfb::CreateFileSink(path, cfb::CreateMode::Replace, error);
    ASSERT_NE(replaced, nullptr);
    ASSERT_EQ(replaced->WriteAt(0, "1", 1), Error::None);
    replaced.reset();
    EXPECT_EQ(fs::file_size(dir / "f.bin"), 1u);

    EXPECT_EQ(cfb::OpenFileSource((dir / "missing").u8string(), message), nullptr);
    EXPECT_NE(message.find("missing"), std::string::npos) << message;
    fs::remove_all(dir);
}

// A reservation takes space for the file without changing what it holds once
// closed.
TEST(FileIo, ReserveKeepsTheContent) {
    const fs::path dir = fs::temp_directory_path() / "cfb-file-reserve";
    fs::remove_all(dir);
    fs::create_directories(dir);
    const fs::path path = dir / "r.bin";
    Error error = Error::None;
    auto sink = cfb::CreateFileSink(path.u8string(), cfb::CreateMode::New, error);
    ASSERT_NE(sink, nullptr);
    ASSERT_EQ(sink->Reserve(10u << 20), Error::None);
#ifdef __linux__
    struct stat info;
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    const bool preallocated = static_cast<std::uint64_t>(info.st_blocks) * 512 >= (10u << 20);
#endif
    ASSERT_EQ(sink->WriteAt(0, "0123456789", 10), Error::None);
    ASSERT_EQ(sink->Reserve(100), Error::None);  // smaller: nothing to do
    ASSERT_EQ(sink->Close(), Error::None);
    EXPECT_EQ(fs::file_size(path), 10u);
#ifdef __linux__
    if (preallocated) {  // the file system preallocates: the excess went back
        ASSERT_EQ(stat(path.c_str(), &info), 0);
        EXPECT_LT(static_cast<std::uint64_t>(info.st_blocks) * 512, 1u << 20);
    }
#endif
    std::ifstream in(path, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text, "0123456789");
    in.close();
    fs::remove_all(dir);
}

}  // namespace
