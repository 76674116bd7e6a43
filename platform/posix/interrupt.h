// Removing the file being written when the process is told to stop.
//
// InstallInterruptHandlers() makes SIGINT, SIGTERM, SIGHUP and every other
// signal that ends a process by default (SIGQUIT, SIGPIPE, SIGALRM, SIGUSR1,
// ...) remove the file registered with RemoveOnInterrupt() and then end the
// process by the same signal, so a shell reports 128 plus its number (130,
// 143, 129). A signal
// the process was started with ignored stays ignored. SIGXFSZ is ignored: a
// write past the file size limit then fails with EFBIG, as on a full disk,
// and takes the ordinary failure path instead of killing the process.
//
// The handler does nothing but unlinkat() and end the process, so it is safe
// whatever the process was doing when the signal came.
#pragma once

#include <signal.h>

void InstallInterruptHandlers();

// Registers the file to remove when interrupted: `name` relative to the
// directory descriptor `directory` (or AT_FDCWD, the working directory at the
// time of the signal). The caller keeps the descriptor open, and the working
// directory unchanged, until it clears the registration. One file at a time:
// a registration replaces the one before.
void RemoveOnInterrupt(int directory, const char* name);

// Clears the registration: the file is complete, or already gone.
void KeepOnInterrupt();

// Holds the interrupting signals back while it lives, so that creating a file
// and registering it are one step: a signal between the two is handled only
// once the file is registered.
class InterruptsHeld {
public:
    InterruptsHeld();
    ~InterruptsHeld();
    InterruptsHeld(const InterruptsHeld&) = delete;
    InterruptsHeld& operator=(const InterruptsHeld&) = delete;

private:
    sigset_t saved_;
};
