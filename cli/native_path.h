// Paths between tvpack's UTF-16 text and the system's file names, and the
// rules a file name read from an archive must meet on this system.
// Implemented per system in posix/native_path.cpp and windows/native_path.cpp.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/compound_file/io.h"

namespace fs = std::filesystem;

// A path as text (as an argument or a header component gives it) to a path
// the system opens, and back.
fs::path NativePath(const std::u16string& text);
std::u16string PathText(const fs::path& path);

// The path made absolute against the current directory, as the packer wants
// the mod file's path. Empty when the current directory can't be found.
std::u16string AbsolutePath(const std::u16string& path);

// What a path names: nothing, a file, a folder, something else (a device,
// a FIFO), or Unknown when the system can't say, with its reason in *reason.
// Links are followed unless `followLinks` is false. A file's size goes to
// *size when asked for.
enum class PathKind { None, File, Folder, Other, Unknown };
PathKind KindOf(const fs::path& path, bool followLinks = true, std::u16string* reason = nullptr,
                std::uint64_t* size = nullptr);

// Why a single path component from an archive can't be created as a file or
// folder name on this system (a character it can't hold, longer than the 255
// bytes or units a name can have); empty when it can. Separators, "." and
// ".." are checked before this.
std::u16string NameProblem(const std::u16string& component);

// A component as the file system compares names: the bytes it is stored as
// (POSIX, where different UTF-16 texts can give the same bytes), or upper
// case (Windows, whose file systems ignore case). Components with equal
// names on disk name the same file.
fs::path::string_type NameOnDisk(const std::u16string& component);

// Opens an archive for reading; null with *error set on failure.
std::unique_ptr<cfb::ReadSource> OpenArchiveSource(const fs::path& path, std::string* error);
