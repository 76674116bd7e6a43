// tvpack's entry, shared by the systems' main functions: parses the arguments
// (UTF-16, without the program name) and runs the command.
#pragma once

#include <string>
#include <vector>

int RunTvpack(const std::vector<std::u16string>& arguments);
