// Packs one mod file and the mod directory beside it into one mod archive.
#pragma once

#include "packer/pack_result.h"
#include "platform/platform.h"

// modFilePath: the mod file's full path. Every step and failure is reported
// through the output log; the working directory is set back before Done or
// Cancelled is returned.
PackResult PackMod(const WCHAR* modFilePath);
