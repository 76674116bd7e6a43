// The commands. Each returns the process's exit status: 0 when all that was
// asked succeeded, 1 otherwise (usage errors are caught before); diff also
// kExitUnreadable.
#pragma once

#include "cli/arguments.h"

// The exit statuses.
constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr int kExitUnreadable = 3;  // diff: either side can't be read

int RunPack(const Arguments& arguments);
int RunList(const Arguments& arguments);
int RunExtract(const Arguments& arguments);
int RunVerify(const Arguments& arguments);
int RunCat(const Arguments& arguments);
int RunDiff(const Arguments& arguments);
