// Adds one file to an open mod archive as one numbered stream: a 1024-byte
// UTF-16LE name header, then the file's bytes unchanged.
#pragma once

#include "platform/platform.h"

// path: the file, relative to the current directory, also recorded in the
// header. Returns 0 when the stream is complete (g_fileNumber then advances),
// -1 after reporting the failure (a file that cannot be opened reports nothing).
int AddFileStream(const WCHAR* path, IStorage* storage);
