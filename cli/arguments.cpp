#include "cli/arguments.h"

#include "cli/text.h"

namespace {

struct CommandName {
    const char16_t* name;
    Command command;
};

constexpr CommandName kCommands[] = {
    {u"pack", Command::Pack},
    {u"list", Command::List},
    {u"extract", Command::Extract},
    {u"verify", Command::Verify},
};

struct OptionName {
    const char16_t* name;
    bool Arguments::*flag;
    Command onlyFor;  // None: any command
};

const OptionName kOptions[] = {
    {u"--help", &Arguments::help, Command::None},
    {u"-h", &Arguments::help, Command::None},
    {u"--version", &Arguments::version, Command::None},
    {u"--overwrite", &Arguments::overwrite, Command::Pack},
    {u"--skip", &Arguments::skip, Command::Pack},
    {u"--json", &Arguments::json, Command::List},
    {u"--force", &Arguments::force, Command::Extract},
    {u"--strict", &Arguments::strict, Command::Verify},
};

const char16_t* CommandText(Command command)
{
    for (const CommandName& entry : kCommands)
        if (entry.command == command)
            return entry.name;
    return u"";
}

// Operand counts each command takes.
struct OperandRange {
    std::size_t least;
    std::size_t most;
    const char16_t* missing;
};

OperandRange Operands(Command command)
{
    switch (command) {
    case Command::Pack:
        return {1, static_cast<std::size_t>(-1), u"pack needs at least one mod file"};
    case Command::List:
        return {1, 1, u"list needs one archive"};
    case Command::Extract:
        return {1, 2, u"extract needs an archive and at most one folder"};
    case Command::Verify:
        return {1, 1, u"verify needs one archive"};
    case Command::None:
        break;
    }
    return {0, 0, u""};
}

}  // namespace

std::u16string ParseArguments(const std::vector<std::u16string>& arguments, Arguments* parsed)
{
    *parsed = Arguments();
    std::vector<const OptionName*> given;
    bool optionsEnded = false;
    bool haveCommand = false;
    for (const std::u16string& argument : arguments) {
        bool looksLikeOption = !optionsEnded && argument.size() > 1 && argument[0] == u'-';
        if (looksLikeOption && argument == u"--") {
            optionsEnded = true;
            continue;
        }
        if (looksLikeOption) {
            const OptionName* match = nullptr;
            for (const OptionName& option : kOptions)
                if (argument == option.name)
                    match = &option;
            if (match == nullptr)
                return u"unknown option " + Quoted(argument);
            parsed->*(match->flag) = true;
            given.push_back(match);
            continue;
        }
        if (!haveCommand) {
            haveCommand = true;
            for (const CommandName& entry : kCommands)
                if (argument == entry.name)
                    parsed->command = entry.command;
            if (parsed->command == Command::None)
                return u"unknown command " + Quoted(argument);
            continue;
        }
        parsed->operands.push_back(argument);
    }

    if (parsed->help || parsed->version)
        return std::u16string();
    if (parsed->command == Command::None)
        return u"no command given";
    for (const OptionName* option : given) {
        if (option->onlyFor != Command::None && option->onlyFor != parsed->command)
            return std::u16string(u"option ") + option->name + u" does not apply to " +
                   CommandText(parsed->command);
    }
    if (parsed->overwrite && parsed->skip)
        return u"--overwrite and --skip exclude each other";
    OperandRange range = Operands(parsed->command);
    if (parsed->operands.size() < range.least)
        return range.missing;
    if (parsed->operands.size() > range.most)
        return u"too many arguments for " + std::u16string(CommandText(parsed->command));
    return std::u16string();
}
