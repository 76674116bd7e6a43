// The main loop and its batch against a scripted dialog and a scripted
// packer: the order of the calls, what is released when, and the failure
// boxes with their exit code. The boxes are read and closed by a hook on
// this thread, so no one has to press anything.
#include <windows.h>
#include <shobjidl.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/main_loop.h"
#include "app/main_window.h"
#include "packer/pack_mod.h"
#include "tests/app/fake_file_dialog.h"

namespace {

// The packer as the loop sees it: answers from a script, records the paths.
std::vector<PackResult> g_packResults;
std::vector<std::wstring> g_packedPaths;
// The items released when each PackMod call began, to see that the loop
// releases each item only after its call.
std::vector<std::vector<int>> g_releasesAtPack;
FakeDialogRecord* g_record = nullptr;

struct ShownBox {
    HWND owner;
    std::wstring caption;
    std::wstring text;
    int buttons;
    bool icon;
};
std::vector<ShownBox> g_boxes;
HHOOK g_hook = nullptr;

LRESULT CALLBACK CloseMessageBoxes(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_ACTIVATE) {
        HWND box = reinterpret_cast<HWND>(wParam);
        wchar_t className[64] = {};
        GetClassNameW(box, className, 64);
        if (std::wstring(className) == L"#32770") {
            ShownBox shown = {GetWindow(box, GW_OWNER), L"", L"", 0, false};
            wchar_t text[1024] = {};
            GetWindowTextW(box, text, 1024);
            shown.caption = text;
            for (HWND child = GetWindow(box, GW_CHILD); child != nullptr;
                 child = GetWindow(child, GW_HWNDNEXT)) {
                GetClassNameW(child, className, 64);
                LONG style = GetWindowLongW(child, GWL_STYLE);
                if (!(style & WS_VISIBLE))
                    continue;
                if (_wcsicmp(className, L"Button") == 0) {
                    ++shown.buttons;
                } else if (_wcsicmp(className, L"Static") == 0) {
                    if ((style & SS_TYPEMASK) == SS_ICON) {
                        shown.icon = SendMessageW(child, STM_GETICON, 0, 0) != 0;
                    } else {
                        GetWindowTextW(child, text, 1024);
                        if (text[0] != 0)
                            shown.text = text;
                    }
                }
            }
            g_boxes.push_back(shown);
            PostMessageW(box, WM_COMMAND, IDOK, 0);
        }
    }
    return CallNextHookEx(g_hook, code, wParam, lParam);
}

void CALLBACK QuitLoop(HWND, UINT, UINT_PTR, DWORD)
{
    PostQuitMessage(0);
}

std::string Narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}

// Runs the loop over one press of the select button: the press goes through
// the real window procedure, which raises the flag for the loop.
class MainLoop : public ::testing::Test {
protected:
    void SetUp() override
    {
        static ATOM registered =
            RegisterMainWindowClass(GetModuleHandleW(nullptr), nullptr, nullptr);
        ASSERT_NE(registered, 0);
        window_ = CreateMainWindow(GetModuleHandleW(nullptr));
        ASSERT_NE(window_, nullptr);
        g_packResults.clear();
        g_packedPaths.clear();
        g_releasesAtPack.clear();
        g_boxes.clear();
        g_record = &record_;
        g_hook = SetWindowsHookExW(WH_CBT, CloseMessageBoxes, nullptr, GetCurrentThreadId());
        ASSERT_NE(g_hook, nullptr);
    }

    void TearDown() override
    {
        UnhookWindowsHookEx(g_hook);
        g_record = nullptr;
        if (window_ != nullptr) {
            DestroyWindow(window_);
            // Take the quit message the window's destruction posts.
            MSG message;
            while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
                ;
        }
    }

    int RunOneBatch()
    {
        IFileOpenDialog* dialog = MakeFakeDialog(&script_, &record_);
        PostMessageW(window_, WM_COMMAND, MAKEWPARAM(500, BN_CLICKED), 0);
        int result = RunMainLoop(dialog);
        dialog->Release();
        return result;
    }

    // For the failures: the loop must end by itself, without a quit message.
    // Should it go on instead, a timer ends it after a while with 0.
    int RunFailingBatch()
    {
        script_.quitOnShow = false;
        UINT_PTR timer = SetTimer(nullptr, 0, 5000, QuitLoop);
        int result = RunOneBatch();
        KillTimer(nullptr, timer);
        return result;
    }

    void ExpectOneErrorBox(const std::string& text)
    {
        ASSERT_EQ(g_boxes.size(), 1u);
        EXPECT_EQ(g_boxes[0].owner, nullptr);
        EXPECT_EQ(Narrow(g_boxes[0].caption), "Error");
        EXPECT_EQ(Narrow(g_boxes[0].text), text);
        EXPECT_EQ(g_boxes[0].buttons, 1);  // MB_OK
        EXPECT_FALSE(g_boxes[0].icon);
    }

    HWND window_ = nullptr;
    FakeDialogScript script_;
    FakeDialogRecord record_;
};

} // namespace

PackResult PackMod(const WCHAR* modFilePath)
{
    g_packedPaths.push_back(modFilePath);
    g_releasesAtPack.push_back(g_record->itemReleases);
    PackResult result = g_packResults.empty() ? PackResult::Done : g_packResults.front();
    if (!g_packResults.empty())
        g_packResults.erase(g_packResults.begin());
    return result;
}

TEST_F(MainLoop, PacksEveryChosenFileInOrderAndReleasesEachAfterItsCall)
{
    script_.items = {{L"C:\\mods\\a.tvx"}, {L"C:\\mods\\b.tvx"}, {L"D:\\c.tvx"}};
    EXPECT_EQ(RunOneBatch(), 0);

    EXPECT_EQ(record_.shows, 1);
    ASSERT_EQ(g_packedPaths.size(), 3u);
    EXPECT_EQ(Narrow(g_packedPaths[0]), "C:\\mods\\a.tvx");
    EXPECT_EQ(Narrow(g_packedPaths[1]), "C:\\mods\\b.tvx");
    EXPECT_EQ(Narrow(g_packedPaths[2]), "D:\\c.tvx");
    // Item n is released after its own call and before the next one.
    EXPECT_EQ(g_releasesAtPack[0], (std::vector<int>{0, 0, 0}));
    EXPECT_EQ(g_releasesAtPack[1], (std::vector<int>{1, 0, 0}));
    EXPECT_EQ(g_releasesAtPack[2], (std::vector<int>{1, 1, 0}));
    EXPECT_EQ(record_.itemReleases, (std::vector<int>{1, 1, 1}));
    EXPECT_EQ(record_.arrayReleases, 1);
    EXPECT_TRUE(g_boxes.empty());
}

TEST_F(MainLoop, CancelledStopsTheBatchAndTheProgramGoesOn)
{
    script_.items = {{L"C:\\a.tvx"}, {L"C:\\b.tvx"}, {L"C:\\c.tvx"}};
    g_packResults = {PackResult::Done, PackResult::Cancelled, PackResult::Done};
    EXPECT_EQ(RunOneBatch(), 0);

    ASSERT_EQ(g_packedPaths.size(), 2u);
    EXPECT_EQ(record_.itemReleases, (std::vector<int>{1, 1, 0}));
    EXPECT_EQ(record_.arrayReleases, 1);
    EXPECT_TRUE(g_boxes.empty());
}

TEST_F(MainLoop, AnEmptyChoicePacksNothing)
{
    EXPECT_EQ(RunOneBatch(), 0);
    EXPECT_EQ(record_.getResults, 1);
    EXPECT_TRUE(g_packedPaths.empty());
    EXPECT_EQ(record_.arrayReleases, 1);
    EXPECT_TRUE(g_boxes.empty());
}

TEST_F(MainLoop, ADialogThatIsNotConfirmedDoesNothing)
{
    script_.items = {{L"C:\\a.tvx"}};
    // Cancelled by the user, and a success code other than S_OK.
    for (HRESULT show : {HRESULT_FROM_WIN32(ERROR_CANCELLED), S_FALSE}) {
        script_.show = show;
        EXPECT_EQ(RunOneBatch(), 0);
    }
    EXPECT_EQ(record_.shows, 2);
    EXPECT_EQ(record_.getResults, 0);
    EXPECT_TRUE(g_packedPaths.empty());
    EXPECT_TRUE(g_boxes.empty());
}

TEST_F(MainLoop, ResultsThatCannotBeHadEndTheProgram)
{
    script_.items = {{L"C:\\a.tvx"}};
    script_.getResults = E_FAIL;
    EXPECT_EQ(RunFailingBatch(), -1);
    ExpectOneErrorBox("Error getting mod files!\nExiting application!");
    EXPECT_TRUE(g_packedPaths.empty());
}

TEST_F(MainLoop, ACountThatIsNotSOkEndsTheProgram)
{
    script_.items = {{L"C:\\a.tvx"}};
    script_.getCount = S_FALSE;
    EXPECT_EQ(RunFailingBatch(), -1);
    ExpectOneErrorBox("Error getting mod files count!\nExiting application!");
    EXPECT_TRUE(g_packedPaths.empty());
    EXPECT_EQ(record_.arrayReleases, 0);
}

TEST_F(MainLoop, AnItemThatCannotBeHadEndsTheProgramAfterTheOnesBefore)
{
    script_.items = {{L"C:\\a.tvx"}, {L"C:\\b.tvx", E_FAIL}, {L"C:\\c.tvx"}};
    EXPECT_EQ(RunFailingBatch(), -1);
    ExpectOneErrorBox("Error getting next mod file!\nExiting application!");
    ASSERT_EQ(g_packedPaths.size(), 1u);
    EXPECT_EQ(record_.arrayReleases, 0);
}

TEST_F(MainLoop, APathThatCannotBeHadEndsTheProgram)
{
    script_.items = {{L"C:\\a.tvx", S_OK, E_FAIL}};
    EXPECT_EQ(RunFailingBatch(), -1);
    ExpectOneErrorBox("Error displaying path!\nExiting application!");
    EXPECT_TRUE(g_packedPaths.empty());
}

TEST_F(MainLoop, AFatalPackEndsTheProgramReleasingNothing)
{
    script_.items = {{L"C:\\a.tvx"}, {L"C:\\b.tvx"}};
    g_packResults = {PackResult::Fatal};
    EXPECT_EQ(RunFailingBatch(), -1);
    ExpectOneErrorBox("Error packing mod!\nExiting application!");
    ASSERT_EQ(g_packedPaths.size(), 1u);
    EXPECT_EQ(record_.itemReleases, (std::vector<int>{0, 0}));
    EXPECT_EQ(record_.arrayReleases, 0);
}

TEST_F(MainLoop, EndsOnTheQuitMessageWithZeroWhateverItsCode)
{
    IFileOpenDialog* dialog = MakeFakeDialog(&script_, &record_);
    PostQuitMessage(7);
    EXPECT_EQ(RunMainLoop(dialog), 0);
    dialog->Release();
    EXPECT_EQ(record_.shows, 0);
}
