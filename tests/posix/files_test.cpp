// Opening, sizing, reading, closing and deleting files.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

#include "tests/posix/scratch.h"

namespace {

HANDLE Open(const std::u16string& path, DWORD shareMode = 0)
{
    return CreateFileW(path.c_str(), GENERIC_READ, shareMode, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

std::string Pattern(std::size_t size)
{
    std::string bytes(size, '\0');
    std::uint32_t state = 12345;
    for (char& byte : bytes) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<char>(state >> 24);
    }
    return bytes;
}

TEST(ReadFile, ReadsWholeFilesOfEverySize)
{
    // The largest is several times the layer's read slice.
    const std::size_t sizes[] = {0, 1, 4096, (3u << 20) + 123};
    ScratchDir dir;
    for (std::size_t size : sizes) {
        std::string bytes = Pattern(size);
        WriteNative(dir.Native("data"), bytes);
        HANDLE file = Open(dir.Text(u"data"));
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        DWORD high = 99;
        EXPECT_EQ(GetFileSize(file, &high), size);
        EXPECT_EQ(high, 0u);
        // One more byte than the file holds: the read stops at the end.
        std::string buffer(size + 1, '\0');
        DWORD read = 12345;
        EXPECT_TRUE(ReadFile(file, &buffer[0], static_cast<DWORD>(size + 1), &read, nullptr));
        EXPECT_EQ(read, size);
        EXPECT_TRUE(buffer.compare(0, size, bytes) == 0) << size;
        EXPECT_TRUE(ReadFile(file, &buffer[0], 1, &read, nullptr));
        EXPECT_EQ(read, 0u);
        EXPECT_TRUE(CloseHandle(file));
    }
}

TEST(GetFileSize, SplitsSizesOfFourGibibytesAndMore)
{
    ScratchDir dir;
    int fd = open(dir.Native("sparse").c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, (4LL << 30) + 5), 0);
    close(fd);
    HANDLE file = Open(dir.Text(u"sparse"));
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD high = 0;
    EXPECT_EQ(GetFileSize(file, &high), 5u);
    EXPECT_EQ(high, 1u);
    EXPECT_EQ(GetFileSize(file, nullptr), 5u);
    CloseHandle(file);
    EXPECT_EQ(GetFileSize(INVALID_HANDLE_VALUE, &high), INVALID_FILE_SIZE);
    EXPECT_EQ(GetFileSize(nullptr, nullptr), INVALID_FILE_SIZE);
}

TEST(CreateFileW, RefusesAnythingButAnExistingRegularFile)
{
    ScratchDir dir;
    mkdir(dir.Native("folder").c_str(), 0755);
    ASSERT_EQ(mkfifo(dir.Native("fifo").c_str(), 0644), 0);
    int listener = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    std::string socketPath = dir.Native("socket");
    ASSERT_LT(socketPath.size(), sizeof address.sun_path);
    strcpy(address.sun_path, socketPath.c_str());
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(symlink("missing", dir.Native("dangling").c_str()), 0);

    const std::u16string refused[] = {
        dir.Text(u"folder"),  dir.Text(u"fifo"),      // a FIFO must not block the open
        dir.Text(u"socket"),  u"\\dev\\null",         // socket, character device
        dir.Text(u"missing"), dir.Text(u"dangling"),
    };
    int descriptors = OpenDescriptorCount();
    for (const std::u16string& path : refused)
        EXPECT_EQ(Open(path), INVALID_HANDLE_VALUE) << Show(path);
    EXPECT_EQ(OpenDescriptorCount(), descriptors) << "a refused open leaked its descriptor";
    close(listener);

    WriteNative(dir.Native("file"), "x");
    const std::u16string file = dir.Text(u"file");
    EXPECT_EQ(CreateFileW(file.c_str(), GENERIC_READ, 0, nullptr, 1 /* CREATE_NEW */, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(CreateFileW(file.c_str(), 0x40000000u /* write */, 0, nullptr, OPEN_EXISTING, 0,
                          nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(CreateFileW(nullptr, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
}

TEST(CreateFileW, RefusesFilesTheUserMayNotRead)
{
    ScratchDir dir;
    WriteNative(dir.Native("secret"), "x");
    chmod(dir.Native("secret").c_str(), 0000);
    std::u16string path = dir.Text(u"secret");
    EXPECT_TRUE(RunUnprivileged([&] { return Open(path) == INVALID_HANDLE_VALUE; }));
}

TEST(CreateFileW, ShareModeZeroExcludesEveryOtherHolder)
{
    ScratchDir dir;
    WriteNative(dir.Native("file"), "x");
    std::u16string path = dir.Text(u"file");

    HANDLE first = Open(path);
    ASSERT_NE(first, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Open(path), INVALID_HANDLE_VALUE);
    EXPECT_EQ(Open(path, 1), INVALID_HANDLE_VALUE);
    EXPECT_TRUE(RunUnprivileged([&] { return Open(path) == INVALID_HANDLE_VALUE; }));
    EXPECT_TRUE(CloseHandle(first));
    // The other process was refused for the lock alone: now it may open the file.
    EXPECT_TRUE(RunUnprivileged([&] {
        HANDLE file = Open(path);
        return file != INVALID_HANDLE_VALUE && CloseHandle(file);
    }));

    HANDLE again = Open(path);
    EXPECT_NE(again, INVALID_HANDLE_VALUE) << "closing must give up the lock";
    CloseHandle(again);

    HANDLE sharedA = Open(path, 1);
    HANDLE sharedB = Open(path, 1);
    EXPECT_NE(sharedA, INVALID_HANDLE_VALUE);
    EXPECT_NE(sharedB, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Open(path), INVALID_HANDLE_VALUE);
    CloseHandle(sharedA);
    CloseHandle(sharedB);
}

TEST(CloseHandle, RefusesWhatIsNotAnOpenFile)
{
    EXPECT_FALSE(CloseHandle(nullptr));
    EXPECT_FALSE(CloseHandle(INVALID_HANDLE_VALUE));
    DWORD read = 7;
    char byte;
    EXPECT_FALSE(ReadFile(INVALID_HANDLE_VALUE, &byte, 1, &read, nullptr));
    EXPECT_EQ(read, 0u);
}

TEST(DeleteFileW, RemovesFilesOnly)
{
    ScratchDir dir;
    WriteNative(dir.Native("gone.tvp"), "x");
    mkdir(dir.Native("folder").c_str(), 0755);
    EXPECT_TRUE(DeleteFileW(dir.Text(u"gone.tvp").c_str()));
    EXPECT_NE(access(dir.Native("gone.tvp").c_str(), F_OK), 0);
    EXPECT_FALSE(DeleteFileW(dir.Text(u"gone.tvp").c_str()));
    EXPECT_FALSE(DeleteFileW(dir.Text(u"folder").c_str()));
    EXPECT_EQ(access(dir.Native("folder").c_str(), F_OK), 0);
    EXPECT_FALSE(DeleteFileW(nullptr));
}

}  // namespace
