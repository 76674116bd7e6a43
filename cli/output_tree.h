// The folder extract writes into, and the files it writes below it.
//
// The folder is opened once. Every name below it is looked up from the folder
// above it, held open, never by resolving a path string again: on POSIX each
// component is opened relative to a descriptor of the one before, refusing
// links; on Windows each folder on the way is held open without delete
// sharing, so it can't be renamed or replaced by a link while in use. A
// folder swapped for a link meanwhile therefore can't send a file elsewhere.
//
// A file is written under a new temporary name in its folder and renamed to
// its own name only when complete, so an existing file is replaced, never
// written into (a hard link to a file outside stays as it was), and a failed
// write leaves nothing behind. Implemented per system in
// posix/output_tree.cpp and windows/output_tree.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <system_error>
#include <vector>

#include "cli/native_path.h"
#include "cli/text.h"

// What a name below the folder stands for.
enum class OnDisk { Missing, File, Folder, Link, Other };

// The file system's own identity of a file: volume serial number and file
// index on Windows, device and inode on POSIX. Two names with one identity
// are one file, whatever their spelling (a short name, a folder that ignores
// case, a hard link).
struct FileIdentity {
    std::uint64_t volume = 0;
    std::uint64_t index = 0;

    bool operator<(const FileIdentity& other) const
    {
        return volume != other.volume ? volume < other.volume : index < other.index;
    }
};

class OutputTree {
public:
    OutputTree() = default;
    ~OutputTree();
    OutputTree(const OutputTree&) = delete;
    OutputTree& operator=(const OutputTree&) = delete;

    // Opens the folder `root`; with `create`, makes it and its missing parents
    // first. A missing folder without `create` is no failure: every look
    // below it finds nothing. Empty on success, else the reason.
    std::u16string Open(const fs::path& root, bool create)
    {
        root_ = root;
        if (create) {
            std::error_code error;
            fs::create_directories(root, error);
            if (error)
                return u"can't be created: " + Widen(error.message());
        }
        return OpenRoot(create);
    }

    // What stands at each leading part of `components` below the folder,
    // without following links: one kind per component up to the first that
    // is not a folder. Empty on success, else why a name could not be looked
    // at (the kinds found until then are kept).
    std::u16string Look(const std::vector<std::u16string>& components, std::vector<OnDisk>* kinds) const;

    // The identity of what stands at `components` below the folder, links
    // not followed; false when nothing does or it can't be looked at.
    bool IdentityOf(const std::vector<std::u16string>& components, FileIdentity* identity) const;

    // Whether the folder exists (and is open).
    bool Exists() const { return handle_ != -1; }

    // The path of the first `count` components, for messages.
    fs::path PathOf(const std::vector<std::u16string>& components, std::size_t count) const
    {
        fs::path path = root_;
        for (std::size_t i = 0; i < count; ++i)
            path /= NativePath(components[i]);
        return path;
    }

private:
    friend class OutputFile;
    // Opens root_, held as described above; per system. `create` tells
    // whether a missing folder is a failure.
    std::u16string OpenRoot(bool create);

    fs::path root_;
    std::intptr_t handle_ = -1;  // the folder, when it exists
};

// One file being written below an OutputTree.
class OutputFile {
public:
    OutputFile() = default;
    ~OutputFile();  // discards the file unless committed
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Makes the folders on the way to the file that `components` names
    // (refusing a link or a file where a folder goes) and creates a new
    // temporary file in the last. Empty on success, else a message about the
    // file ("can't be created: …", or what is wrong with a folder).
    std::u16string Create(const OutputTree& tree, const std::vector<std::u16string>& components);

    // Empty on success, else the system's reason.
    std::u16string Write(const std::uint8_t* data, std::size_t size);

    // The identity of the file being written; false when it can't be had.
    bool Identity(FileIdentity* identity) const;

    // Closes the file and gives it its name. With `replace` a file of that
    // name is replaced; without, one that exists fails the commit. Empty on
    // success, else a message about the file; the temporary file is then
    // removed.
    std::u16string Commit(bool replace);

    // Closes and removes the temporary file.
    void Discard();

private:
    // Why the complete file could not take its name.
    std::u16string NamingFailed(bool exists, const std::u16string& reason) const
    {
        if (exists)
            return u"exists; use --force to overwrite it";
        return u"can't be given its name " + Quoted(PathText(path_)) + u": " + reason;
    }

    std::vector<std::intptr_t> folders_;  // handles of the folders on the way, innermost last
    std::intptr_t file_ = -1;
    fs::path::string_type temporary_;  // the temporary file's name in the innermost folder
    fs::path::string_type name_;       // the name it gets when complete
    fs::path path_;                    // the final path, for messages
};
