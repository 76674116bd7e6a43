// Entry point of the window tests: app_window_tests <TolvanePacker.exe> <artifact folder>
// [GoogleTest options]. The paths may be Unix paths when run under Wine.
#include <cstdio>

#include <gtest/gtest.h>

#include "tests/app/driver.h"

namespace {

std::wstring g_appPath;
std::wstring g_artifactFolder;

// Under Wine a Unix path is turned into the DOS path Wine maps it to; a
// Windows path is taken as it is.
std::wstring WindowsPath(const char* argument)
{
    using DosNameFunction = WCHAR*(CDECL*)(const char*);
    auto dosName = reinterpret_cast<DosNameFunction>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_dos_file_name")));
    if (WCHAR* converted = argument[0] == '/' && dosName != nullptr ? dosName(argument) : nullptr) {
        std::wstring path(converted);
        HeapFree(GetProcessHeap(), 0, converted);
        return path;
    }
    int length = MultiByteToWideChar(CP_UTF8, 0, argument, -1, nullptr, 0);
    std::wstring path(length > 0 ? length - 1 : 0, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, argument, -1, &path[0], length);
    return path;
}

} // namespace

const std::wstring& AppPath()
{
    return g_appPath;
}

const std::wstring& ArtifactFolder()
{
    return g_artifactFolder;
}

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <TolvanePacker.exe> <artifact folder> [gtest options]\n",
                     argv[0]);
        return 2;
    }
    // Under Wine the program's window needs an X display; without one every
    // test would fail on a timeout, so say why at once.
    bool underWine = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
    if (underWine && GetEnvironmentVariableW(L"DISPLAY", nullptr, 0) == 0) {
        std::fprintf(stderr, "The window tests need an X display: run them under xvfb-run, as "
                             "`make test-windows` does.\n");
        return 1;
    }
    g_appPath = WindowsPath(argv[1]);
    g_artifactFolder = WindowsPath(argv[2]);
    return RUN_ALL_TESTS();
}
