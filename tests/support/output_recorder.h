// Stands in for the output pane in tests: keeps the text as the pane would
// show it, every call in order, and answers the overwrite question from a
// script.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

using Text = std::basic_string<WCHAR>;

struct OutputEvent {
    enum Kind { Append, ReplaceLine, Question };
    Kind kind;
    Text text;
};

// Answers a question once the scripted answers are used up.
using AnswerFunction = int (*)();

// Clears the pane and queues the answers the next questions get; a question
// with no answer left goes to `fallback`, or gets 0 (as a message box that
// could not be shown) when there is none.
void ResetOutput(const std::vector<int>& answers = {}, AnswerFunction fallback = nullptr);

// The pane's text: appends at the end, a line replacement rewrites from the
// start of the last line.
const Text& OutputText();
const std::vector<OutputEvent>& OutputEvents();
