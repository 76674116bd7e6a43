#include "packer/mod_outcome.h"

ModOutcome g_modOutcome = ModOutcome::NotModFile;
FailedStep g_failedStep;
void (*g_fileAdded)(const WCHAR* path) = nullptr;

void ClearFailedStep()
{
    g_failedStep.cause = FailureCause::None;
    g_failedStep.error = 0;
    g_failedStep.result = S_OK;
    g_failedStep.path[0] = 0;
    g_failedStep.entry[0] = 0;
    g_failedStep.inArchive = false;
}

void NoteFailedStep(const WCHAR* path, FailureCause cause, DWORD error, HRESULT result, const WCHAR* entry)
{
    if (g_failedStep.cause != FailureCause::None)
        return;
    g_failedStep.cause = cause;
    g_failedStep.error = error;
    g_failedStep.result = result;
    _snwprintf_s(g_failedStep.path, kPathChars, kPathChars - 1, TEXT("%s"), path);
    _snwprintf_s(g_failedStep.entry, kPathChars, kPathChars - 1, TEXT("%s"), entry);
}
