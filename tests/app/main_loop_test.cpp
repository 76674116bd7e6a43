// The main loop and its batch against a scripted file-open dialog and a
// scripted packer: the order of the calls, what is released when, and the
// failure boxes with their exit code. The boxes are read and closed by a
// hook on this thread, so no one has to press anything.
#include <windows.h>
#include <shlwapi.h>
#include <shobjidl.h>

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/main_loop.h"
#include "app/main_window.h"
#include "packer/pack_mod.h"
#include "tests/support/text.h"

namespace {

// What the scripted dialog and packer answer, and what they record. The call
// named `failing` answers `failure` (for an item: the second one), PackMod
// `pack` for the second mod; every other call succeeds.
struct Script {
    std::string failing;
    HRESULT failure = S_OK;
    PackResult pack = PackResult::Done;
    std::string calls;  // each call, with the item it is about, and each object's release ("free")
    std::vector<std::string> boxes;

    HRESULT Answer(const std::string& call, const std::string& item = "")
    {
        calls += " " + call + item;
        return failing == call && (item.empty() || item == "1") ? failure : S_OK;
    }
};
const wchar_t* const kPaths[] = {L"C:\\mods\\a.tvx", L"D:\\b.tvx", L"c.tvx"};
Script* g_script = nullptr;
HHOOK g_hook = nullptr;

// A scripted COM object laid out as the system lays one out: its table of
// methods in the interface's order, then its state.
struct Fake {
    void* const* methods;
    std::string name;  // an item's place in the script, or "all" for the array of them
    ULONG references = 1;
};

HRESULT STDMETHODCALLTYPE NotUsed() { return E_NOTIMPL; }
ULONG STDMETHODCALLTYPE AddRef(Fake* self) { return ++self->references; }
ULONG STDMETHODCALLTYPE Release(Fake* self)
{
    ULONG left = --self->references;
    if (left == 0)
        g_script->calls += " free" + self->name, delete self;
    return left;
}
Fake* New(const std::string& name);

// The dialog's methods.
HRESULT STDMETHODCALLTYPE Show(Fake*, HWND) { return g_script->Answer("show"); }
HRESULT STDMETHODCALLTYPE GetResults(Fake*, IShellItemArray** items)
{
    HRESULT answer = g_script->Answer("results");
    *items = reinterpret_cast<IShellItemArray*>(answer == S_OK ? New("all") : nullptr);
    return answer;
}
// The item array's.
HRESULT STDMETHODCALLTYPE GetCount(Fake*, DWORD* count)
{
    *count = 3;
    return g_script->Answer("count");
}
HRESULT STDMETHODCALLTYPE GetItemAt(Fake*, DWORD index, IShellItem** item)
{
    HRESULT answer = index >= 3 ? E_INVALIDARG : g_script->Answer("item", std::to_string(index));
    *item = reinterpret_cast<IShellItem*>(answer == S_OK ? New(std::to_string(index)) : nullptr);
    return answer;
}
// The item's.
HRESULT STDMETHODCALLTYPE GetDisplayName(Fake* self, SIGDN form, LPWSTR* name)
{
    HRESULT answer = form != SIGDN_FILESYSPATH ? E_INVALIDARG : g_script->Answer("name", self->name);
    *name = nullptr;
    return answer != S_OK ? answer : SHStrDupW(kPaths[std::stoi(self->name)], name);
}

// One table serves the three interfaces, since the methods the main loop
// uses sit at different places in them; the others answer E_NOTIMPL.
template <class Method>
void* At(Method method) { return reinterpret_cast<void*>(method); }
const std::vector<void*> kMethods = [] {
    std::vector<void*> table(29, At(NotUsed));
    table[1] = At(AddRef), table[2] = At(Release), table[3] = At(Show), table[27] = At(GetResults);
    table[7] = At(GetCount), table[8] = At(GetItemAt), table[5] = At(GetDisplayName);
    return table;
}();
Fake* New(const std::string& name) { return new Fake{kMethods.data(), name}; }

// Reads a box once it is shown, with its default button in place, and presses OK.
LRESULT CALLBACK CloseMessageBoxes(int code, WPARAM wParam, LPARAM lParam)
{
    WCHAR kind[16] = {};
    if (code == HCBT_ACTIVATE && GetClassNameW(reinterpret_cast<HWND>(wParam), kind, 16) && Text(kind) == L"#32770") {
        SetTimer(reinterpret_cast<HWND>(wParam), 1, 50, [](HWND box, UINT, UINT_PTR, DWORD) {
            KillTimer(box, 1);
            g_script->boxes.push_back(DescribeBox(box, [](HWND) { return std::string("shown"); }));
            PostMessageW(box, WM_COMMAND, IDOK, 0);
        });
    }
    return CallNextHookEx(g_hook, code, wParam, lParam);
}

} // namespace

PackResult PackMod(const WCHAR* modFilePath)
{
    std::ptrdiff_t mod = std::find(kPaths, kPaths + 3, Text(modFilePath)) - kPaths;
    g_script->calls += " pack" + std::to_string(mod);
    return mod == 1 ? g_script->pack : PackResult::Done;
}

// One press of the select button per row, through the real window
// procedure, which raises the flag for the loop. Each item is released after
// its own PackMod call, the array after the batch. A failure shows one
// ownerless "Error" box with an OK button and no icon, then the loop ends by
// itself with -1, releasing nothing more. Otherwise a timer's quit message
// ends the loop, which then returns 0 whatever the message's code.
TEST(MainLoop, BatchesAndTheirFailures)
{
    ASSERT_NE(RegisterMainWindowClass(GetModuleHandleW(nullptr), nullptr, nullptr), 0);
    HWND window = CreateMainWindow(GetModuleHandleW(nullptr));
    ASSERT_NE(window, nullptr);
    g_hook = SetWindowsHookExW(WH_CBT, CloseMessageBoxes, nullptr, GetCurrentThreadId());
    const std::string kFirst = "show results count item0 name0 pack0 free0 item1";
    const struct {
        const char* failing;
        HRESULT failure;
        PackResult pack;
        const char* box;
        std::string calls;
    } kRows[] = {
        {"", S_OK, PackResult::Done, "", kFirst + " name1 pack1 free1 item2 name2 pack2 free2 freeall"},
        {"show", HRESULT_FROM_WIN32(ERROR_CANCELLED), PackResult::Done, "", "show"},
        {"show", S_FALSE, PackResult::Done, "", "show"},
        {"", S_OK, PackResult::Cancelled, "", kFirst + " name1 pack1 free1 freeall"},
        {"results", E_FAIL, PackResult::Done, "Error getting mod files!", "show results"},
        {"count", S_FALSE, PackResult::Done, "Error getting mod files count!", "show results count"},
        {"item", E_FAIL, PackResult::Done, "Error getting next mod file!", kFirst},
        {"name", E_FAIL, PackResult::Done, "Error displaying path!", kFirst + " name1"},
        {"", S_OK, PackResult::Fatal, "Error packing mod!", kFirst + " name1 pack1"},
    };
    for (const auto& row : kRows) {
        SCOPED_TRACE(std::string(row.failing) + " " + std::to_string(row.failure) + " pack " + std::to_string(int(row.pack)));
        int result = *row.box != 0 ? -1 : 0;
        Script script;
        script.failing = row.failing, script.failure = row.failure, script.pack = row.pack, g_script = &script;
        UINT_PTR timer = SetTimer(nullptr, 0, result == 0 ? 300 : 5000, [](HWND, UINT, UINT_PTR, DWORD) { PostQuitMessage(7); });
        auto* dialog = reinterpret_cast<IFileOpenDialog*>(New("dialog"));
        PostMessageW(window, WM_COMMAND, MAKEWPARAM(500, BN_CLICKED), 0);
        EXPECT_EQ(RunMainLoop(dialog), result);
        KillTimer(nullptr, timer);
        EXPECT_EQ(script.calls, " " + row.calls);
        std::vector<std::string> box = {"\"Error\" icon none buttons 1* text: " + std::string(row.box) + "\\nExiting application!"};
        EXPECT_EQ(script.boxes, result != 0 ? box : std::vector<std::string>());
        dialog->Release();
    }
    UnhookWindowsHookEx(g_hook);
    DestroyWindow(window);
}
