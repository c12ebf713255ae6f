// SPDX-License-Identifier: Apache-2.0
#pragma once
// A file written beside its final name and renamed into place once complete: created with
// O_EXCL | O_NOFOLLOW (so nothing that was there is ever opened), synced to the disk before
// the rename, so the name never shows a half-written file and a power cut leaves the old
// file or the whole new one.

#include <sys/types.h>

#include <string>

#include "base/Descriptor.h"

// Told where a temporary file lies while it is written, so that a front end can remove it
// when a signal ends the process (which needs process-wide state the core keeps none of).
// Hold() comes right before the file is created, Watch() right after (directory -1 when
// creating failed) and Forget() once the file was renamed into place or removed. This one
// does nothing.
class TemporaryOutputGuard {
public:
    virtual ~TemporaryOutputGuard() = default;
    virtual void Hold() {}
    virtual void Watch(int directory, const std::string& name) { (void)directory, (void)name; }
    virtual void Forget() {}
};

// Creates a temporary file for outputName beside it in directory, with O_EXCL | O_NOFOLLOW,
// and sets name to its name: a descriptor, or -1 with errno set. mode as the umask allows
// (a program by default).
int CreateTemporary(int directory, const std::string& outputName, std::string& name, mode_t mode = 0755);

// The temporary file of one output. Removed when it goes out of scope without Commit().
class TemporaryFile {
public:
    // Creates it in directory (not owned) for name; guard (not owned, may be null) is told.
    // Valid() says whether that worked, with errno set when not.
    TemporaryFile(int directory, const std::string& name, mode_t mode, TemporaryOutputGuard* guard);
    ~TemporaryFile() { Discard(); }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    bool Valid() const { return File_.Valid(); }
    int Get() const { return File_.Get(); }
    const std::string& Name() const { return TemporaryName_; }

    // Syncs, closes and renames into place, then syncs the directory. False with errno kept
    // (EIO when a call set none) and the file removed when a step failed.
    bool Commit();
    // Removes the file, when it is still there (errno kept).
    void Discard();

private:
    int Directory_;
    std::string Name_, TemporaryName_;
    TemporaryOutputGuard NoGuard_;
    TemporaryOutputGuard& Guard_;
    Descriptor File_;
    bool Pending_ = false;
};
