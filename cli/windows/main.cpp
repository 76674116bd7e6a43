// Windows entry: the UTF-16 command line, split as the system splits it, so
// that no argument passes through a code page; then the facts that tell a
// start from Explorer (see explorer_start.h).
#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "cli/console.h"
#include "cli/explorer_start.h"
#include "cli/tvpack.h"
#include "platform/compound_file/file_io.h"

namespace {

// Ctrl+C, Ctrl+Break, a closed console, a logoff or a shutdown ends tvpack at
// once, with the status Windows gives a program ended by Ctrl+C. Every file
// tvpack writes is marked for deletion until it is complete, so the system
// removes a half-written one as the process ends.
BOOL WINAPI EndOnConsoleEvent(DWORD)
{
    cfb::EndProcess(static_cast<unsigned>(STATUS_CONTROL_C_EXIT));
    return TRUE;
}

}  // namespace

int main()
{
    SetConsoleCtrlHandler(EndOnConsoleEvent, TRUE);
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
    if (argv == nullptr) {
        WriteText(Channel::Err, u"tvpack: cannot read the command line\n");
        return 1;
    }
    StartFacts facts;
    for (int i = 1; i < count; ++i) {
        const wchar_t* argument = argv[i];
        std::u16string text;
        for (std::size_t k = 0; argument[k] != 0; ++k)
            text += static_cast<char16_t>(argument[k]);
        facts.arguments.push_back(text);
        DWORD attributes = GetFileAttributesW(argument);
        facts.existingFiles.push_back(attributes != INVALID_FILE_ATTRIBUTES &&
                                      (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0);
    }
    LocalFree(argv);
    // A console that Explorer made for this process lists it alone.
    DWORD processes[2];
    facts.ownConsole = GetConsoleProcessList(processes, 2) == 1;
    facts.inputIsConsole = InputIsTerminal();
    return RunStarted(facts);
}
