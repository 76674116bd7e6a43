#include "app/main_loop.h"

#include "app/failure_box.h"
#include "app/main_window.h"
#include "packer/output_log_pane.h"
#include "packer/pack_mod.h"

namespace {

void ShowBatchErrorBox(const WCHAR* text)
{
    ShowFailureBox(text, L"Error");
}

// Packs the files of the dialog's last confirmed choice, in the dialog's
// order. Returns 0 when the batch ended (all files handled, or the user
// cancelled it), -1 after a failure's message box; on -1 nothing is released.
int PackChosenMods(IFileOpenDialog* dialog)
{
    IShellItemArray* items = nullptr;
    if (dialog->GetResults(&items) != S_OK) {
        ShowBatchErrorBox(L"Error getting mod files!\nExiting application!");
        return -1;
    }
    DWORD count = 0;
    if (items->GetCount(&count) != S_OK) {
        ShowBatchErrorBox(L"Error getting mod files count!\nExiting application!");
        return -1;
    }

    for (DWORD index = 0; index < count; ++index) {
        IShellItem* item = nullptr;
        if (items->GetItemAt(index, &item) != S_OK) {
            ShowBatchErrorBox(L"Error getting next mod file!\nExiting application!");
            return -1;
        }
        WCHAR* path = nullptr;
        if (item->GetDisplayName(SIGDN_FILESYSPATH, &path) != S_OK) {
            ShowBatchErrorBox(L"Error displaying path!\nExiting application!");
            return -1;
        }
        PackResult result = PackMod(path);
        // The mod's last progress line, before the batch goes on or a box opens.
        FlushOutputPane();
        if (result == PackResult::Fatal) {
            ShowBatchErrorBox(L"Error packing mod!\nExiting application!");
            return -1;
        }
        CoTaskMemFree(path);
        item->Release();
        if (result == PackResult::Cancelled)
            break;
    }

    items->Release();
    return 0;
}

} // namespace

int RunMainLoop(IFileOpenDialog* dialog)
{
    g_selectPending = 0;
    MSG message;
    ZeroMemory(&message, sizeof(message));

    // The loop polls instead of waiting, so that it sees the select flag at
    // the first moment the queue is empty. A batch runs inside one turn; only
    // the modal loops opened meanwhile dispatch messages.
    while (message.message != WM_QUIT) {
        if (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
            continue;
        }
        if (g_selectPending != 1)
            continue;

        // Cleared before the dialog opens, so that a press meanwhile opens
        // it again after this batch.
        g_selectPending = 0;
        if (dialog->Show(nullptr) != S_OK)
            continue;
        if (PackChosenMods(dialog) != 0)
            return -1;
    }
    return 0;
}
