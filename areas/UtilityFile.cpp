// SPDX-License-Identifier: Apache-2.0
#include "areas/UtilityFile.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "base/RegularFile.h"
#include "base/Sha256.h"
#include "areas/AreaLocator.h"
#include "base/RunningProgram.h"
#include "areas/Seal.h"
#include "areas/SignatureArea.h"
#include "areas/VersionArea.h"

namespace {

// The size bytes at offset at; false with errno set when they can't all be read.
bool ReadAt(int fd, uint64_t at, std::size_t size, std::vector<uint8_t>& out) {
    out.assign(size, 0);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pread(fd, out.data() + done, size - done, off_t(at + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = EIO;  // the file became shorter while read
            out.clear();
            return false;
        }
        done += std::size_t(n);
    }
    return true;
}

}  // namespace

std::string FileSha256LimitCause() {
    return "larger than " + std::to_string(FileSha256Limit >> 20) + " MiB, far more than any copy of flashutil";
}

namespace {

// Another copy, read from its file (see LoadUtilityCopy).
bool ReadUtilityFile(const std::string& path, UtilityCopy& copy, std::string& why, WholeFileHash hash) {
    auto fail = [&](const std::string& cause) {
        why = path + ": " + cause;
        return false;
    };
    std::string cause;
    struct stat info {};
    const Descriptor file = OpenRegularFile(path, cause, "not a regular file", &info);
    if (!file.Valid())
        return fail(cause);
    if (hash == WholeFileHash::Take && uint64_t(info.st_size) > FileSha256Limit)
        return fail(FileSha256LimitCause());

    AreaPlaces places;
    if (!LocateAreas(file.Get(), places, cause))
        return fail(cause);
    if (!places.Block) {
        // Its other areas, or a damaged key-word, show it is a copy of the program that lost its block.
        if (!places.Damage.empty())
            return fail("a damaged copy of flashutil (" + places.Damage + ")");
        if (places.Seal || places.Version)
            return fail("a damaged copy of flashutil (its identity block is missing)");
        return fail("not a copy of flashutil (it carries no identity block)");
    }
    auto read = std::make_shared<CopyAreaBytes>();
    const std::optional<uint64_t> at[] = {places.Block, places.Seal, places.Version, places.Signature};
    std::vector<uint8_t>* into[] = {&read->Block, &read->Seal, &read->Version, &read->Signature};
    const std::size_t sizes[] = {Layout::TotalSize, SealLayout::Size, VersionLayout::Size, SignatureLayout::Size};
    for (std::size_t k = 0; k < 4; ++k)
        if (at[k] && !ReadAt(file.Get(), *at[k], sizes[k], *into[k]))
            return fail(std::strerror(errno));
    if (hash == WholeFileHash::Take && !FileSha256(file.Get(), copy.Sha256))
        return fail(errno == EFBIG ? FileSha256LimitCause() : std::strerror(errno));
    auto area = [](const std::vector<uint8_t>& bytes) { return bytes.empty() ? nullptr : bytes.data(); };
    copy.Areas = {area(read->Block), area(read->Seal), area(read->Version), area(read->Signature), places.Damage};
    copy.Read = std::move(read);
    return true;
}

}  // namespace

UtilityCopy RunningCopy() {
    UtilityCopy copy;
    copy.File = RunningExecutablePath();
    copy.FullPath = copy.File;
    copy.Areas = {IdentityBlock::Embedded().Raw(), EmbeddedSealBytes(), EmbeddedVersionBytes(),
                  EmbeddedSignatureBytes(), OwnAreasMismatch()};
    return copy;
}

bool LoadUtilityCopy(const std::string& file, UtilityCopy& copy, std::string& why, WholeFileHash hash) {
    copy = {};
    if (file.empty()) {
        copy = RunningCopy();
        if (hash == WholeFileHash::Leave)
            return true;
        Descriptor self(::open("/proc/self/exe", O_RDONLY | O_CLOEXEC));
        if (!self.Valid() || !FileSha256(self.Get(), copy.Sha256)) {
            copy.Sha256.clear();
            // Its own file as another copy's: what it is named as is not hashed for minutes.
            if (self.Valid() && errno == EFBIG) {
                why = (copy.File.empty() ? std::string("this program's file") : copy.File) + ": " +
                      FileSha256LimitCause();
                return false;
            }
        }
        return true;
    }
    copy.Own = false;
    copy.File = file;
    if (!ReadUtilityFile(file, copy, why, hash))
        return false;
    char* full = ::realpath(file.c_str(), nullptr);
    copy.FullPath = full ? full : file;
    std::free(full);
    return true;
}

bool FileSha256(int fd, std::string& hex) {
    struct stat info {};
    if (::fstat(fd, &info) != 0)
        return false;
    if (uint64_t(info.st_size) > FileSha256Limit) {
        errno = EFBIG;
        return false;
    }
    Sha256Stream digest;
    bool ok = true;
    std::vector<uint8_t> buffer(1u << 16);
    // Never past the limit, also when the file grows while it is read.
    for (off_t at = 0; ok;) {
        const ssize_t n = ::pread(fd, buffer.data(), buffer.size(), at);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            ok = false;
        if (n <= 0)
            break;
        at += n;
        if (uint64_t(at) > FileSha256Limit) {
            errno = EFBIG;
            return false;
        }
        ok = digest.Update(buffer.data(), std::size_t(n));
    }
    Sha256Bytes bytes{};
    ok = ok && digest.Finish(bytes);
    hex = ok ? HexBytes(bytes.data(), bytes.size()) : std::string();
    return ok;
}
