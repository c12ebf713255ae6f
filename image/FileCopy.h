// SPDX-License-Identifier: Apache-2.0
#pragma once
// The file work of the builder: whole reads and writes that survive interrupted system
// calls, copies through the kernel, and the temporary output file that never opens anything
// that was already there.

#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "image/IdentityBlock.h"

// Closes a descriptor when it goes out of scope.
class Descriptor {
public:
    explicit Descriptor(int fd = -1) : Fd_(fd) {}
    ~Descriptor() { Reset(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    Descriptor(Descriptor&& other) noexcept : Fd_(other.Release()) {}
    Descriptor& operator=(Descriptor&& other) noexcept {
        if (this != &other) {
            Reset();
            Fd_ = other.Release();
        }
        return *this;
    }
    int Get() const { return Fd_; }
    bool Valid() const { return Fd_ >= 0; }
    int Release() { int fd = Fd_; Fd_ = -1; return fd; }
    void Reset() { if (Fd_ >= 0) ::close(Fd_); Fd_ = -1; }

private:
    int Fd_;
};

// Opens path for reading, without blocking on a FIFO or device, and checks it is a regular
// file (its status in info when given). An invalid descriptor when not, with why set to the
// cause in words: the system's error, or notRegular.
Descriptor OpenRegularFile(const std::string& path, std::string& why, const std::string& notRegular,
                           struct stat* info = nullptr);

// Makes each missing directory above path, as the XDG base directory rules ask (0700).
// False with errno set when one can't be made.
bool MakeParentDirectories(const std::string& path);

// Reads up to limit bytes, to the end of the file. False with errno set on a read error.
bool ReadUpTo(int fd, std::size_t limit, std::vector<uint8_t>& out);

// Writes all of data. False with errno set on a write error.
bool WriteAll(int fd, const uint8_t* data, std::size_t length);

// Copies length bytes of in from offset to the end of out: in the kernel where it can, else
// through a buffer. False with errno set when a read or write fails or the file ends early.
bool CopyRange(int in, std::size_t offset, int out, std::size_t length);

// Creates a temporary file for outputName beside it in directory, with O_EXCL | O_NOFOLLOW,
// and sets name to its name: a descriptor, or -1 with errno set. mode as the umask allows
// (a program by default).
int CreateTemporary(int directory, const std::string& outputName, std::string& name, mode_t mode = 0755);
