// Opening, sizing, reading and locking files; the current directory.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

#include "tests/posix/scratch.h"

namespace {

HANDLE Open(const std::u16string& path, DWORD shareMode = 0)
{
    return CreateFileW(path.c_str(), GENERIC_READ, shareMode, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

TEST(ReadFile, ReadsWholeFilesOfEverySize)
{
    ScratchDir dir;
    for (std::size_t size : {0u, 1u, (3u << 20) + 123}) {  // the largest spans several slices
        std::string bytes(size, '\0');
        for (std::size_t i = 0; i < size; ++i)
            bytes[i] = static_cast<char>((i * 2654435761u) >> 13);
        WriteNative(dir.Native("data"), bytes);
        HANDLE file = Open(dir.Text(u"data"));
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        DWORD high = 99;
        EXPECT_EQ(GetFileSize(file, &high), size);
        EXPECT_EQ(high, 0u);
        std::string buffer(size + 1, '\0');  // one byte more than the file holds
        DWORD read = 12345;
        EXPECT_TRUE(ReadFile(file, &buffer[0], static_cast<DWORD>(size + 1), &read, nullptr));
        EXPECT_EQ(read, size);
        EXPECT_TRUE(buffer.compare(0, size, bytes) == 0) << size;
        EXPECT_TRUE(ReadFile(file, &buffer[0], 1, &read, nullptr));
        EXPECT_EQ(read, 0u);
        EXPECT_TRUE(CloseHandle(file));
    }
}

TEST(CreateFileW, RefusesAnythingButAnExistingReadableRegularFile)
{
    ScratchDir dir;
    mkdir(dir.Native("folder").c_str(), 0755);
    ASSERT_EQ(mkfifo(dir.Native("fifo").c_str(), 0644), 0);  // must not block the open
    ASSERT_EQ(symlink("missing", dir.Native("dangling").c_str()), 0);
    WriteNative(dir.Native("secret"), "x");
    chmod(dir.Native("secret").c_str(), 0000);

    auto descriptors = [] {
        auto fds = std::filesystem::directory_iterator("/proc/self/fd");
        return std::distance(fds, std::filesystem::directory_iterator());
    };
    const auto before = descriptors();
    for (const char16_t* name : {u"folder", u"fifo", u"missing", u"dangling"})
        EXPECT_EQ(Open(dir.Text(name)), INVALID_HANDLE_VALUE) << Show(name);
    EXPECT_EQ(Open(u"\\dev\\null"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(descriptors(), before) << "a refused open leaked its descriptor";

    std::u16string secret = dir.Text(u"secret");
    EXPECT_TRUE(RunUnprivileged([&] { return Open(secret) == INVALID_HANDLE_VALUE; }));

    DWORD high, read;
    EXPECT_FALSE(ReadFile(INVALID_HANDLE_VALUE, &high, 1, &read, nullptr));
    EXPECT_EQ(GetFileSize(INVALID_HANDLE_VALUE, &high), INVALID_FILE_SIZE);
    EXPECT_FALSE(CloseHandle(INVALID_HANDLE_VALUE));
}

TEST(CreateFileW, ShareModeZeroExcludesEveryOtherHolder)
{
    ScratchDir dir;
    WriteNative(dir.Native("file"), "x");
    std::u16string path = dir.Text(u"file");
    EXPECT_EQ(CreateFileW(path.c_str(), 0x40000000u /* write */, 0, nullptr, OPEN_EXISTING, 0,
                          nullptr),
              INVALID_HANDLE_VALUE);

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

    HANDLE shared[] = {Open(path, 1), Open(path, 1)};  // readers that both share
    EXPECT_NE(shared[0], INVALID_HANDLE_VALUE);
    EXPECT_NE(shared[1], INVALID_HANDLE_VALUE);
    EXPECT_EQ(Open(path), INVALID_HANDLE_VALUE);
    EXPECT_TRUE(CloseHandle(shared[0]) && CloseHandle(shared[1]));
}

TEST(GetCurrentDirectoryW, SmallBufferGetsTheNeededSizeAndStaysUntouched)
{
    ScratchDir dir;
    const std::filesystem::path saved = std::filesystem::current_path();
    std::filesystem::current_path(dir.Native());
    std::string native = dir.Native();  // ASCII: one unit per byte
    DWORD length = static_cast<DWORD>(native.size());
    WCHAR buffer[MAX_PATH];
    std::fill(buffer, buffer + MAX_PATH, u'#');
    EXPECT_EQ(GetCurrentDirectoryW(0, nullptr), length + 1);
    EXPECT_EQ(GetCurrentDirectoryW(length, buffer), length + 1);  // no room for the NUL
    EXPECT_EQ(std::count(buffer, buffer + MAX_PATH, u'#'), MAX_PATH);
    EXPECT_EQ(GetCurrentDirectoryW(length + 1, buffer), length);
    std::filesystem::current_path(saved);
    EXPECT_EQ(Show(buffer), Show(std::u16string(native.begin(), native.end())));
    EXPECT_EQ(buffer[length + 1], u'#');
}

}  // namespace
