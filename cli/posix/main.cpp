// POSIX entry: arguments are bytes, read as the platform layer reads names.
#include <malloc.h>

#include <string>
#include <vector>

#include "cli/tvpack.h"
#include "platform/posix/interrupt.h"
#include "platform/posix/text.h"

int main(int argc, char** argv)
{
    // Packing holds each file whole in one new block. Blocks of that size
    // would each be mapped fresh and fault in page by page; taken from the
    // heap and kept there, the next file reuses the pages of the last one.
    // The heap then holds at most the largest file.
    mallopt(M_MMAP_THRESHOLD, 1 << 30);
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
    // An interrupted tvpack leaves no half-written archive behind.
    InstallInterruptHandlers();
    std::vector<std::u16string> arguments;
    for (int i = 1; i < argc; ++i)
        arguments.push_back(FromNativeName(argv[i]));
    return RunTvpack(arguments);
}
