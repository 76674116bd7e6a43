// The four commands. Each returns the process's exit status: 0 when all that
// was asked succeeded, 1 otherwise (usage errors are caught before).
#pragma once

#include "cli/arguments.h"

// The exit statuses.
constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

int RunPack(const Arguments& arguments);
int RunList(const Arguments& arguments);
int RunExtract(const Arguments& arguments);
int RunVerify(const Arguments& arguments);
