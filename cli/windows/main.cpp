// Windows entry: the UTF-16 command line, split as the system splits it, so
// that no argument passes through a code page.
#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "cli/console.h"
#include "cli/tvpack.h"

int main()
{
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
    if (argv == nullptr) {
        WriteText(Channel::Err, u"tvpack: cannot read the command line\n");
        return 1;
    }
    std::vector<std::u16string> arguments;
    for (int i = 1; i < count; ++i) {
        const wchar_t* argument = argv[i];
        std::u16string text;
        for (std::size_t k = 0; argument[k] != 0; ++k)
            text += static_cast<char16_t>(argument[k]);
        arguments.push_back(text);
    }
    LocalFree(argv);
    return RunTvpack(arguments);
}
