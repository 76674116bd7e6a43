// Times the window program's packing path under Wine or Windows: PackMod
// writing its progress into a real multi-line EDIT control, as the pane does,
// for each mod file named on the command line. Prints the seconds per mod.
//
// Built by the Windows tree's bench target:
//   cmake --build build/windows --target pane_pack
//   tests/tools/wine-run build/windows/bench/pane_pack.exe 'Z:\path\to\small.tvx'
#include <windows.h>

#include <cstdio>

#include "packer/output_log_pane.h"
#include "packer/pack_mod.h"

int wmain(int argc, wchar_t** argv)
{
    // A shown window holding the pane, as in the program.
    HWND window = CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 0, 0, 640, 400, nullptr,
                                  nullptr, GetModuleHandleW(nullptr), nullptr);
    g_hOutput = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"",
                                WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL |
                                    ES_READONLY,
                                194, 81, 432, 255, window, nullptr, GetModuleHandleW(nullptr),
                                nullptr);
    if (g_hOutput == nullptr) {
        std::fprintf(stderr, "pane_pack: no EDIT control\n");
        return 1;
    }
    for (int i = 1; i < argc; ++i) {
        LARGE_INTEGER frequency, start, end;
        QueryPerformanceFrequency(&frequency);
        QueryPerformanceCounter(&start);
        PackResult result = PackMod(argv[i]);
        QueryPerformanceCounter(&end);
        std::printf("%ls: %.2f s, result %d, pane %d characters\n", argv[i],
                    static_cast<double>(end.QuadPart - start.QuadPart) / frequency.QuadPart,
                    static_cast<int>(result), GetWindowTextLengthW(g_hOutput));
    }
    DestroyWindow(window);
    return 0;
}
