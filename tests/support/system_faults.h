// Faults in the system's file calls, through the native system-call table or
// (on Windows) the program's imports: from ArmFaults() on, every call is
// counted, and the nth one the mode applies to (or every one) fails (Error:
// with an error that call really returns, or the plan's), is interrupted
// (EINTR, before anything happened) or moves half its bytes (Short, reads and writes only).
#pragma once

#include <string>

enum class FaultMode { Error, Interrupt, Short };

struct FaultedCall {
    const char* call = nullptr;  // its name; null when no call was faulted
    int error = 0;               // the errno it returned (Error)
    std::string target;          // the file it was about, when known
};

// What the faults are made on.
struct FaultPlan {
    FaultMode mode = FaultMode::Error;
    unsigned long nth = 0;        // the call to fault, from 1; 0: none
    const char* only = nullptr;   // count and fault only the calls of this name
    bool every = false;           // fault every call counted, not only the nth
    int error = 0;                // the errno of an Error, instead of the call's own
    bool unnamedFiles = true;     // false: open(O_TMPFILE) is refused, as on a file system without
};

void ArmFaults(const FaultPlan& plan);
// Puts the system's calls back; returns how many calls `mode` applied to.
unsigned long DisarmFaults();
const FaultedCall& LastFault();
const char* FaultModeName(FaultMode mode);
