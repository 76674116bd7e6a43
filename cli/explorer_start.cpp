#include "cli/explorer_start.h"

#include "cli/commands.h"
#include "cli/console.h"
#include "cli/tvpack.h"
#include "cli/usage.h"
#include "platform/posix/upcase_table.h"

namespace {

bool IsModFileName(const std::u16string& argument)
{
    std::u16string upper = UpcaseText(argument);
    return upper.size() > 4 && upper.compare(upper.size() - 4, 4, u".TVX") == 0;
}

}  // namespace

StartAction DecideStartAction(const StartFacts& facts)
{
    if (!facts.ownConsole || !facts.inputIsConsole)
        return StartAction::Run;
    if (facts.arguments.empty())
        return StartAction::UsageThenWait;
    for (std::size_t i = 0; i < facts.arguments.size(); ++i)
        if (!IsModFileName(facts.arguments[i]) || i >= facts.existingFiles.size() || !facts.existingFiles[i])
            return StartAction::RunThenWait;
    return StartAction::PackThenWait;
}

int RunStarted(const StartFacts& facts)
{
    StartAction action = DecideStartAction(facts);
    int status = kExitSuccess;
    if (action == StartAction::UsageThenWait) {
        WriteText(Channel::Out, kUsageText);
    } else if (action == StartAction::PackThenWait) {
        std::vector<std::u16string> arguments{u"pack", u"--"};
        arguments.insert(arguments.end(), facts.arguments.begin(), facts.arguments.end());
        status = RunTvpack(arguments);
    } else {
        status = RunTvpack(facts.arguments);
    }
    if (action != StartAction::Run) {
        WriteText(Channel::Out, u"\nPress Enter to close this window.");
        std::string line;
        ReadInputLine(&line);
    }
    return status;
}
