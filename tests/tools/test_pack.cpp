// Packs the mods named on the command line and prints the pane's transcript,
// for tests that look at archives and messages from outside the process.
//
//   test_pack [--answer yes|no|cancel] [--on-question COMMAND] MOD.tvx...
//
// The overwrite question is answered Yes unless --answer says otherwise.
// --on-question runs COMMAND through the shell when the question comes, that
// is after the count walk and before the archive is filled: a window in which
// tests change the tree. Exit 0 only when every mod was packed, 3 when the
// packer ended the batch as fatal.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "packer/output_log.h"
#include "packer/pack_mod.h"
#include "tests/support/output_recorder.h"
#include "tests/support/text.h"

namespace {

int g_answer = IDYES;
const char* g_onQuestion = nullptr;

int AnswerFromName(const char* name)
{
    if (std::strcmp(name, "no") == 0)
        return IDNO;
    if (std::strcmp(name, "cancel") == 0)
        return IDCANCEL;
    return IDYES;
}

// Called by the recorder's question: runs the hook, then answers.
int AnswerQuestion()
{
    if (g_onQuestion != nullptr && std::system(g_onQuestion) != 0)
        std::fprintf(stderr, "test_pack: question hook failed: %s\n", g_onQuestion);
    return g_answer;
}

}  // namespace

int main(int argc, char** argv)
{
    int failures = 0;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--answer") == 0 && i + 1 < argc) {
            g_answer = AnswerFromName(argv[++i]);
            continue;
        }
        if (std::strcmp(argv[i], "--on-question") == 0 && i + 1 < argc) {
            g_onQuestion = argv[++i];
            continue;
        }
        ResetOutput({}, AnswerQuestion);
        PackResult result = PackMod(T(argv[i]).c_str());
        std::string transcript = ToUtf8(OutputText());
        std::fputs(transcript.c_str(), stdout);
        std::fflush(stdout);
        if (result == PackResult::Fatal)
            return 3;
        if (result != PackResult::Done ||
            transcript.find("Successfully created mod archive") == std::string::npos)
            ++failures;
    }
    return failures == 0 ? 0 : 1;
}
