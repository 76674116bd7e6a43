// The output log seam (packer/output_log.h) for tvpack. See console_output.h.
#include "cli/console_output.h"

#include <string>

#include "cli/console.h"
#include "cli/text.h"
#include "packer/output_log.h"

namespace {

struct ConsoleLog {
    OverwritePolicy policy = OverwritePolicy::Ask;
    bool terminal = false;
    bool terminalKnown = false;
    // The text of the current line: on a terminal already shown (kept for
    // its length when it is rewritten); otherwise not yet printed.
    std::u16string line;
    // Elsewhere a progress line is replaced once a file and printed at most
    // once: it is kept as given and converted only when it is printed.
    std::basic_string<WCHAR> replaced;
    bool replacedPending = false;
};

ConsoleLog& Log()
{
    static ConsoleLog log;
    if (!log.terminalKnown) {
        log.terminal = IsTerminal(Channel::Out);
        log.terminalKnown = true;
    }
    return log;
}

// The pane's text with "\n" line ends, escaped: the names it quotes come from
// the disk.
std::u16string WithLineFeeds(const WCHAR* text)
{
    std::u16string converted;
    for (std::size_t i = 0; text[i] != 0; ++i) {
        if (text[i] == u'\r' && text[i + 1] == u'\n')
            continue;
        converted += static_cast<char16_t>(text[i]);
    }
    return Escaped(converted, Keep::PaneText);
}

int ParseAnswer(std::string answer)
{
    while (!answer.empty() && (answer.back() == ' ' || answer.back() == '\t'))
        answer.pop_back();
    std::size_t start = answer.find_first_not_of(" \t");
    answer.erase(0, start == std::string::npos ? answer.size() : start);
    for (char& c : answer)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    if (answer == "y" || answer == "yes")
        return IDYES;
    if (answer == "n" || answer == "no")
        return IDNO;
    if (answer == "c" || answer == "cancel")
        return IDCANCEL;
    return 0;
}

// The current line, with a progress line kept as given converted.
std::u16string& CurrentLine(ConsoleLog& log)
{
    if (log.replacedPending) {
        log.line = WithLineFeeds(log.replaced.c_str());
        log.replacedPending = false;
    }
    return log.line;
}

}  // namespace

void SetOverwritePolicy(OverwritePolicy policy)
{
    Log().policy = policy;
}

void AppendOutput(const WCHAR* text)
{
    ConsoleLog& log = Log();
    std::u16string converted = WithLineFeeds(text);

    std::size_t lastBreak = converted.rfind(u'\n');
    if (log.terminal) {
        WriteText(Channel::Out, converted);
        if (lastBreak == std::u16string::npos)
            log.line += converted;
        else
            log.line = converted.substr(lastBreak + 1);
        return;
    }
    CurrentLine(log) += converted;
    lastBreak = log.line.rfind(u'\n');
    if (lastBreak != std::u16string::npos) {
        WriteText(Channel::Out, log.line.substr(0, lastBreak + 1));
        log.line.erase(0, lastBreak + 1);
    }
}

void ReplaceCurrentOutputLine(const WCHAR* text)
{
    ConsoleLog& log = Log();
    if (!log.terminal) {
        log.replaced.assign(text);
        log.replacedPending = true;
        return;
    }
    std::u16string converted = WithLineFeeds(text);
    RewriteTerminalLine(log.line.size(), converted);
    log.line = converted;
}

int AskOverwrite(const WCHAR* question)
{
    ConsoleLog& log = Log();
    if (log.policy == OverwritePolicy::Yes)
        return IDYES;
    if (log.policy == OverwritePolicy::No)
        return IDNO;

    // Input that is not a terminal gets a few chances, not endless ones.
    const int kChances = 5;
    std::u16string prompt = WithLineFeeds(question) + u" [y]es/[n]o/[c]ancel: ";
    for (int chance = 0; chance < kChances || InputIsTerminal(); ++chance) {
        WriteText(Channel::Err, prompt);
        std::string answer;
        if (!ReadInputLine(&answer)) {
            WriteText(Channel::Err, u"\n");
            break;
        }
        // A terminal echoes the answer; show one read from elsewhere too, so
        // the question and its answer read as one line.
        if (!InputIsTerminal())
            WriteText(Channel::Err, Printable(Widen(answer)) + u"\n");
        int result = ParseAnswer(answer);
        if (result != 0)
            return result;
        prompt = u"Please answer y, n or c: ";
    }
    return 0;
}

void FinishConsoleOutput()
{
    ConsoleLog& log = Log();
    if (CurrentLine(log).empty())
        return;
    WriteText(Channel::Out, log.terminal ? u"\n" : log.line + u"\n");
    log.line.clear();
}
