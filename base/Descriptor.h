// SPDX-License-Identifier: Apache-2.0
#pragma once
// A file descriptor that is closed when it goes out of scope.

#include <unistd.h>

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
