// The output log as the window program shows it: a read-only multi-line EDIT
// control (g_hOutput), and the overwrite question as a message box.
#include "packer/output_log_pane.h"

#include "packer/constants.h"
#include "packer/output_log.h"

HWND g_hOutput = nullptr;

void AppendOutput(const WCHAR* text)
{
    SendMessageW(g_hOutput, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text));
}

void ReplaceCurrentOutputLine(const WCHAR* text)
{
    LRESULT lineStart = SendMessageW(g_hOutput, EM_LINEINDEX, static_cast<WPARAM>(-1), 0);
    SendMessageW(g_hOutput, EM_SETSEL, static_cast<WPARAM>(lineStart), -1);
    SendMessageW(g_hOutput, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text));
}

int AskOverwrite(const WCHAR* question)
{
    return MessageBoxW(nullptr, question, TEXT("Tolvane Packer"), MB_YESNOCANCEL | MB_ICONEXCLAMATION);
}
