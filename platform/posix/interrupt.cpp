#include "platform/posix/interrupt.h"

#include <fcntl.h>
#include <limits.h>
#include <string.h>
#include <unistd.h>
#include "platform/posix/syscalls.h"

namespace {

// Every signal whose default action ends the process and that a program can
// catch, bar those that report a fault of its own (SIGSEGV and the like).
constexpr int kInterrupts[] = {SIGINT,  SIGTERM, SIGHUP,    SIGQUIT, SIGPIPE, SIGALRM,
                               SIGUSR1, SIGUSR2, SIGVTALRM, SIGPROF, SIGXCPU, SIGIO};

// What the handler removes. Changed only while the interrupts are held back,
// so the handler never sees a registration half made.
int g_directory = AT_FDCWD;
char g_name[PATH_MAX];
volatile sig_atomic_t g_registered = 0;

sigset_t Interrupts()
{
    sigset_t set;
    sigemptyset(&set);
    for (int number : kInterrupts)
        sigaddset(&set, number);
    return set;
}

void RemoveAndStop(int number)
{
    if (g_registered != 0)
        sys::unlinkat(g_directory, g_name, 0);
    // End by the same signal, now with its default action, so that whoever
    // waits for the process learns how it ended.
    struct sigaction standard = {};
    standard.sa_handler = SIG_DFL;
    sigemptyset(&standard.sa_mask);
    sigaction(number, &standard, nullptr);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, number);
    sigprocmask(SIG_UNBLOCK, &only, nullptr);
    raise(number);
    _exit(128 + number);
}

}  // namespace

void InstallInterruptHandlers()
{
    struct sigaction action = {};
    action.sa_handler = RemoveAndStop;
    action.sa_mask = Interrupts();  // a second signal waits until the file is gone
    for (int number : kInterrupts) {
        struct sigaction current;
        if (sigaction(number, nullptr, &current) == 0 && current.sa_handler != SIG_IGN)
            sigaction(number, &action, nullptr);
    }
    struct sigaction ignore = {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGXFSZ, &ignore, nullptr);
}

void RemoveOnInterrupt(int directory, const char* name)
{
    InterruptsHeld held;
    size_t length = strlen(name);
    // A name the system accepted for a file always fits.
    if (length >= sizeof g_name) {
        g_registered = 0;
        return;
    }
    memcpy(g_name, name, length + 1);
    g_directory = directory;
    g_registered = 1;
}

void KeepOnInterrupt()
{
    InterruptsHeld held;
    g_registered = 0;
}

InterruptsHeld::InterruptsHeld()
{
    sigset_t interrupts = Interrupts();
    sigprocmask(SIG_BLOCK, &interrupts, &saved_);
}

InterruptsHeld::~InterruptsHeld()
{
    sigprocmask(SIG_SETMASK, &saved_, nullptr);
}
