#include "cli/tvpack.h"

#include "cli/commands.h"
#include "cli/console.h"
#include "cli/usage.h"

namespace {

int RunCommand(const std::vector<std::u16string>& arguments)
{
    Arguments parsed;
    std::u16string problem = ParseArguments(arguments, &parsed);
    if (!problem.empty()) {
        WriteText(Channel::Err, u"tvpack: " + problem + u"\nTry 'tvpack --help'.\n");
        return kExitUsage;
    }
    if (parsed.help) {
        WriteText(Channel::Out, kUsageText);
        return kExitSuccess;
    }
    if (parsed.version) {
        WriteText(Channel::Out, kVersionText);
        return kExitSuccess;
    }
    switch (parsed.command) {
    case Command::Pack:
        return RunPack(parsed);
    case Command::List:
        return RunList(parsed);
    case Command::Extract:
        return RunExtract(parsed);
    case Command::Verify:
        return RunVerify(parsed);
    case Command::Cat:
        return RunCat(parsed);
    case Command::Diff:
        return RunDiff(parsed);
    case Command::None:
        break;
    }
    return kExitUsage;
}

}  // namespace

int RunTvpack(const std::vector<std::u16string>& arguments)
{
    int status = RunCommand(arguments);
    if (OutputFailed() && status == kExitSuccess) {
        WriteText(Channel::Err, u"tvpack: standard output could not be written: " + OutputFailure() + u"\n");
        return kExitFailure;
    }
    return status;
}
