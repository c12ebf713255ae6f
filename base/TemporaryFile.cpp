// SPDX-License-Identifier: Apache-2.0
#include "base/TemporaryFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>

// A name for the temporary output beside the final one, not yet taken: a name that exists
// already only costs another attempt, since O_EXCL never opens it.
int CreateTemporary(int directory, const std::string& outputName, std::string& name, mode_t mode) {
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        const auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
        char suffix[48];
        std::snprintf(suffix, sizeof suffix, ".part-%d-%u-%llx", int(::getpid()), attempt,
                      static_cast<unsigned long long>(ticks) & 0xFFFFFF);
        name = "." + outputName + suffix;
        // As the process's umask allows; for a build 0755: a program the person made, ready to run.
        const int fd = ::openat(directory, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

// The guard holds its signals while the file is made and handed to it: none can end the
// process in between and leave the file behind.
TemporaryFile::TemporaryFile(int directory, const std::string& name, mode_t mode, TemporaryOutputGuard* guard)
    : Directory_(directory), Name_(name), Guard_(guard ? *guard : NoGuard_) {
    Guard_.Hold();
    File_ = Descriptor(CreateTemporary(Directory_, Name_, TemporaryName_, mode));
    const int createError = errno;
    Pending_ = File_.Valid();
    Guard_.Watch(Pending_ ? Directory_ : -1, TemporaryName_);
    errno = createError;
}

void TemporaryFile::Discard() {
    if (!Pending_)
        return;
    const int error = errno;
    File_.Reset();
    ::unlinkat(Directory_, TemporaryName_.c_str(), 0);
    Pending_ = false;
    Guard_.Forget();
    errno = error;
}

bool TemporaryFile::Commit() {
    errno = 0;
    if (::fsync(File_.Get()) != 0 || ::close(File_.Release()) != 0 ||
        ::renameat(Directory_, TemporaryName_.c_str(), Directory_, Name_.c_str()) != 0) {
        if (errno == 0)
            errno = EIO;
        Discard();
        return false;
    }
    Pending_ = false;
    Guard_.Forget();
    // The new name too. A file system that can't sync a directory still has the content
    // safe; at worst the name is lost, and with it no good file.
    ::fsync(Directory_);
    return true;
}
