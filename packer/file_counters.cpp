#include "packer/file_counters.h"

std::uint32_t g_fileNumber = 0;
std::uint32_t g_fileTotal = 0;
