// Faults in the native system calls (platform/posix/syscalls.h): from Arm()
// on, every call through the table is counted, and the nth one of those the
// mode applies to fails (Error: with an errno that call really returns),
// is interrupted (EINTR, before anything happened) or moves half its bytes
// (Short, reads and writes only).
#pragma once

#include <string>

enum class FaultMode { Error, Interrupt, Short };

struct FaultedCall {
    const char* call = nullptr;  // its name; null when no call was faulted
    int error = 0;               // the errno it returned (Error)
    std::string target;          // the file it was about, when known
};

// Counts the calls of `mode` and faults the nth (1-based; 0 faults none).
void ArmFaults(FaultMode mode, unsigned long nth);
// Puts the system's calls back; returns how many calls `mode` applied to.
unsigned long DisarmFaults();
const FaultedCall& LastFault();
const char* FaultModeName(FaultMode mode);
