// Packs the mods named on the command line in process, for tests that look
// at archives and messages from outside:
//
//   test_pack [--answer yes|no|cancel|none]... [--lock FILE] [--on-question COMMAND] MOD.tvx...
//
// Standard output gets the pane's final text; standard error one line
// "progress: TEXT" per call that replaced the progress line. The overwrite
// questions take the answers in turn (Yes once they are used up; "none" is
// a box that could not be shown). --lock holds FILE open without sharing
// until the program ends. --on-question runs COMMAND through the shell when a question
// comes, between the two walks: a window in which tests change the tree.
// Cancel skips the rest, as in a batch of the window program.
// Exit status: 0 when every mod was packed, 1 when one was not, 3 when the
// packer ended the batch as fatal, 4 when it left the working directory
// changed.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "packer/output_log.h"
#include "packer/pack_mod.h"
#include "tests/support/text.h"

namespace {

Text g_pane;  // the text the pane would show
std::deque<int> g_answers;
const char* g_onQuestion = nullptr;

Text CurrentDirectory()
{
    WCHAR buffer[4096];
    DWORD length = GetCurrentDirectoryW(4096, buffer);
    return Text(buffer, length < 4096 ? length : 0);
}

}  // namespace

void AppendOutput(const WCHAR* text)
{
    g_pane += text;
}

void ReplaceCurrentOutputLine(const WCHAR* text)
{
    std::fprintf(stderr, "progress: %s\n", ToUtf8(text).c_str());
    g_pane.erase(g_pane.rfind(static_cast<WCHAR>('\n')) + 1) += text;  // npos + 1: the whole text is one line
}

int AskOverwrite(const WCHAR*)
{
    if (g_onQuestion != nullptr && std::system(g_onQuestion) != 0)
        std::fprintf(stderr, "test_pack: question hook failed: %s\n", g_onQuestion);
    int answer = g_answers.empty() ? IDYES : g_answers.front();
    if (!g_answers.empty())
        g_answers.pop_front();
    return answer;
}

int main(int argc, char** argv)
{
#ifdef _WIN32
    // The pane's own line ends, not the C library's translation of them.
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    int failures = 0;
    for (int i = 1; i < argc; ++i) {
        if (i + 1 < argc && std::strcmp(argv[i], "--answer") == 0) {
            const std::string name = argv[++i];
            g_answers.push_back(name == "yes" ? IDYES : name == "no" ? IDNO : name == "cancel" ? IDCANCEL : 0);
        } else if (i + 1 < argc && std::strcmp(argv[i], "--on-question") == 0) {
            g_onQuestion = argv[++i];
        } else if (i + 1 < argc && std::strcmp(argv[i], "--lock") == 0) {
            const HANDLE lock = CreateFileW(T(argv[++i]).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                            FILE_ATTRIBUTE_NORMAL, nullptr);
            if (lock == INVALID_HANDLE_VALUE)
                return std::fprintf(stderr, "test_pack: can't lock %s\n", argv[i]), 2;
        } else {
            Text before = CurrentDirectory();
            g_pane.clear();
            PackResult result = PackMod(T(argv[i]).c_str());
            std::string transcript = ToUtf8(g_pane);
            std::fputs(transcript.c_str(), stdout);
            std::fflush(stdout);
            if (result == PackResult::Fatal)
                return 3;
            if (CurrentDirectory() != before)
                return std::fprintf(stderr, "test_pack: the working directory was left changed\n"), 4;
            if (result == PackResult::Cancelled)
                return 1;  // the rest of the batch is skipped
            if (result != PackResult::Done || transcript.find("Successfully created") == std::string::npos)
                ++failures;
        }
    }
    return failures == 0 ? 0 : 1;
}
