// The main loop and its batch against a scripted file-open dialog and a
// scripted packer: the order of the calls, what is released when, and the
// failure boxes with their exit code. The boxes are read and closed by a
// hook on this thread, so no one has to press anything.
#include <windows.h>
#include <shobjidl.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/main_loop.h"
#include "app/main_window.h"
#include "packer/pack_mod.h"
#include "tests/support/text.h"

namespace {

struct ItemScript {
    std::wstring path;
    HRESULT getItemAt = S_OK, getDisplayName = S_OK;
};

// What the scripted dialog answers, and what it records.
struct Script {
    HRESULT show = S_OK, getResults = S_OK, getCount = S_OK;
    std::vector<ItemScript> items;
    bool quitOnShow = true;  // so that the loop ends after the batch

    std::vector<PackResult> packResults;  // what PackMod answers, in turn

    int shows = 0, getResultsCalls = 0, arrayReleases = 0;
    std::vector<int> itemReleases;
    std::vector<std::string> packedPaths;
    std::vector<std::vector<int>> releasesAtPack;  // item releases as each PackMod began
    std::vector<std::string> boxes;  // owner, caption, text, buttons, icon of each box
};

// A scripted COM object laid out as the system lays one out: its table of
// methods in the interface's order, then its state. The methods the main
// loop does not use answer E_NOTIMPL.
struct Fake {
    void* const* methods;
    Script* script;
    std::size_t index;  // an item's place in the script
    int* releases;  // counted when the last reference goes
    ULONG references = 1;
};

HRESULT STDMETHODCALLTYPE NotUsed() { return E_NOTIMPL; }
ULONG STDMETHODCALLTYPE AddRef(Fake* self) { return ++self->references; }
ULONG STDMETHODCALLTYPE Release(Fake* self)
{
    ULONG left = --self->references;
    if (left == 0)
        ++*self->releases, delete self;
    return left;
}

// A method table of `size` entries: IUnknown's, then `used` at their places.
template <class... Used>
std::vector<void*> Table(std::size_t size, Used... used)
{
    std::vector<void*> table(size, reinterpret_cast<void*>(NotUsed));
    table[1] = reinterpret_cast<void*>(AddRef), table[2] = reinterpret_cast<void*>(Release);
    ((table[used.first] = reinterpret_cast<void*>(used.second)), ...);
    return table;
}

HRESULT STDMETHODCALLTYPE GetDisplayName(Fake* self, SIGDN form, LPWSTR* name)
{
    const ItemScript& item = self->script->items[self->index];
    *name = nullptr;
    if (item.getDisplayName != S_OK || form != SIGDN_FILESYSPATH)
        return item.getDisplayName != S_OK ? item.getDisplayName : E_INVALIDARG;
    std::size_t bytes = (item.path.size() + 1) * sizeof(WCHAR);
    *name = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
    std::memcpy(*name, item.path.c_str(), bytes);
    return S_OK;
}
const std::vector<void*> kItem = Table(8, std::pair{5, GetDisplayName});

HRESULT STDMETHODCALLTYPE GetCount(Fake* self, DWORD* count)
{
    *count = static_cast<DWORD>(self->script->items.size());
    return self->script->getCount;
}
HRESULT STDMETHODCALLTYPE GetItemAt(Fake* self, DWORD index, IShellItem** item)
{
    Script* script = self->script;
    *item = nullptr;
    if (index >= script->items.size() || script->items[index].getItemAt != S_OK)
        return index >= script->items.size() ? E_INVALIDARG : script->items[index].getItemAt;
    *item = reinterpret_cast<IShellItem*>(new Fake{kItem.data(), script, index, &script->itemReleases[index]});
    return S_OK;
}
const std::vector<void*> kItemArray = Table(10, std::pair{7, GetCount}, std::pair{8, GetItemAt});

HRESULT STDMETHODCALLTYPE Show(Fake* self, HWND)
{
    ++self->script->shows;
    if (self->script->quitOnShow)
        PostQuitMessage(0);
    return self->script->show;
}
HRESULT STDMETHODCALLTYPE GetResults(Fake* self, IShellItemArray** items)
{
    Script* script = self->script;
    ++script->getResultsCalls;
    Fake* array = script->getResults == S_OK ? new Fake{kItemArray.data(), script, 0, &script->arrayReleases} : nullptr;
    *items = reinterpret_cast<IShellItemArray*>(array);
    return script->getResults;
}
const std::vector<void*> kDialog = Table(29, std::pair{3, Show}, std::pair{27, GetResults});

IFileOpenDialog* NewDialog(Script* script)
{
    static int releases = 0;
    return reinterpret_cast<IFileOpenDialog*>(new Fake{kDialog.data(), script, 0, &releases});
}

Script* g_script = nullptr;
HHOOK g_hook = nullptr;

LRESULT CALLBACK CloseMessageBoxes(int code, WPARAM wParam, LPARAM lParam)
{
    HWND box = reinterpret_cast<HWND>(wParam);
    wchar_t text[1024] = {};
    if (code == HCBT_ACTIVATE && GetClassNameW(box, text, 1024) && ToUtf8(text) == "#32770") {
        GetWindowTextW(box, text, 1024);
        std::string shown = (GetWindow(box, GW_OWNER) ? "owned|" : "|") + ToUtf8(text) + "|";
        int buttons = 0;
        bool icon = false;
        for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
            LONG style = GetWindowLongW(child, GWL_STYLE);
            GetClassNameW(child, text, 1024);
            if (!(style & WS_VISIBLE))
                continue;
            else if (_wcsicmp(text, L"Button") == 0)
                ++buttons;
            else if ((style & SS_TYPEMASK) == SS_ICON)
                icon = icon || SendMessageW(child, STM_GETICON, 0, 0) != 0;
            else if (GetWindowTextW(child, text, 1024) > 0)
                shown += ToUtf8(text);
        }
        g_script->boxes.push_back(shown + "|" + std::to_string(buttons) + (icon ? " icon" : ""));
        PostMessageW(box, WM_COMMAND, IDOK, 0);
    }
    return CallNextHookEx(g_hook, code, wParam, lParam);
}

// Runs the loop over one press of the select button: the press goes through
// the real window procedure, which raises the flag for the loop.
int RunOneBatch(HWND window, Script* script)
{
    g_script = script;
    script->itemReleases.assign(script->items.size(), 0);
    IFileOpenDialog* dialog = NewDialog(script);
    PostMessageW(window, WM_COMMAND, MAKEWPARAM(500, BN_CLICKED), 0);
    int result = RunMainLoop(dialog);
    dialog->Release();
    return result;
}

const char* const kNoBox = "";

} // namespace

PackResult PackMod(const WCHAR* modFilePath)
{
    g_script->packedPaths.push_back(ToUtf8(modFilePath));
    g_script->releasesAtPack.push_back(g_script->itemReleases);
    std::vector<PackResult>& results = g_script->packResults;
    PackResult result = results.empty() ? PackResult::Done : results.front();
    if (!results.empty())
        results.erase(results.begin());
    return result;
}

// One press of the select button per row; the second item is the one that
// fails. A failure shows one ownerless "Error" box with an OK button and no
// icon, then the loop ends by itself with -1, releasing nothing; should it go
// on instead, a timer ends it after a while with 0.
TEST(MainLoop, BatchesAndTheirFailures)
{
    ASSERT_NE(RegisterMainWindowClass(GetModuleHandleW(nullptr), nullptr, nullptr), 0);
    HWND window = CreateMainWindow(GetModuleHandleW(nullptr));
    ASSERT_NE(window, nullptr);
    g_hook = SetWindowsHookExW(WH_CBT, CloseMessageBoxes, nullptr, GetCurrentThreadId());
    Script script_;
    const struct {
        const char* box;
        HRESULT show, getResults, getCount, getItemAt, getDisplayName;
        PackResult pack;
        int result;
        std::size_t packed, released;  // items handed to PackMod, items released
        std::vector<std::vector<int>> releasesAtPack;
    } kRows[] = {
        // Each item is released after its own PackMod call and before the next.
        {kNoBox, S_OK, S_OK, S_OK, S_OK, S_OK, PackResult::Done, 0, 3, 3, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}}},
        {kNoBox, HRESULT_FROM_WIN32(ERROR_CANCELLED), S_OK, S_OK, S_OK, S_OK, PackResult::Done, 0, 0, 0, {}},
        {kNoBox, S_FALSE, S_OK, S_OK, S_OK, S_OK, PackResult::Done, 0, 0, 0, {}},
        {kNoBox, S_OK, S_OK, S_OK, S_OK, S_OK, PackResult::Cancelled, 0, 2, 2, {{0, 0, 0}, {1, 0, 0}}},
        {"Error getting mod files!", S_OK, E_FAIL, S_OK, S_OK, S_OK, PackResult::Done, -1, 0, 0, {}},
        {"Error getting mod files count!", S_OK, S_OK, S_FALSE, S_OK, S_OK, PackResult::Done, -1, 0, 0, {}},
        {"Error getting next mod file!", S_OK, S_OK, S_OK, E_FAIL, S_OK, PackResult::Done, -1, 1, 1, {{0, 0, 0}}},
        {"Error displaying path!", S_OK, S_OK, S_OK, S_OK, E_FAIL, PackResult::Done, -1, 1, 1, {{0, 0, 0}}},
        {"Error packing mod!", S_OK, S_OK, S_OK, S_OK, S_OK, PackResult::Fatal, -1, 2, 1, {{0, 0, 0}, {1, 0, 0}}},
    };
    for (const auto& row : kRows) {
        SCOPED_TRACE(std::string(row.box) + " show " + std::to_string(row.show) + " pack " + std::to_string(int(row.pack)));
        script_ = Script();
        script_.show = row.show, script_.getResults = row.getResults, script_.getCount = row.getCount;
        script_.items = {{L"C:\\mods\\a.tvx"}, {L"D:\\b.tvx", row.getItemAt, row.getDisplayName}, {L"c.tvx"}};
        script_.quitOnShow = row.result == 0, script_.packResults = {PackResult::Done, row.pack};
        UINT_PTR timer = SetTimer(nullptr, 0, 5000, [](HWND, UINT, UINT_PTR, DWORD) { PostQuitMessage(0); });
        EXPECT_EQ(RunOneBatch(window, &script_), row.result);
        KillTimer(nullptr, timer);
        std::vector<std::string> box = {"|Error|" + std::string(row.box) + "\nExiting application!|1"};
        EXPECT_EQ(script_.boxes, *row.box != 0 ? box : std::vector<std::string>());
        EXPECT_EQ(script_.shows, 1);
        EXPECT_EQ(script_.getResultsCalls, row.show == S_OK ? 1 : 0);
        const std::vector<std::string> paths = {"C:\\mods\\a.tvx", "D:\\b.tvx", "c.tvx"};
        EXPECT_EQ(script_.packedPaths, std::vector<std::string>(paths.begin(), paths.begin() + row.packed));
        EXPECT_EQ(script_.releasesAtPack, row.releasesAtPack);
        // After a failure nothing is released; after a batch, everything.
        EXPECT_EQ(script_.arrayReleases, row.result == 0 && row.show == S_OK ? 1 : 0);
        std::vector<int> itemReleases(3, 0);
        std::fill_n(itemReleases.begin(), row.released, 1);
        EXPECT_EQ(script_.itemReleases, itemReleases);
    }

    // The quit message ends the loop with 0, whatever its code.
    script_ = Script();
    IFileOpenDialog* dialog = NewDialog(&script_);
    PostQuitMessage(7);
    EXPECT_EQ(RunMainLoop(dialog), 0);
    dialog->Release();
    EXPECT_EQ(script_.shows, 0);
    UnhookWindowsHookEx(g_hook);
    DestroyWindow(window);
}
