// Choosing mod files in the file-open dialog and packing them: the batch
// order, the pane's transcript, the archives on disk, the overwrite question
// and cancelling.
#include <algorithm>

#include <gtest/gtest.h>

#include "tests/app/driver.h"
#include "tests/support/archive_contents.h"
#include "tests/support/temp_tree.h"
#include "tests/support/text.h"

namespace {

// The pane's lines for a mod packed without trouble: the final progress line
// shows the last of its files.
std::wstring PackedLines(const std::wstring& archive, unsigned files)
{
    std::wstring count = std::to_wstring(files);
    return L"Creating mod archive \"" + archive + L"\".\r\nAdding file " + count + L"/" + count +
           L"\r\nSuccessfully created mod archive \"" + archive + L"\".\r\n\r\n";
}

// The archive holds the mod file as stream 1 and the given files after it,
// in whatever order the directory walk met them.
void ExpectArchive(const fs::path& folder, const std::string& mod,
                   const std::vector<std::string>& files)
{
    SCOPED_TRACE(mod + ".tvp");
    std::string error;
    std::vector<ArchiveStream> streams = ReadArchiveStreams(folder / (mod + ".tvp"), &error);
    ASSERT_EQ(error, "");
    ASSERT_EQ(streams.size(), files.size() + 1);
    std::vector<std::string> expected, found;
    for (std::size_t i = 0; i < streams.size(); ++i) {
        EXPECT_EQ(streams[i].name, std::to_string(i + 1));
        found.push_back(streams[i].bytes);
    }
    EXPECT_EQ(streams[0].bytes, ExpectedStream(T(mod + ".tvx"), ReadBytes(folder / (mod + ".tvx"))));
    for (const std::string& file : files) {
        std::string header = mod + "\\" + file;
        std::replace(header.begin(), header.end(), '/', '\\');
        expected.push_back(ExpectedStream(T(header), ReadBytes(folder / mod / file)));
    }
    found.erase(found.begin());
    std::sort(expected.begin(), expected.end());
    std::sort(found.begin(), found.end());
    EXPECT_TRUE(found == expected) << "the mod directory's files differ from the streams";
}

// Mod a: the mod file and two files, one in a sub-directory. Mod b: the mod
// file and an empty mod directory. Mod c: the mod file and one file.
class AppPacking : public ::testing::Test {
protected:
    AppPacking()
    {
        WriteBytes(Path("a.tvx"), "mod a");
        WriteBytes(Path("a/one.txt"), PatternBytes(3000, 1));
        WriteBytes(Path("a/sub/two.bin"), PatternBytes(70000, 2));
        WriteBytes(Path("b.tvx"), "mod b");
        fs::create_directories(Path("b"));
        WriteBytes(Path("c.tvx"), "mod c");
        WriteBytes(Path("c/three.dat"), PatternBytes(10, 3));
    }

    fs::path Path(const char* name) const { return folder.path() / name; }

    // Starts the program in the folder; plain names chosen in the dialog
    // resolve there.
    void Start()
    {
        app.reset();
        app = std::make_unique<RunningApp>(folder.path().wstring());
        ASSERT_TRUE(app->started()) << app->error();
    }

    // Opens the dialog with the select button and chooses the names.
    ::testing::AssertionResult Choose(const std::wstring& names)
    {
        app->Click(kSelect);
        HWND dialog = WaitForOpenDialog(app->processId());
        if (dialog == nullptr || !ChooseFiles(dialog, names))
            return ::testing::AssertionFailure() << "the file-open dialog did not take the names";
        if (!WaitUntilClosed(dialog))
            return ::testing::AssertionFailure() << "the dialog did not close on Open";
        return ::testing::AssertionSuccess();
    }

    ::testing::AssertionResult PaneShows(const std::wstring& expected)
    {
        std::wstring shown;
        if (WaitUntil([&] { return (shown = app->PaneText()) == expected; }))
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "pane shows\n" << Narrow(shown) << "\nexpected\n"
                                             << Narrow(expected);
    }

    TempDir folder;
    std::unique_ptr<RunningApp> app;
};

} // namespace

TEST_F(AppPacking, PacksTheChosenModsInTheDialogsOrderAfterACancelledDialog)
{
    WriteBytes(Path("upper.TVX"), "not a mod file by its extension");
    WriteBytes(Path("lonely.tvx"), "no mod directory beside it: skipped without a word");
    ASSERT_NO_FATAL_FAILURE(Start());

    // Cancelling the (ownerless) dialog does nothing.
    app->Click(kSelect);
    HWND dialog = WaitForOpenDialog(app->processId());
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(GetWindow(dialog, GW_OWNER), nullptr);
    PressButton(dialog, IDCANCEL);
    ASSERT_TRUE(WaitUntilClosed(dialog));
    ASSERT_TRUE(Responds(app->window()));
    EXPECT_EQ(app->PaneText(), L"");
    EXPECT_TRUE(TopLevelWindows(app->processId(), L"#32770").empty());

    ASSERT_TRUE(Choose(L"\"upper.TVX\" \"b.tvx\" \"lonely.tvx\" \"a.tvx\""));
    EXPECT_TRUE(PaneShows(L"Error! File \"" + Path("upper.TVX").wstring() +
                          L"\" is not a valid Tolvane mod file!\r\n" + PackedLines(L"b.tvp", 1) +
                          PackedLines(L"a.tvp", 3)));
    RECT rect = {};
    GetWindowRect(app->window(), &rect);
    EXPECT_TRUE(SaveScreenRect(rect, ArtifactFolder() + L"\\after_packing.bmp"));
    ExpectArchive(folder.path(), "a", {"one.txt", "sub/two.bin"});
    ExpectArchive(folder.path(), "b", {});
    for (const char* absent : {"c.tvp", "upper.tvp", "lonely.tvp"})
        EXPECT_FALSE(fs::exists(Path(absent))) << absent;
    app->Click(kExit);
    EXPECT_TRUE(app->ExitsWith(0));
}

// a.tvp is there already; a and c are chosen, and the question for a is
// answered with a button, or with Exit, which the question's own modal loop
// takes: the packer gives up, and the program ends with -1.
TEST_F(AppPacking, OverwriteQuestionAnswers)
{
    const std::wstring kCancelled = L"Current operation cancelled by user.\r\n\r\n";
    const std::wstring kSkipped = L"Mod archive \"a.tvp\" already exists. Skipping.\r\n\r\n";
    const struct {
        int answer;  // a button of the box, or kExit of the main window
        std::wstring pane;
        bool aReplaced;
        bool cPacked;
    } kCases[] = {
        {IDYES, PackedLines(L"a.tvp", 3) + PackedLines(L"c.tvp", 2), true, true},
        {IDNO, kSkipped + PackedLines(L"c.tvp", 2), false, true},
        {IDCANCEL, kCancelled, false, false},
        {kExit, L"", false, false},
    };
    for (const auto& test : kCases) {
        SCOPED_TRACE("answer " + std::to_string(test.answer));
        WriteBytes(Path("a.tvp"), "old archive a");
        fs::remove(Path("c.tvp"));
        ASSERT_NO_FATAL_FAILURE(Start());
        ASSERT_TRUE(Choose(L"\"a.tvx\" \"c.tvx\""));

        HWND question = WaitForMessageBox(app->processId(), L"Tolvane Packer");
        ASSERT_NE(question, nullptr);
        MessageBoxView view = ReadMessageBox(question);
        EXPECT_EQ(view.owner, nullptr);
        EXPECT_EQ(Narrow(view.text), "Mod archive \"a.tvp\" already exists! Do you wish to overwrite it?");
        EXPECT_EQ(view.buttons, (std::vector<int>{IDYES, IDNO, IDCANCEL}));
        EXPECT_EQ(view.defaultButton, GetDlgItem(question, IDYES));
        EXPECT_EQ(ShownStandardIcon(view), 32515u);  // exclamation
        if (test.answer != kExit) {
            // The select button works while the question is open; the press
            // is acted on once the batch is over.
            app->Click(kSelect);
            PressButton(question, test.answer);
            EXPECT_TRUE(PaneShows(test.pane));
            HWND dialog = WaitForOpenDialog(app->processId());
            ASSERT_NE(dialog, nullptr) << "the press during the batch was lost";
            PressButton(dialog, IDCANCEL);
            ASSERT_TRUE(WaitUntilClosed(dialog));
        }
        app->Click(kExit);
        EXPECT_TRUE(app->ExitsWith(test.answer == kExit ? static_cast<DWORD>(-1) : 0));
        if (test.aReplaced)
            ExpectArchive(folder.path(), "a", {"one.txt", "sub/two.bin"});
        else
            EXPECT_EQ(ReadBytes(Path("a.tvp")), "old archive a");
        if (test.cPacked)
            ExpectArchive(folder.path(), "c", {"three.dat"});
        else
            EXPECT_FALSE(fs::exists(Path("c.tvp")));
    }
}
