// PackMod end to end on real folders: what the pane shows, what the archive
// holds, and what is left on disk and in the working directory.
#include <gtest/gtest.h>

#include "packer/file_counters.h"
#include "packer/pack_mod.h"
#include "platform/platform.h"
#include "tests/support/archive_contents.h"
#include "tests/support/output_recorder.h"
#include "tests/support/temp_tree.h"
#include "tests/support/text.h"

namespace {

struct ModFile {
    std::string path;  // relative to the mod folder, '/' separated
    std::string bytes;
};

class PackModTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        startDirectory_ = fs::current_path();
        ResetOutput();
    }
    void TearDown() override { fs::current_path(startDirectory_); }

    fs::path Folder() const { return temp_.path(); }
    fs::path At(const std::string& relative) const { return temp_.path() / fs::u8path(relative); }

    void MakeFiles(const std::vector<ModFile>& files) const
    {
        for (const ModFile& file : files)
            WriteBytes(At(file.path), file.bytes);
    }

    PackResult Pack(const std::string& modFile, const std::vector<int>& answers = {})
    {
        ResetOutput(answers);
        return PackMod(PathText(At(modFile)).c_str());
    }

    std::vector<ArchiveStream> Streams(const std::string& archive) const
    {
        std::string error;
        std::vector<ArchiveStream> streams = ReadArchiveStreams(At(archive), &error);
        EXPECT_EQ(error, "");
        return streams;
    }

    void ExpectWorkingDirectoryRestored() const { EXPECT_EQ(fs::current_path(), startDirectory_); }

    TempDir temp_;
    fs::path startDirectory_;
};

std::string Transcript()
{
    return ToUtf8(OutputText());
}

TEST_F(PackModTest, WritesEveryFileAsANumberedStreamInWalkOrder)
{
    const std::string big = PatternBytes(5000, 1);
    MakeFiles({{"castle.tvx", "mod file"},
               {"castle/a.txt", "alpha"},
               {"castle/b/x.txt", big},
               {"castle/c.txt", ""}});

    EXPECT_EQ(Pack("castle.tvx"), PackResult::Done);

    EXPECT_EQ(Transcript(),
              "Creating mod archive \"castle.tvp\".\r\n"
              "Adding file 4/4\r\n"
              "Successfully created mod archive \"castle.tvp\".\r\n\r\n");
    std::vector<ArchiveStream> streams = Streams("castle.tvp");
    ASSERT_EQ(streams.size(), 4u);
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"castle.tvx", "mod file"},
        {"castle\\a.txt", "alpha"},
        {"castle\\b\\x.txt", big},
        {"castle\\c.txt", ""}};
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(expected[i].first);
        EXPECT_EQ(streams[i].name, std::to_string(i + 1));
        EXPECT_EQ(Difference(streams[i].bytes, ExpectedStream(T(expected[i].first), expected[i].second)), "");
    }
    EXPECT_EQ(g_fileNumber, 5u);
    EXPECT_EQ(g_fileTotal, 4u);
    ExpectWorkingDirectoryRestored();
}

TEST_F(PackModTest, ProgressLineCountsUpInPlace)
{
    MakeFiles({{"castle.tvx", "m"}, {"castle/1.bin", "x"}, {"castle/2.bin", "y"}});

    Pack("castle.tvx");

    std::vector<std::string> progress;
    for (const OutputEvent& event : OutputEvents())
        if (event.kind == OutputEvent::ReplaceLine)
            progress.push_back(ToUtf8(event.text));
    EXPECT_EQ(progress, (std::vector<std::string>{"Adding file 1/3", "Adding file 2/3",
                                                  "Adding file 3/3"}));
}

TEST_F(PackModTest, StreamNamesAreDecimalWithoutPadding)
{
    std::vector<ModFile> files = {{"big.tvx", "m"}};
    for (int i = 0; i < 11; ++i)
        files.push_back({"big/f" + std::string(1, static_cast<char>('a' + i)), std::to_string(i)});
    MakeFiles(files);

    ASSERT_EQ(Pack("big.tvx"), PackResult::Done);

    std::vector<ArchiveStream> streams = Streams("big.tvp");
    ASSERT_EQ(streams.size(), 12u);
    EXPECT_EQ(streams[9].name, "10");
    EXPECT_EQ(Difference(streams[9].bytes, ExpectedStream(T("big\\fi"), "8")), "");
    EXPECT_EQ(streams[11].name, "12");
}

// Ways in which a mod is not packed at all, and nothing may be written.
TEST_F(PackModTest, RefusesWhatIsNotAModWithoutSideEffects)
{
    struct Case {
        const char* name;
        std::vector<ModFile> files;
        std::string modFile;
        bool rejectedByExtension;
    };
    const std::vector<Case> cases = {
        {"capital extension", {{"castle.TVX", "m"}, {"castle/a", "a"}}, "castle.TVX", true},
        {"longer extension", {{"castle.tvxx", "m"}, {"castle/a", "a"}}, "castle.tvxx", true},
        {"no extension", {{"castle", "m"}}, "castle", true},
        {"other extension", {{"castle.tv", "m"}, {"castle/a", "a"}}, "castle.tv", true},
        {"no mod directory", {{"castle.tvx", "m"}}, "castle.tvx", false},
        {"directory differs in case", {{"castle.tvx", "m"}, {"Castle/a", "a"}}, "castle.tvx", false},
        {"plain file named like the directory", {{"keep.tvx", "m"}, {"keep", "not a dir"}},
         "keep.tvx", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir scratch;
        for (const ModFile& file : c.files)
            WriteBytes(scratch.path() / fs::u8path(file.path), file.bytes);
        const Text modPath = PathText(scratch.path() / fs::u8path(c.modFile));
        ResetOutput();

        EXPECT_EQ(PackMod(modPath.c_str()), PackResult::Done);

        std::string expected = c.rejectedByExtension
                                   ? "Error! File \"" + ToUtf8(modPath) +
                                         "\" is not a valid Tolvane mod file!\r\n"
                                   : "";
        EXPECT_EQ(Transcript(), expected);
        std::size_t archives = 0;
        for (const fs::directory_entry& entry : fs::directory_iterator(scratch.path()))
            archives += entry.path().extension() == ".tvp" ? 1 : 0;
        EXPECT_EQ(archives, 0u);
        ExpectWorkingDirectoryRestored();
    }
}

TEST_F(PackModTest, BaseNameKeepsInnerDots)
{
    MakeFiles({{"my.castle.v2.tvx", "m"}, {"my.castle.v2/x.txt", "x"}, {"my.castle/y.txt", "y"}});

    ASSERT_EQ(Pack("my.castle.v2.tvx"), PackResult::Done);

    std::vector<ArchiveStream> streams = Streams("my.castle.v2.tvp");
    ASSERT_EQ(streams.size(), 2u);
    EXPECT_EQ(Difference(streams[0].bytes, ExpectedStream(T("my.castle.v2.tvx"), "m")), "");
    EXPECT_EQ(Difference(streams[1].bytes, ExpectedStream(T("my.castle.v2\\x.txt"), "x")), "");
}

TEST_F(PackModTest, EmptyTreesHoldOnlyTheModFile)
{
    fs::create_directories(At("castle/a/b"));
    fs::create_directories(At("castle/c"));
    MakeFiles({{"castle.tvx", "only me"}});

    ASSERT_EQ(Pack("castle.tvx"), PackResult::Done);

    EXPECT_EQ(Transcript(),
              "Creating mod archive \"castle.tvp\".\r\n"
              "Adding file 1/1\r\n"
              "Successfully created mod archive \"castle.tvp\".\r\n\r\n");
    std::vector<ArchiveStream> streams = Streams("castle.tvp");
    ASSERT_EQ(streams.size(), 1u);
    EXPECT_EQ(Difference(streams[0].bytes, ExpectedStream(T("castle.tvx"), "only me")), "");
}

// The overwrite question: each answer, what the pane shows and what becomes
// of the archive that was there.
TEST_F(PackModTest, ExistingArchiveFollowsTheAnswer)
{
    struct Case {
        const char* name;
        int answer;
        PackResult result;
        std::string transcript;
        bool replaced;
        bool directoryRestored;
    };
    const std::vector<Case> cases = {
        {"yes", IDYES, PackResult::Done,
         "Creating mod archive \"castle.tvp\".\r\nAdding file 2/2\r\n"
         "Successfully created mod archive \"castle.tvp\".\r\n\r\n",
         true, true},
        {"no", IDNO, PackResult::Done,
         "Mod archive \"castle.tvp\" already exists. Skipping.\r\n\r\n", false, true},
        {"cancel", IDCANCEL, PackResult::Cancelled, "Current operation cancelled by user.\r\n\r\n",
         false, true},
        {"no usable answer", 0, PackResult::Fatal, "", false, false},
    };
    MakeFiles({{"castle.tvx", "m"}, {"castle/a.txt", "a"}});
    const std::string old = "an older archive";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteBytes(At("castle.tvp"), old);

        EXPECT_EQ(Pack("castle.tvx", {c.answer}), c.result);

        ASSERT_FALSE(OutputEvents().empty());
        EXPECT_EQ(OutputEvents()[0].kind, OutputEvent::Question);
        EXPECT_EQ(ToUtf8(OutputEvents()[0].text),
                  "Mod archive \"castle.tvp\" already exists! Do you wish to overwrite it?");
        EXPECT_EQ(Transcript(), c.transcript);
        if (c.replaced) {
            EXPECT_EQ(Streams("castle.tvp").size(), 2u);
        } else {
            EXPECT_EQ(ReadBytes(At("castle.tvp")), old);
        }
        if (c.directoryRestored) {
            ExpectWorkingDirectoryRestored();
        } else {
            EXPECT_EQ(fs::current_path(), Folder());
        }
        fs::current_path(startDirectory_);
    }
}

TEST_F(PackModTest, ArchiveThatCannotBeCreatedIsReported)
{
    // A folder where the archive would go: it exists, so the question comes,
    // and replacing it fails.
    MakeFiles({{"castle.tvx", "m"}, {"castle/a.txt", "a"}});
    fs::create_directories(At("castle.tvp/inside"));

    EXPECT_EQ(Pack("castle.tvx", {IDYES}), PackResult::Done);

    EXPECT_EQ(Transcript(), "Error creating mod archive \"castle.tvp\"!\r\n\r\n");
    EXPECT_TRUE(fs::is_directory(At("castle.tvp/inside")));
    ExpectWorkingDirectoryRestored();
}

// A file that another holder keeps open without sharing can't be added; the
// half-written archive is deleted and the mod ends with Done.
TEST_F(PackModTest, FileThatCannotBeOpenedDeletesTheArchive)
{
    struct Case {
        const char* name;
        std::string locked;
        std::string transcript;
    };
    const std::vector<Case> cases = {
        {"mod file", "castle.tvx",
         "Creating mod archive \"castle.tvp\".\r\n"
         "Error adding tvx file to mod archive \"castle.tvp\"!\r\n"},
        {"file in a sub-directory", "castle/sub/b.txt",
         "Creating mod archive \"castle.tvp\".\r\n"
         "Adding file 2/3Error adding mod directory to mod archive \"castle.tvp\"!\r\n"},
    };
    MakeFiles({{"castle.tvx", "m"}, {"castle/a.txt", "a"}, {"castle/sub/b.txt", "b"}});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Text locked = PathText(At(c.locked));
        HANDLE holder = CreateFileW(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(holder, INVALID_HANDLE_VALUE);

        EXPECT_EQ(Pack("castle.tvx"), PackResult::Done);
        CloseHandle(holder);

        EXPECT_EQ(Transcript(), c.transcript);
        EXPECT_FALSE(fs::exists(At("castle.tvp")));
        ExpectWorkingDirectoryRestored();
    }
}

// Each archive of a batch numbers its streams from 1.
TEST_F(PackModTest, EveryArchiveOfABatchStartsAtStreamOne)
{
    MakeFiles({{"first.tvx", "1"}, {"first/a", "a"}, {"first/b", "b"},
               {"second.tvx", "2"}, {"second/c", "c"}});

    ASSERT_EQ(Pack("first.tvx"), PackResult::Done);
    ASSERT_EQ(Pack("second.tvx"), PackResult::Done);

    std::vector<ArchiveStream> second = Streams("second.tvp");
    ASSERT_EQ(second.size(), 2u);
    EXPECT_EQ(second[0].name, "1");
    EXPECT_EQ(Difference(second[0].bytes, ExpectedStream(T("second.tvx"), "2")), "");
    EXPECT_EQ(Difference(second[1].bytes, ExpectedStream(T("second\\c"), "c")), "");
    EXPECT_EQ(Transcript(),
              "Creating mod archive \"second.tvp\".\r\nAdding file 2/2\r\n"
              "Successfully created mod archive \"second.tvp\".\r\n\r\n");
}

// A path that does not fit the path limit is refused before anything is
// written: the count walk reports it and every level above, innermost first.
TEST_F(PackModTest, CountWalkRefusesPathsBeyondTheLimit)
{
    const std::string longName(120, 'd');
    WriteBytes(At("castle") / longName / longName / "x.txt", "x");
    MakeFiles({{"castle.tvx", "m"}});

    EXPECT_EQ(Pack("castle.tvx"), PackResult::Done);

    // The walk joins with backslashes and cuts every path at 259 units.
    const std::string modDirectory = ToUtf8(PathText(At("castle")));
    ASSERT_LT(modDirectory.size() + 3 + longName.size(), 259u) << "temporary folder too deep";
    const std::string child = modDirectory + "\\" + longName;
    const std::string cutGrandChild = (child + "\\" + longName).substr(0, 259);
    EXPECT_EQ(Transcript(), "Error! Path \"" + cutGrandChild + "\" is too long!\r\n"
                            "Error getting file count from directory \"" + child + "\"!\r\n"
                            "Error getting file number in mod directory \"castle\"!\r\n");
    EXPECT_FALSE(fs::exists(At("castle.tvp")));
    ExpectWorkingDirectoryRestored();
}

TEST_F(PackModTest, PathOfExactlyTheLimitIsPacked)
{
    const std::size_t modDirectory = PathText(At("castle")).size();
    ASSERT_LT(modDirectory + 10, 259u) << "temporary folder too deep";
    struct Case {
        std::size_t pathUnits;
        bool packed;
    };
    for (const Case& c : {Case{259, true}, Case{260, false}}) {
        SCOPED_TRACE(c.pathUnits);
        TempDir scratch;
        const std::string fileName(c.pathUnits - modDirectory - 1, 'f');
        WriteBytes(scratch.path() / "castle" / fileName, "edge");
        WriteBytes(scratch.path() / "castle.tvx", "m");
        const fs::path modDir = scratch.path() / "castle";
        ResetOutput();

        EXPECT_EQ(PackMod(PathText(scratch.path() / "castle.tvx").c_str()), PackResult::Done);

        EXPECT_EQ(fs::exists(scratch.path() / "castle.tvp"), c.packed) << Transcript();
        if (!c.packed) {
            EXPECT_EQ(Transcript().rfind("Error! Path \"", 0), 0u) << Transcript();
        }
    }
}

TEST_F(PackModTest, ModFilePathBeyondTheLimitIsRefused)
{
    const fs::path deep = At(std::string(150, 'p')) / std::string(120, 'q');
    WriteBytes(deep / "castle.tvx", "m");
    WriteBytes(deep / "castle" / "a.txt", "a");
    const Text modPath = PathText(deep / "castle.tvx");
    ASSERT_GT(modPath.size(), 260u);

    EXPECT_EQ(PackMod(modPath.c_str()), PackResult::Done);

    EXPECT_EQ(Transcript(), "Error! Path of file \"" + ToUtf8(modPath) + "\" is too long!\r\n");
    EXPECT_FALSE(fs::exists(deep / "castle.tvp"));
    ExpectWorkingDirectoryRestored();
}

}  // namespace
