// Choosing mod files in the file-open dialog and packing them: the batch
// order, the pane's transcript, the archives on disk, the overwrite question
// and cancelling.
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/app/driver_config.h"
#include "tests/app/message_box.h"
#include "tests/app/open_dialog.h"
#include "tests/app/running_app.h"
#include "tests/app/screenshot.h"
#include "tests/app/windows_of_process.h"
#include "tests/support/archive_contents.h"
#include "tests/support/temp_tree.h"
#include "tests/support/text.h"

namespace {

constexpr int kSelect = 500;
constexpr int kExit = 503;

std::string Narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}

// The pane's lines for a mod packed without trouble: the final progress line
// shows the last of its files.
std::wstring PackedLines(const std::wstring& archive, unsigned files)
{
    std::wstring count = std::to_wstring(files);
    return L"Creating mod archive \"" + archive + L"\".\r\nAdding file " + count + L"/" + count +
           L"\r\nSuccessfully created mod archive \"" + archive + L"\".\r\n\r\n";
}

// Mod a: the mod file and two files, one in a sub-directory. Mod b: the mod
// file and an empty mod directory. Mod c: the mod file and one file.
void MakeMods(const fs::path& folder)
{
    WriteBytes(folder / "a.tvx", "mod a");
    WriteBytes(folder / "a" / "one.txt", PatternBytes(3000, 1));
    WriteBytes(folder / "a" / "sub" / "two.bin", PatternBytes(70000, 2));
    WriteBytes(folder / "b.tvx", "mod b");
    fs::create_directories(folder / "b");
    WriteBytes(folder / "c.tvx", "mod c");
    WriteBytes(folder / "c" / "three.dat", PatternBytes(10, 3));
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
    for (std::size_t i = 0; i < streams.size(); ++i)
        EXPECT_EQ(streams[i].name, std::to_string(i + 1));
    EXPECT_EQ(streams[0].bytes, ExpectedStream(T(mod + ".tvx"), ReadBytes(folder / (mod + ".tvx"))));

    std::vector<std::string> expected;
    for (const std::string& file : files) {
        fs::path onDisk = folder / mod / fs::u8path(file);
        std::string header = mod + "\\" + file;
        std::replace(header.begin(), header.end(), '/', '\\');
        expected.push_back(ExpectedStream(T(header), ReadBytes(onDisk)));
    }
    std::vector<std::string> found;
    for (std::size_t i = 1; i < streams.size(); ++i)
        found.push_back(streams[i].bytes);
    std::sort(expected.begin(), expected.end());
    std::sort(found.begin(), found.end());
    EXPECT_TRUE(found == expected) << "the mod directory's files differ from the streams";
}

// Opens the dialog with the select button and chooses the names.
::testing::AssertionResult Choose(const RunningApp& app, const std::wstring& names)
{
    app.Click(kSelect);
    HWND dialog = WaitForOpenDialog(app.processId(), kWaitMs);
    if (dialog == nullptr)
        return ::testing::AssertionFailure() << "the file-open dialog did not appear";
    if (!ChooseFiles(dialog, names))
        return ::testing::AssertionFailure() << "the dialog's file name box did not take the names";
    if (!WaitUntil([&] { return !IsWindow(dialog); }))
        return ::testing::AssertionFailure() << "the dialog did not close on Open";
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult PaneShows(const RunningApp& app, const std::wstring& expected)
{
    std::wstring shown;
    if (WaitUntil([&] {
            shown = app.PaneText();
            return shown == expected;
        }))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "pane shows\n" << Narrow(shown) << "\nexpected\n"
                                         << Narrow(expected);
}

::testing::AssertionResult ExitsWithZero(RunningApp& app)
{
    app.Click(kExit);
    DWORD code = 1234;
    if (!app.WaitForExit(kWaitMs, &code))
        return ::testing::AssertionFailure() << "the program did not end on Exit";
    if (code != 0)
        return ::testing::AssertionFailure() << "exit code " << code;
    return ::testing::AssertionSuccess();
}

} // namespace

TEST(AppPacking, CancelledDialogChangesNothingAndOpensAgain)
{
    TempDir folder;
    MakeMods(folder.path());
    RunningApp app(folder.path().wstring());
    ASSERT_TRUE(app.started()) << app.error();

    for (int round = 0; round < 2; ++round) {
        app.Click(kSelect);
        HWND dialog = WaitForOpenDialog(app.processId(), kWaitMs);
        ASSERT_NE(dialog, nullptr) << "round " << round;
        EXPECT_EQ(GetWindow(dialog, GW_OWNER), nullptr);
        EXPECT_TRUE(IsWindowEnabled(app.window()));
        CancelDialog(dialog);
        ASSERT_TRUE(WaitUntil([&] { return !IsWindow(dialog); }));
        ASSERT_TRUE(Responds(app.window()));
    }
    EXPECT_EQ(app.PaneText(), L"");
    EXPECT_TRUE(TopLevelWindows(app.processId(), L"#32770").empty());
    EXPECT_FALSE(fs::exists(folder.path() / "a.tvp"));
    EXPECT_TRUE(ExitsWithZero(app));
}

TEST(AppPacking, PacksTheChosenModsInTheDialogsOrder)
{
    TempDir folder;
    MakeMods(folder.path());
    RunningApp app(folder.path().wstring());
    ASSERT_TRUE(app.started()) << app.error();

    // Plain names resolve in the dialog's starting folder, the directory
    // current at start-up.
    ASSERT_TRUE(Choose(app, L"\"a.tvx\" \"b.tvx\""));
    std::wstring first = PackedLines(L"a.tvp", 3) + PackedLines(L"b.tvp", 1);
    ASSERT_TRUE(PaneShows(app, first));
    RECT rect = {};
    GetWindowRect(app.window(), &rect);
    SaveScreenRect(rect, ArtifactFolder() + L"\\after_packing.bmp");
    ExpectArchive(folder.path(), "a", {"one.txt", "sub/two.bin"});
    ExpectArchive(folder.path(), "b", {});
    EXPECT_FALSE(fs::exists(folder.path() / "c.tvp"));

    // A second batch in the other order, with the first archives in place:
    // c first, then the question for a, answered Yes. The pane keeps growing.
    ASSERT_TRUE(Choose(app, L"\"c.tvx\" \"a.tvx\""));
    HWND question = WaitForMessageBox(app.processId(), L"Tolvane Packer");
    ASSERT_NE(question, nullptr);
    EXPECT_EQ(Narrow(ReadMessageBox(question).text),
              "Mod archive \"a.tvp\" already exists! Do you wish to overwrite it?");
    EXPECT_EQ(app.PaneText(), first + PackedLines(L"c.tvp", 2));
    PressButton(question, IDYES);
    ASSERT_TRUE(PaneShows(app, first + PackedLines(L"c.tvp", 2) + PackedLines(L"a.tvp", 3)));
    ExpectArchive(folder.path(), "c", {"three.dat"});
    ExpectArchive(folder.path(), "a", {"one.txt", "sub/two.bin"});
    EXPECT_TRUE(ExitsWithZero(app));
}

TEST(AppPacking, ReportsRejectedFilesAndSkipsModsWithoutDirectory)
{
    TempDir folder;
    MakeMods(folder.path());
    WriteBytes(folder.path() / "upper.TVX", "not a mod file by its extension");
    WriteBytes(folder.path() / "lonely.tvx", "no mod directory beside it");
    RunningApp app(folder.path().wstring());
    ASSERT_TRUE(app.started()) << app.error();

    ASSERT_TRUE(Choose(app, L"\"upper.TVX\" \"lonely.tvx\" \"b.tvx\""));
    std::wstring rejected = L"Error! File \"" + (folder.path() / "upper.TVX").wstring() +
                            L"\" is not a valid Tolvane mod file!\r\n";
    EXPECT_TRUE(PaneShows(app, rejected + PackedLines(L"b.tvp", 1)));
    EXPECT_FALSE(fs::exists(folder.path() / "upper.tvp"));
    EXPECT_FALSE(fs::exists(folder.path() / "lonely.tvp"));
    EXPECT_TRUE(fs::exists(folder.path() / "b.tvp"));
    EXPECT_TRUE(ExitsWithZero(app));
}

TEST(AppPacking, OverwriteQuestionNoSkipsAndYesReplaces)
{
    TempDir folder;
    MakeMods(folder.path());
    WriteBytes(folder.path() / "a.tvp", "old archive a");
    WriteBytes(folder.path() / "b.tvp", "old archive b");
    RunningApp app(folder.path().wstring());
    ASSERT_TRUE(app.started()) << app.error();

    ASSERT_TRUE(Choose(app, L"\"a.tvx\" \"b.tvx\" \"c.tvx\""));

    HWND question = WaitForMessageBox(app.processId(), L"Tolvane Packer");
    ASSERT_NE(question, nullptr);
    MessageBoxView view = ReadMessageBox(question);
    EXPECT_EQ(view.owner, nullptr);
    EXPECT_EQ(Narrow(view.text), "Mod archive \"a.tvp\" already exists! Do you wish to overwrite it?");
    EXPECT_EQ(view.buttons, (std::vector<int>{IDYES, IDNO, IDCANCEL}));
    EXPECT_EQ(ShownStandardIcon(view), 32515u);  // IDI_EXCLAMATION
    // Yes, the first button, is the default.
    EXPECT_EQ(view.defaultButton, GetDlgItem(question, IDYES));
    EXPECT_TRUE(IsWindowEnabled(app.window()));
    PressButton(question, IDNO);
    ASSERT_TRUE(WaitUntilClosed(question));

    question = WaitForMessageBox(app.processId(), L"Tolvane Packer");
    ASSERT_NE(question, nullptr);
    EXPECT_EQ(Narrow(ReadMessageBox(question).text),
              "Mod archive \"b.tvp\" already exists! Do you wish to overwrite it?");
    PressButton(question, IDYES);

    EXPECT_TRUE(PaneShows(app, L"Mod archive \"a.tvp\" already exists. Skipping.\r\n\r\n" +
                                   PackedLines(L"b.tvp", 1) + PackedLines(L"c.tvp", 2)));
    EXPECT_EQ(ReadBytes(folder.path() / "a.tvp"), "old archive a");
    ExpectArchive(folder.path(), "b", {});
    ExpectArchive(folder.path(), "c", {"three.dat"});
    EXPECT_TRUE(ExitsWithZero(app));
}

TEST(AppPacking, CancelEndsTheBatchAndAPressMeanwhileOpensTheDialogAgain)
{
    TempDir folder;
    MakeMods(folder.path());
    WriteBytes(folder.path() / "a.tvp", "old archive a");
    WriteBytes(folder.path() / "b.tvp", "old archive b");
    RunningApp app(folder.path().wstring());
    ASSERT_TRUE(app.started()) << app.error();

    ASSERT_TRUE(Choose(app, L"\"a.tvx\" \"b.tvx\" \"c.tvx\""));
    HWND question = WaitForMessageBox(app.processId(), L"Tolvane Packer");
    ASSERT_NE(question, nullptr);
    PressButton(question, IDYES);
    ASSERT_TRUE(WaitUntilClosed(question));

    question = WaitForMessageBox(app.processId(), L"Tolvane Packer");
    ASSERT_NE(question, nullptr);
    // The select button works while the question is open (the box has no
    // owner); the press is acted on once the batch is over.
    app.Click(kSelect);
    Sleep(300);
    EXPECT_TRUE(IsWindow(question));
    PressButton(question, IDCANCEL);

    EXPECT_TRUE(PaneShows(app, PackedLines(L"a.tvp", 3) + L"Current operation cancelled by user.\r\n\r\n"));
    ExpectArchive(folder.path(), "a", {"one.txt", "sub/two.bin"});
    EXPECT_EQ(ReadBytes(folder.path() / "b.tvp"), "old archive b");
    EXPECT_FALSE(fs::exists(folder.path() / "c.tvp"));

    HWND dialog = WaitForOpenDialog(app.processId(), kWaitMs);
    ASSERT_NE(dialog, nullptr) << "the press during the batch did not open the dialog again";
    CancelDialog(dialog);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(dialog); }));
    EXPECT_FALSE(fs::exists(folder.path() / "c.tvp"));
    EXPECT_TRUE(ExitsWithZero(app));
}

TEST(AppPacking, ExitDuringTheQuestionEndsTheProgramWithMinusOne)
{
    TempDir folder;
    MakeMods(folder.path());
    WriteBytes(folder.path() / "a.tvp", "old archive a");
    RunningApp app(folder.path().wstring());
    ASSERT_TRUE(app.started()) << app.error();

    ASSERT_TRUE(Choose(app, L"\"a.tvx\" \"b.tvx\""));
    HWND question = WaitForMessageBox(app.processId(), L"Tolvane Packer");
    ASSERT_NE(question, nullptr);
    // Exit works while the question is open (the box has no owner). Its quit
    // message is taken by the box's own modal loop, which ends the box with
    // no answer and posts the quit again: the packer gives up with Fatal, the
    // batch stops, and the program ends with -1 after its error box (which
    // the pending quit closes at once).
    app.Click(kExit);

    DWORD code = 1234;
    ASSERT_TRUE(app.WaitForExit(kWaitMs, &code));
    EXPECT_EQ(code, static_cast<DWORD>(-1));
    EXPECT_EQ(ReadBytes(folder.path() / "a.tvp"), "old archive a");
    EXPECT_FALSE(fs::exists(folder.path() / "b.tvp"));
}
