// The line tvpack adds after the pane's texts when a packing step failed:
// the file or folder on disk and why.
#pragma once

#include <string>

#include "packer/mod_outcome.h"

// `modFile`: the mod file as given on the command line; the packer's paths
// are relative to its folder. Empty when no step failed.
std::u16string FailureLine(const std::u16string& modFile, const FailedStep& step);
