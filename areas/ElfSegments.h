// SPDX-License-Identifier: Apache-2.0
#pragma once
// The parts of a program file the loader reads, as the area readers need them: its loadable
// segments and its dynamic table, read through pread in either byte order and word size.

#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace AreaSearch {

struct Segment {
    uint64_t Offset, Address, FileSize;
};

// Reads the file through pread, in either byte order and either word size.
class ElfReader {
public:
    explicit ElfReader(int fd) : Fd_(fd) {}
    bool Read(uint64_t at, void* to, std::size_t size) const {
        std::size_t done = 0;
        while (done < size) {
            const ssize_t n = ::pread(Fd_, static_cast<uint8_t*>(to) + done, size - done, off_t(at + done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            done += std::size_t(n);
        }
        return true;
    }
    // An unsigned value of size bytes (2, 4 or 8) at at.
    bool Value(uint64_t at, std::size_t size, uint64_t& value) const {
        uint8_t b[8];
        if (!Read(at, b, size))
            return false;
        value = 0;
        for (std::size_t i = 0; i < size; ++i)
            value |= uint64_t(b[Big ? i : size - 1 - i]) << (8 * (size - 1 - i));
        return true;
    }
    bool Big = false, Wide = true;  // byte order, ELFCLASS64
    std::size_t Word() const { return Wide ? 8 : 4; }

private:
    int Fd_;
};

// The file offset of address when size bytes from it lie in one segment's file-backed bytes.
std::optional<uint64_t> OffsetOf(const std::vector<Segment>& loads, uint64_t address, uint64_t size);

// The number of entries of the dynamic symbol table, from the hash table the loader looks
// symbols up in (either form).
std::optional<uint64_t> SymbolCount(const ElfReader& elf, const std::vector<Segment>& loads, uint64_t hash,
                                    uint64_t gnuHash);

// Reads the file's identification and program headers: elf's byte order and word size, the
// loadable segments that have file-backed bytes and the dynamic table. False when the file is
// no program file (or one whose loaded bytes are beyond reason).
bool ReadSegments(ElfReader& elf, std::vector<Segment>& loads, std::optional<Segment>& dynamic);

}  // namespace AreaSearch
