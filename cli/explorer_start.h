// tvpack.exe started from Explorer, by a double-click or with files dropped
// onto its icon, runs in a console of its own that closes the moment it
// ends. It then shows the usage, or packs the dropped mod files, and waits
// for Enter so that its words can be read. Started from a command prompt or
// a script it shares their console, and never waits.
#pragma once

#include <string>
#include <vector>

struct StartFacts {
    bool ownConsole = false;      // no other process is attached to the console
    bool inputIsConsole = false;  // standard input is that console, so Enter can be read
    std::vector<std::u16string> arguments;
    std::vector<bool> existingFiles;  // for each argument: a file (not a folder) exists there
};

enum class StartAction {
    Run,            // as the arguments say, and end
    RunThenWait,    // as the arguments say, then wait for Enter
    UsageThenWait,  // no arguments: the usage, then wait for Enter
    PackThenWait,   // every argument an existing *.tvx: pack them, then wait for Enter
};

StartAction DecideStartAction(const StartFacts& facts);

// Runs tvpack as DecideStartAction decided, waiting for Enter where it says
// so. The exit status.
int RunStarted(const StartFacts& facts);
