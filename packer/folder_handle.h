// Folders held open while a run writes into them. Each folder below the
// one the user named is reached from the handle of the folder above it,
// one name at a time, and is refused when that name is a link; files are
// created, renamed and removed relative to the handle of their folder.
// Someone who swaps a folder for a link while a run goes on thus cannot
// lead it anywhere else: what the run holds is the folder it checked, not
// a path that is looked up again. Linux: descriptors and the *at calls;
// Windows: handles and names relative to them (folder_handle_*.cpp).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "file_system.h"

namespace packer {

class FolderHandle;
// Shared by everything that still needs the folder: the entries staged in
// it and the steps of the run's journal. The handle closes with the last.
using Folder = std::shared_ptr<const FolderHandle>;

// What stands under a name that should be a folder.
enum class FolderLookup {
    kOpened,
    kMissing,
    kLink,       // a symbolic link, a junction or another name surrogate
    kNotFolder,  // a file, a device ... anything but a folder
};

class FolderHandle {
  public:
    ~FolderHandle();
    FolderHandle(const FolderHandle&) = delete;
    FolderHandle& operator=(const FolderHandle&) = delete;

    // The path the folder was reached by, for messages only.
    const fs::path& path() const { return path_; }
    fs::path pathOf(const std::string& name) const { return path_ / PathFromUtf8(name); }
    const FileIdentity& identity() const { return identity_; }
    // The descriptor (Linux) or HANDLE (Windows), for the file layer.
    std::intptr_t native() const { return handle_; }

    // The folder `name` (one UTF-8 name, no separators) in this one. A link
    // is never followed: the handle opened is checked, not only the name.
    // Throws PackerError when a folder there cannot be opened.
    FolderLookup openFolder(const std::string& name, Folder& folder) const;
    // Makes the folder `name` and opens it; false, and nothing made, when
    // the name is taken. Throws PackerError for other failures.
    bool makeFolder(const std::string& name, Folder& folder) const;
    // True while `name` is still the folder `folder` itself: not a link,
    // not another folder put in its place since.
    bool holds(const std::string& name, const FolderHandle& folder) const;

    // The kind of `name` itself, a link at it not followed; *identity is
    // set for a file.
    FileKind kindOf(const std::string& name, FileIdentity* identity = nullptr) const;
    // Renames within this folder unless `to` is taken: false then, and
    // nothing changes. Throws PackerError for other failures.
    bool renameNoReplace(const std::string& from, const std::string& to) const;
    // Removes a file (a link itself, never what it leads to), or an empty
    // folder; false when that fails, LastSystemError() saying why.
    bool removeFile(const std::string& name) const;
    bool removeFolder(const std::string& name) const;
    // Sets the folder's own last-write time. Throws PackerError.
    void setDosTime(DosTime time) const;

    // A hidden name beside `name` that nothing in this folder has yet, as
    // HiddenNameCandidate makes them.
    std::string hiddenNameFor(const std::string& name, const std::string& suffix) const;

  private:
    friend Folder OpenFolderAt(const fs::path& path);
    FolderHandle(std::intptr_t handle, fs::path path);

    std::intptr_t handle_;
    fs::path path_;
    FileIdentity identity_;
};

// The folder at path. A link there is followed: the user named it.
// Throws PackerError.
Folder OpenFolderAt(const fs::path& path);

// A file by its folder and its name there.
struct FileInFolder {
    Folder folder;
    std::string name;
};

// Waits until the files, their names included, are on the disk: on Linux
// one wait for each file system that holds their folders, however many
// files; on Windows each file is flushed. Throws PackerError.
void SyncFiles(const std::vector<FileInFolder>& files);

}  // namespace packer
