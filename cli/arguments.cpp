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
    {u"cat", Command::Cat},
    {u"diff", Command::Diff},
};

struct OptionName {
    const char16_t* name;
    bool Arguments::*flag;                          // a switch, or
    std::vector<std::u16string> Arguments::*values; // an option that takes a value
    Command onlyFor;                                // None: any command
    Command orFor;                                  // a second command it applies to
};

const OptionName kOptions[] = {
    {u"--help", &Arguments::help, nullptr, Command::None, Command::None},
    {u"-h", &Arguments::help, nullptr, Command::None, Command::None},
    {u"--version", &Arguments::version, nullptr, Command::None, Command::None},
    {u"--overwrite", &Arguments::overwrite, nullptr, Command::Pack, Command::Pack},
    {u"--skip", &Arguments::skip, nullptr, Command::Pack, Command::Pack},
    {u"--json", &Arguments::json, nullptr, Command::List, Command::Diff},
    {u"--hash", &Arguments::hash, nullptr, Command::List, Command::List},
    {u"--force", &Arguments::force, nullptr, Command::Extract, Command::Extract},
    {u"--strict", &Arguments::strict, nullptr, Command::Verify, Command::Verify},
    {u"--include", nullptr, &Arguments::includes, Command::List, Command::Extract},
    {u"--exclude", nullptr, &Arguments::excludes, Command::List, Command::Extract},
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
    case Command::Cat:
        return {2, static_cast<std::size_t>(-1), u"cat needs an archive and at least one path"};
    case Command::Diff:
        return {2, 2, u"diff needs two archives or mod files"};
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
    for (std::size_t index = 0; index < arguments.size(); ++index) {
        const std::u16string& argument = arguments[index];
        bool looksLikeOption = !optionsEnded && argument.size() > 1 && argument[0] == u'-';
        if (looksLikeOption && argument == u"--") {
            optionsEnded = true;
            continue;
        }
        if (looksLikeOption) {
            // A value comes as the next argument or after "=".
            std::size_t equals = argument.find(u'=');
            std::u16string name = argument.substr(0, equals);
            const OptionName* match = nullptr;
            for (const OptionName& option : kOptions)
                if (name == option.name)
                    match = &option;
            if (match == nullptr || (match->flag != nullptr && equals != std::u16string::npos))
                return u"unknown option " + Quoted(argument);
            if (match->values != nullptr) {
                if (equals == std::u16string::npos && index + 1 == arguments.size())
                    return u"option " + name + u" needs a pattern";
                (parsed->*(match->values))
                    .push_back(equals == std::u16string::npos ? arguments[++index] : argument.substr(equals + 1));
            } else {
                parsed->*(match->flag) = true;
            }
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
        if (option->onlyFor != Command::None && option->onlyFor != parsed->command &&
            option->orFor != parsed->command)
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
