// SPDX-License-Identifier: Apache-2.0
#include "areas/ElfSegments.h"

#include <elf.h>

#include <algorithm>
#include <cstring>

namespace AreaSearch {

namespace {
// A copy of the program loads a few megabytes; a file claiming more is no copy worth reading.
constexpr uint64_t LoadedBytesLimit = 1ull << 30;
}  // namespace

std::optional<uint64_t> OffsetOf(const std::vector<Segment>& loads, uint64_t address, uint64_t size) {
    for (const Segment& s : loads)
        if (address >= s.Address && address - s.Address <= s.FileSize && size <= s.FileSize - (address - s.Address))
            return s.Offset + (address - s.Address);
    return std::nullopt;
}

std::optional<uint64_t> SymbolCount(const ElfReader& elf, const std::vector<Segment>& loads, uint64_t hash,
                                    uint64_t gnuHash) {
    uint64_t v = 0;
    if (hash) {
        const auto at = OffsetOf(loads, hash, 8);
        if (!at || !elf.Value(*at + 4, 4, v))
            return std::nullopt;
        return v;
    }
    if (!gnuHash)
        return std::nullopt;
    const auto head = OffsetOf(loads, gnuHash, 16);
    uint64_t buckets = 0, first = 0, bloom = 0;
    if (!head || !elf.Value(*head, 4, buckets) || !elf.Value(*head + 4, 4, first) || !elf.Value(*head + 8, 4, bloom))
        return std::nullopt;
    const uint64_t bucketsAt = *head + 16 + bloom * elf.Word(), chainAt = bucketsAt + 4 * buckets;
    if (buckets > (1u << 24) || bloom > (1u << 24))
        return std::nullopt;
    uint64_t last = 0;
    for (uint64_t i = 0; i < buckets; ++i) {
        if (!elf.Value(bucketsAt + 4 * i, 4, v))
            return std::nullopt;
        last = std::max(last, v);
    }
    if (last < first)
        return first;
    // The chain of the last bucket ends at the entry whose lowest bit is set.
    for (uint64_t guard = 0; guard < (1u << 24); ++guard, ++last) {
        if (!elf.Value(chainAt + 4 * (last - first), 4, v))
            return std::nullopt;
        if (v & 1)
            return last + 1;
    }
    return std::nullopt;
}

bool ReadSegments(ElfReader& elf, std::vector<Segment>& loads, std::optional<Segment>& dynamic) {
    unsigned char ident[EI_NIDENT] = {};
    if (!elf.Read(0, ident, sizeof ident) || std::memcmp(ident, ELFMAG, SELFMAG) != 0)
        return false;
    if ((ident[EI_CLASS] != ELFCLASS32 && ident[EI_CLASS] != ELFCLASS64) ||
        (ident[EI_DATA] != ELFDATA2LSB && ident[EI_DATA] != ELFDATA2MSB))
        return false;
    elf.Wide = ident[EI_CLASS] == ELFCLASS64;
    elf.Big = ident[EI_DATA] == ELFDATA2MSB;

    // The program headers: the loadable segments and the dynamic table.
    uint64_t phoff = 0, phentsize = 0, phnum = 0;
    if (!elf.Value(elf.Wide ? 32 : 28, elf.Word(), phoff) || !elf.Value(elf.Wide ? 54 : 42, 2, phentsize) ||
        !elf.Value(elf.Wide ? 56 : 44, 2, phnum) || phentsize < (elf.Wide ? 56u : 32u))
        return false;
    uint64_t loaded = 0;
    for (uint64_t i = 0; i < phnum; ++i) {
        const uint64_t at = phoff + i * phentsize;
        uint64_t type = 0, offset = 0, address = 0, fileSize = 0;
        // p_offset, p_vaddr and p_filesz: after p_type and p_flags in the wide form, in order in the narrow one.
        const bool ok = elf.Value(at, 4, type) &&
                        (elf.Wide ? elf.Value(at + 8, 8, offset) && elf.Value(at + 16, 8, address) &&
                                        elf.Value(at + 32, 8, fileSize)
                                  : elf.Value(at + 4, 4, offset) && elf.Value(at + 8, 4, address) &&
                                        elf.Value(at + 16, 4, fileSize));
        if (!ok)
            return false;
        if (type == PT_LOAD && fileSize > 0) {
            loaded += fileSize;
            if (loaded > LoadedBytesLimit || offset + fileSize < offset)
                return false;
            loads.push_back({offset, address, fileSize});
        } else if (type == PT_DYNAMIC) {
            dynamic = Segment{offset, address, fileSize};
        }
    }
    return !loads.empty();
}

}  // namespace AreaSearch
