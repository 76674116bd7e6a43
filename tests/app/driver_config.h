// Where the window tests find the program under test and put their artifacts.
#pragma once

#include <string>

// Full Windows path of TolvanePacker.exe.
const std::wstring& AppPath();

// Folder for screenshots and other artifacts of the run.
const std::wstring& ArtifactFolder();
