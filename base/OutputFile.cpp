// SPDX-License-Identifier: Apache-2.0
#include "base/OutputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/Descriptor.h"
#include "base/RegularFile.h"

namespace {
bool SameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }
}  // namespace

bool WriteOutputFile(const OutputFileRequest& request, std::string& why) {
    const std::string& path = request.Path;
    auto fail = [&](const std::string& cause) {
        why = path + ": " + cause;
        return false;
    };
    if (path.empty() || path.ends_with('/'))
        return fail("not a file name");
    const std::size_t slash = path.rfind('/');
    const std::string directoryPath = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name == "." || name == "..")
        return fail("not a file name");

    Descriptor directory(::open(directoryPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!directory.Valid())
        return fail(std::strerror(errno));
    // What is at the name now: never a directory, never the program or a file it must keep.
    struct stat existing {};
    if (::fstatat(directory.Get(), name.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0) {
        if (S_ISDIR(existing.st_mode))
            return fail(std::strerror(EISDIR));
        // A link: the rename would put a regular file in its place, and a link such as
        // /dev/stdout is the system's, not ours to replace. Its target is never written either.
        if (S_ISLNK(existing.st_mode))
            return fail("a symbolic link; it is not replaced");
        // A device, FIFO or socket: the rename would put a regular file in its place (think of
        // /dev/null), so such a name is never taken.
        if (!S_ISREG(existing.st_mode))
            return fail("not a regular file; it is not replaced");
        std::vector<std::string> untouchable = request.Untouchable;
        untouchable.push_back("/proc/self/exe");
        for (const std::string& other : untouchable) {
            struct stat kept {};
            if (::stat(other.c_str(), &kept) == 0 && SameFile(existing, kept))
                return fail("it is the program's own file or the copy read; it is not overwritten");
        }
    }

    TemporaryFile output(directory.Get(), name, request.Mode, request.Guard);
    if (!output.Valid())
        return fail(std::strerror(errno));

    errno = 0;
    if (!WriteAll(output.Get(), request.Bytes.data(), request.Bytes.size()) || !output.Commit()) {
        const int error = errno != 0 ? errno : EIO;  // a write that moved nothing sets none
        output.Discard();
        return fail(std::string(std::strerror(error)) + "; nothing was written");
    }
    return true;
}
