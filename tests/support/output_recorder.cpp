#include "tests/support/output_recorder.h"

#include <deque>

#include "packer/output_log.h"

namespace {

Text g_paneText;
std::vector<OutputEvent> g_events;
std::deque<int> g_answers;
AnswerFunction g_fallback = nullptr;

}  // namespace

void ResetOutput(const std::vector<int>& answers, AnswerFunction fallback)
{
    g_fallback = fallback;
    g_paneText.clear();
    g_events.clear();
    g_answers.assign(answers.begin(), answers.end());
}

const Text& OutputText()
{
    return g_paneText;
}

const std::vector<OutputEvent>& OutputEvents()
{
    return g_events;
}

void AppendOutput(const WCHAR* text)
{
    g_events.push_back({OutputEvent::Append, text});
    g_paneText += text;
}

void ReplaceCurrentOutputLine(const WCHAR* text)
{
    g_events.push_back({OutputEvent::ReplaceLine, text});
    Text::size_type lineBreak = g_paneText.rfind(static_cast<WCHAR>('\n'));
    g_paneText.erase(lineBreak == Text::npos ? 0 : lineBreak + 1);
    g_paneText += text;
}

int AskOverwrite(const WCHAR* question)
{
    g_events.push_back({OutputEvent::Question, question});
    if (g_answers.empty())
        return g_fallback != nullptr ? g_fallback() : 0;
    int answer = g_answers.front();
    g_answers.pop_front();
    return answer;
}
