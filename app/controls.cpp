#include "app/controls.h"

#include "app/app_ids.h"
#include "packer/output_log_pane.h"

namespace {

// The record including its last member, iPaddedBorderWidth.
constexpr UINT kNonClientMetricsBytes = 504;
static_assert(sizeof(NONCLIENTMETRICSW) == kNonClientMetricsBytes,
              "NONCLIENTMETRICSW must include iPaddedBorderWidth");

constexpr DWORD kButtonStyle = WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON;
constexpr DWORD kGroupBoxStyle = WS_CHILD | WS_VISIBLE | BS_GROUPBOX;
// Multi-line and read-only, with a vertical scroll bar only: long lines wrap.
constexpr DWORD kPaneStyle =
    WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_READONLY;

HWND CreateControl(HWND parent, HINSTANCE instance, DWORD exStyle, const WCHAR* className,
                   const WCHAR* text, DWORD style, int x, int y, int width, int height, int id)
{
    return CreateWindowExW(exStyle, className, text, style, x, y, width, height, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
}

void SetControlFont(HWND control, HFONT font)
{
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), 0);
}

} // namespace

HFONT CreateMessageFont()
{
    NONCLIENTMETRICSW metrics;
    ZeroMemory(&metrics, sizeof(metrics));
    metrics.cbSize = kNonClientMetricsBytes;
    // When the metrics cannot be read, the zeroed record asks for the
    // system's default face at its default height.
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, kNonClientMetricsBytes, &metrics, 0);
    return CreateFontIndirectW(&metrics.lfMessageFont);
}

void CreateMainWindowControls(HWND window, HINSTANCE instance, HFONT font)
{
    HWND control = CreateControl(window, instance, WS_EX_STATICEDGE, L"BUTTON", L"Help",
                                 kButtonStyle, 50, 70, 100, 30, IDC_HELP);
    SetControlFont(control, font);

    control = CreateControl(window, instance, WS_EX_STATICEDGE, L"BUTTON", L"About", kButtonStyle,
                            50, 120, 100, 30, IDC_ABOUT);
    SetControlFont(control, font);

    control = CreateControl(window, instance, WS_EX_STATICEDGE, L"BUTTON", L"Exit", kButtonStyle,
                            50, 170, 100, 30, IDC_EXIT);
    SetControlFont(control, font);

    control = CreateControl(window, instance, WS_EX_STATICEDGE, L"BUTTON", L"Select Tolvane mod",
                            kButtonStyle, 530, 350, 100, 30, IDC_SELECT_MOD);
    SetControlFont(control, font);

    control = CreateControl(window, instance, 0, L"BUTTON", L"Output", kGroupBoxStyle, 190, 64, 440,
                            276, 0);
    SetControlFont(control, font);

    // The pane sits inside the group box's frame. The output log writes to it
    // through g_hOutput, which is set before the font so that the handle is
    // in place as soon as the pane exists.
    g_hOutput = CreateControl(window, instance, WS_EX_CLIENTEDGE, L"EDIT", L"", kPaneStyle, 194, 81,
                              432, 255, 0);
    SetControlFont(g_hOutput, font);
}
