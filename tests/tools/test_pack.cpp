// Packs the mods named on the command line, answering Yes to the overwrite
// question, and prints the pane's transcript. Used to produce archives for the
// independent readers. Exit 0 only when every mod was packed.
#include <cstdio>
#include <string>

#include "packer/pack_mod.h"
#include "tests/support/output_recorder.h"
#include "tests/support/text.h"

int main(int argc, char** argv)
{
    int failures = 0;
    for (int i = 1; i < argc; ++i) {
        ResetOutput({IDYES});
        PackResult result = PackMod(T(argv[i]).c_str());
        std::string transcript = ToUtf8(OutputText());
        std::fputs(transcript.c_str(), stdout);
        if (result != PackResult::Done ||
            transcript.find("Successfully created mod archive") == std::string::npos)
            ++failures;
    }
    return failures == 0 ? 0 : 1;
}
