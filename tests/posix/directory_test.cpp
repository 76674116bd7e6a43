// The current directory through UTF-16.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include "tests/posix/scratch.h"

namespace {

class CurrentDirectory : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(getcwd(saved_, sizeof saved_), nullptr); }
    void TearDown() override { ASSERT_EQ(chdir(saved_), 0); }

    static std::u16string Current()
    {
        WCHAR buffer[MAX_PATH];
        DWORD length = GetCurrentDirectoryW(MAX_PATH, buffer);
        return length > 0 && length < MAX_PATH ? std::u16string(buffer, length) : u"<failed>";
    }

    static std::string NativeCurrent()
    {
        char buffer[4096];
        return getcwd(buffer, sizeof buffer) != nullptr ? buffer : "<failed>";
    }

    char saved_[4096];
    ScratchDir dir_;
};

TEST_F(CurrentDirectory, SetAcceptsBackslashesAndGetGivesItBack)
{
    mkdir(dir_.Native("sub").c_str(), 0755);
    mkdir(dir_.Native("sub/inner").c_str(), 0755);
    ASSERT_TRUE(SetCurrentDirectoryW(dir_.Text(u"sub").c_str()));
    ASSERT_TRUE(SetCurrentDirectoryW(u"inner"));  // relative to the new one
    EXPECT_EQ(NativeCurrent(), dir_.Native("sub/inner"));
    std::string expected = dir_.Native("sub/inner");  // ASCII: unit per byte
    EXPECT_EQ(Show(Current()), Show(std::u16string(expected.begin(), expected.end())));
    ASSERT_TRUE(SetCurrentDirectoryW(u"..\\.."));
    EXPECT_EQ(NativeCurrent(), dir_.Native());
}

TEST_F(CurrentDirectory, FailureLeavesTheDirectoryUnchanged)
{
    ASSERT_TRUE(SetCurrentDirectoryW(dir_.Text().c_str()));
    WriteNative(dir_.Native("file"), "");
    const std::u16string refused[] = {u"missing", u"file", u""};
    for (const std::u16string& path : refused)
        EXPECT_FALSE(SetCurrentDirectoryW(path.c_str())) << Show(path);
    EXPECT_FALSE(SetCurrentDirectoryW(nullptr));
    EXPECT_EQ(NativeCurrent(), dir_.Native());
}

TEST_F(CurrentDirectory, SmallBufferGetsTheNeededSizeAndStaysUntouched)
{
    ASSERT_EQ(chdir(dir_.Native().c_str()), 0);
    DWORD length = static_cast<DWORD>(dir_.Native().size());
    EXPECT_EQ(GetCurrentDirectoryW(0, nullptr), length + 1);

    WCHAR buffer[MAX_PATH];
    std::fill(buffer, buffer + MAX_PATH, u'#');
    EXPECT_EQ(GetCurrentDirectoryW(length, buffer), length + 1);  // no room for the NUL
    EXPECT_EQ(buffer[0], u'#');
    EXPECT_EQ(buffer[length - 1], u'#');

    EXPECT_EQ(GetCurrentDirectoryW(length + 1, buffer), length);
    EXPECT_EQ(buffer[length], 0);
    EXPECT_EQ(buffer[length + 1], u'#');
}

TEST_F(CurrentDirectory, NamesThatAreNotUtf8RoundTrip)
{
    std::string odd = dir_.Native("dir\xFF\\x");
    ASSERT_EQ(mkdir(odd.c_str(), 0755), 0);
    ASSERT_EQ(chdir(odd.c_str()), 0);
    std::u16string current = Current();
    EXPECT_EQ(Show(current.substr(current.size() - 6)), Show(u"dir\xDCFF\uF05Cx"));

    ASSERT_TRUE(SetCurrentDirectoryW(u".."));
    ASSERT_TRUE(SetCurrentDirectoryW(current.c_str()));
    EXPECT_EQ(NativeCurrent(), odd);
}

}  // namespace
