#include "app/file_dialog.h"

#include "app/failure_box.h"

namespace {

const COMDLG_FILTERSPEC kModFilter = {L"Tolvane mod", L"*.tvx"};

void ShowFatalBox(const WCHAR* text)
{
    ShowFailureBox(text, L"Fatal Error");
}

} // namespace

IFileOpenDialog* CreateModFileDialog()
{
    IFileOpenDialog* dialog = nullptr;
    if (CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER, IID_IFileOpenDialog,
                         reinterpret_cast<void**>(&dialog)) != S_OK) {
        ShowFatalBox(L"Could not create file dialog instance!\nExiting application!");
        return nullptr;
    }

    // Keep every option the dialog has by default and allow several files.
    FILEOPENDIALOGOPTIONS options = 0;
    if (dialog->GetOptions(&options) != S_OK) {
        ShowFatalBox(L"Could not get file dialog options!\nExiting application!");
        return nullptr;
    }
    if (dialog->SetOptions(options | FOS_ALLOWMULTISELECT) != S_OK) {
        ShowFatalBox(L"Could not set file dialog options!\nExiting application!");
        return nullptr;
    }
    if (dialog->SetFileTypes(1, &kModFilter) != S_OK) {
        ShowFatalBox(L"Could not set file dialog file type filter!\nExiting application!");
        return nullptr;
    }

    // The dialog starts in the directory current at start-up; this is the
    // only time its folder is set. A current directory that cannot be read or
    // does not fit the buffer cannot be a starting folder either.
    WCHAR startDirectory[MAX_PATH];
    DWORD length = GetCurrentDirectoryW(MAX_PATH, startDirectory);
    IShellItem* folder = nullptr;
    if (length == 0 || length >= MAX_PATH ||
        SHCreateItemFromParsingName(startDirectory, nullptr, IID_IShellItem,
                                    reinterpret_cast<void**>(&folder)) != S_OK) {
        ShowFatalBox(L"Could not set starting directory!\nExiting application!");
        return nullptr;
    }
    if (dialog->SetFolder(folder) != S_OK) {
        ShowFatalBox(L"Could not set starting directory!\nExiting application!");
        return nullptr;
    }
    folder->Release();
    return dialog;
}
