#include "packer/report.h"

#include "packer/constants.h"
#include "packer/output_log.h"

void Report(const WCHAR* format, const WCHAR* name)
{
    WCHAR message[kMessageChars];
    _snwprintf_s(message, kMessageChars, kMessageChars - 1, format, name);
    AppendOutput(message);
}
