// The command line: one command, its options and its operands.
#pragma once

#include <string>
#include <vector>

enum class Command { None, Pack, List, Extract, Verify, Cat, Diff };

struct Arguments {
    Command command = Command::None;
    bool help = false;
    bool version = false;
    bool overwrite = false;  // pack
    bool skip = false;       // pack
    bool json = false;       // list, diff
    bool hash = false;       // list
    bool force = false;      // extract
    bool strict = false;     // verify
    std::vector<std::u16string> includes;  // list, extract: --include GLOB, in the order given
    std::vector<std::u16string> excludes;  // list, extract: --exclude GLOB
    std::vector<std::u16string> operands;
};

// Parses the arguments after the program name. Options may come before or
// after the command and its operands; "--" ends the options. Returns an empty
// string, or what is wrong (for a usage error).
std::u16string ParseArguments(const std::vector<std::u16string>& arguments, Arguments* parsed);
