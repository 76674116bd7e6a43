// POSIX entry: arguments are bytes, read as the platform layer reads names.
#include <string>
#include <vector>

#include "cli/tvpack.h"
#include "platform/posix/text.h"

int main(int argc, char** argv)
{
    std::vector<std::u16string> arguments;
    for (int i = 1; i < argc; ++i)
        arguments.push_back(FromNativeName(argv[i]));
    return RunTvpack(arguments);
}
