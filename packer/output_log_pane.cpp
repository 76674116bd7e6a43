// The output log as the window program shows it: a read-only multi-line EDIT
// control (g_hOutput), and the overwrite question as a message box.
//
// The progress line changes once per file, thousands of times a second on a
// mod of small files, and every change of a shown pane costs a redraw. So a
// progress line is written at once only when it is the first since the last
// other text, or when enough time has passed since the last one began to be
// written: ten times what writing it took, but at least kShortestGapMs and at
// most kLongestGapMs. The pane then shows 10 to 40 progress lines a second
// and spends about a tenth of the time on them (more only where a single
// write takes over 10 ms). Any other progress line waits, and a newer one
// takes its place. The waiting line is written before any other text, before
// the overwrite question and when the caller flushes the pane at the end of
// a mod. A progress line is too short to wrap, so each one replaces the one
// before it whole, and the pane's text at each of those moments is the text
// it would have if every line had been written.
#include "packer/output_log_pane.h"

#include <string.h>

#include "packer/constants.h"
#include "packer/output_log.h"

HWND g_hOutput = nullptr;

namespace {

constexpr double kShortestGapMs = 25;
constexpr double kLongestGapMs = 100;
constexpr double kGapPerWriteTime = 10;

struct ProgressLine {
    WCHAR waiting[kMessageChars];
    bool isWaiting;
    // A progress line has been written since the last other text: when its
    // writing began, and how long after that the next one is due.
    bool written;
    double writtenAtMs;
    double gapMs;
};

ProgressLine g_progress = {};

double NowMs()
{
    LARGE_INTEGER frequency, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

void WriteProgressLine(const WCHAR* text)
{
    double start = NowMs();
    LRESULT lineStart = SendMessageW(g_hOutput, EM_LINEINDEX, static_cast<WPARAM>(-1), 0);
    SendMessageW(g_hOutput, EM_SETSEL, static_cast<WPARAM>(lineStart), -1);
    SendMessageW(g_hOutput, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text));
    // The batch takes no messages while it runs, so the pane is painted here
    // for the user to see the count go up.
    UpdateWindow(g_hOutput);
    g_progress.written = true;
    g_progress.writtenAtMs = start;
    double gap = kGapPerWriteTime * (NowMs() - start);
    g_progress.gapMs = gap < kShortestGapMs ? kShortestGapMs : gap > kLongestGapMs ? kLongestGapMs : gap;
}

} // namespace

void FlushOutputPane()
{
    if (!g_progress.isWaiting)
        return;
    g_progress.isWaiting = false;
    WriteProgressLine(g_progress.waiting);
}

void AppendOutput(const WCHAR* text)
{
    FlushOutputPane();
    SendMessageW(g_hOutput, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text));
    g_progress.written = false;
}

void ReplaceCurrentOutputLine(const WCHAR* text)
{
    size_t length = wcsnlen(text, kMessageChars);
    bool due = !g_progress.written || NowMs() - g_progress.writtenAtMs >= g_progress.gapMs;
    if (due || length == kMessageChars) {
        // This line replaces any waiting one, which is then never shown.
        g_progress.isWaiting = false;
        WriteProgressLine(text);
        return;
    }
    memcpy(g_progress.waiting, text, (length + 1) * sizeof(WCHAR));
    g_progress.isWaiting = true;
}

int AskOverwrite(const WCHAR* question)
{
    FlushOutputPane();
    return MessageBoxW(nullptr, question, TEXT("Tolvane Packer"), MB_YESNOCANCEL | MB_ICONEXCLAMATION);
}
