// SPDX-License-Identifier: Apache-2.0
#include "image/AreaLocator.h"

#include <elf.h>
#include <fcntl.h>
#include <link.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <vector>

#include "image/Builder.h"
#include "image/EmbeddedBlock.h"
#include "base/Descriptor.h"
#include "image/Seal.h"
#include "image/SignatureArea.h"
#include "image/VersionArea.h"

namespace {

constexpr std::size_t KeyWordSize = Layout::KeyWordSize;
using KeyWord = std::array<uint8_t, KeyWordSize>;
// A copy of the program loads a few megabytes; a file claiming more is no copy worth reading.
constexpr uint64_t LoadedBytesLimit = 1ull << 30;
// A key-word with at most this many bytes changed still counts as an occurrence of it.
constexpr std::size_t NearMismatches = 2;

struct AreaKind {
    const char* Name;        // in the causes
    const char* SymbolName;  // in the dynamic symbol table
    KeyWord Word;
    std::size_t Size;
    bool Optional;           // a copy of an earlier version that names its areas may lack it
};

// A key-word as the program was compiled with it, never read from the areas in memory: a copy
// whose key-words were changed would otherwise look for its changed words. It is put together
// at run time, so the whole word is nowhere in the program's own bytes outside its areas.
KeyWord WordOf(const char (&name)[8]) {
    const char* head = "FLUTIL.";
    asm volatile("" : "+r"(head));
    KeyWord word{};
    for (std::size_t i = 0; i < 7; ++i) {
        word[i] = static_cast<uint8_t>(head[i]);
        word[7 + i] = static_cast<uint8_t>(name[i]);
    }
    return word;
}

constexpr std::size_t KindCount = 4;

std::array<AreaKind, KindCount> Kinds() {
    return {{{"identity block", "flashutil_identity_area", WordOf("IDBLOCK"), Layout::TotalSize, false},
             {"seal area", "flashutil_seal_area", WordOf("SEALBLK"), SealLayout::Size, false},
             {"version area", "flashutil_version_area", WordOf("VERSION"), VersionLayout::Size, false},
             {"signature area", "flashutil_signature_area", WordOf("SIGNBLK"), SignatureLayout::Size, true}}};
}

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
std::optional<uint64_t> OffsetOf(const std::vector<Segment>& loads, uint64_t address, uint64_t size) {
    for (const Segment& s : loads)
        if (address >= s.Address && address - s.Address <= s.FileSize && size <= s.FileSize - (address - s.Address))
            return s.Offset + (address - s.Address);
    return std::nullopt;
}

// The number of entries of the dynamic symbol table, from the hash table the loader looks
// symbols up in (either form).
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

// The addresses of the areas the dynamic symbol table names (index as in Kinds()).
std::array<std::optional<uint64_t>, KindCount> NamedAreas(const ElfReader& elf, const std::vector<Segment>& loads,
                                                  const Segment& dynamic, const std::array<AreaKind, KindCount>& kinds) {
    std::array<std::optional<uint64_t>, KindCount> named{};
    const std::size_t entry = 2 * elf.Word();
    uint64_t symtab = 0, strtab = 0, strsz = 0, syment = elf.Wide ? 24 : 16, hash = 0, gnuHash = 0;
    for (uint64_t at = dynamic.Offset; at + entry <= dynamic.Offset + dynamic.FileSize; at += entry) {
        uint64_t tag = 0, value = 0;
        if (!elf.Value(at, elf.Word(), tag) || !elf.Value(at + elf.Word(), elf.Word(), value) || tag == DT_NULL)
            break;
        switch (tag) {
        case DT_SYMTAB: symtab = value; break;
        case DT_STRTAB: strtab = value; break;
        case DT_STRSZ: strsz = value; break;
        case DT_SYMENT: syment = value; break;
        case DT_HASH: hash = value; break;
        case DT_GNU_HASH: gnuHash = value; break;
        default: break;
        }
    }
    const auto count = SymbolCount(elf, loads, hash, gnuHash);
    const auto strings = OffsetOf(loads, strtab, strsz);
    if (!symtab || !count || !strings || syment < (elf.Wide ? 24u : 16u) || *count > (1u << 24))
        return named;
    const auto symbols = OffsetOf(loads, symtab, *count * syment);
    if (!symbols)
        return named;
    for (uint64_t i = 0; i < *count; ++i) {
        const uint64_t at = *symbols + i * syment;
        uint64_t nameAt = 0, value = 0, section = 0;
        if (!elf.Value(at, 4, nameAt) || !elf.Value(at + (elf.Wide ? 8 : 4), elf.Word(), value) ||
            !elf.Value(at + (elf.Wide ? 6 : 14), 2, section))
            break;
        if (section == SHN_UNDEF || nameAt >= strsz)
            continue;
        char name[32] = {};
        elf.Read(*strings + nameAt, name, std::min<uint64_t>(sizeof name - 1, strsz - nameAt));
        for (std::size_t k = 0; k < kinds.size(); ++k)
            if (std::strcmp(name, kinds[k].SymbolName) == 0)
                named[k] = value;
    }
    return named;
}

// What the search found of each key-word in the loaded bytes (file offsets). A key-word found
// twice settles its verdict, so the search for it stops there and only the first near
// occurrence is kept: time grows with the file alone and memory stays flat, whatever the
// bytes hold.
struct Occurrences {
    std::array<std::optional<uint64_t>, KindCount> First, Second, Near;
};

// Calls hit(kind, index, near) for every full and near occurrence of a key-word that starts at
// an index i of bytes[0, filled) with i + KeyWordSize <= filled, for the kinds wanted(kind)
// still asks for; a kind is asked again before each hit. A word with at most NearMismatches
// bytes changed still holds one of NearMismatches + 1 disjoint parts of the key-word
// unchanged, so only the places where libc's memmem finds such a part are compared byte by
// byte: comparing at every byte made a large program's start slow.
template <typename Wanted, typename Hit>
void FindInPiece(const uint8_t* bytes, std::size_t filled, const std::array<AreaKind, KindCount>& kinds,
                 Wanted&& wanted, Hit&& hit) {
    constexpr std::size_t Parts = NearMismatches + 1, PartSize = KeyWordSize / Parts;
    for (std::size_t k = 0; k < kinds.size(); ++k) {
        const uint8_t* word = kinds[k].Word.data();
        for (std::size_t part = 0; part < Parts && wanted(k); ++part) {
            const std::size_t from = part * PartSize;
            const std::size_t size = part + 1 == Parts ? KeyWordSize - from : PartSize;
            for (std::size_t at = 0; at + size <= filled && wanted(k);) {
                const void* found = ::memmem(bytes + at, filled - at, word + from, size);
                if (!found)
                    break;
                const std::size_t h = std::size_t(static_cast<const uint8_t*>(found) - bytes);
                at = h + 1;
                if (h < from || h - from + KeyWordSize > filled)
                    continue;
                const std::size_t i = h - from;
                std::size_t misses = 0;
                for (std::size_t j = 0; j < KeyWordSize && misses <= NearMismatches; ++j)
                    misses += bytes[i + j] != word[j];
                // A full occurrence is found by every part: it counts once, by the first.
                if ((misses == 0 && part == 0) || (misses > 0 && misses <= NearMismatches))
                    hit(k, i, misses > 0);
            }
        }
    }
}

// Records an occurrence FindInPiece found at file offset at. A near occurrence is found by
// each part it holds unchanged, so the lowest offset is kept.
void Record(Occurrences& found, std::size_t k, uint64_t at, bool near) {
    if (near) {
        if (!found.Near[k] || at < *found.Near[k])
            found.Near[k] = at;
    } else if (!found.First[k]) {
        found.First[k] = at;
    } else if (!found.Second[k] && at != *found.First[k]) {  // two segments may map the same bytes
        found.Second[k] = at;
    }
}

bool Scan(int fd, const std::vector<Segment>& loads, const std::array<AreaKind, KindCount>& kinds, Occurrences& found) {
    constexpr std::size_t Piece = 1u << 20;
    std::vector<uint8_t> buffer(Piece + KeyWordSize);
    const auto wanted = [&](std::size_t k) { return !found.Second[k]; };
    for (const Segment& s : loads) {
        std::size_t carried = 0;
        for (uint64_t base = s.Offset; base + carried < s.Offset + s.FileSize;) {
            if (std::none_of(found.Second.begin(), found.Second.end(), [](const auto& at) { return !at; }))
                return true;  // every key-word found twice: nothing more to learn
            const std::size_t want = std::size_t(std::min<uint64_t>(Piece, s.Offset + s.FileSize - base - carried));
            const ssize_t n = ::pread(fd, buffer.data() + carried, want, off_t(base + carried));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                if (n == 0)
                    errno = EIO;  // the segment runs past the file's end
                return false;
            }
            const std::size_t filled = carried + std::size_t(n);
            FindInPiece(buffer.data(), filled, kinds, wanted,
                        [&](std::size_t k, std::size_t i, bool near) { Record(found, k, base + i, near); });
            // Keep the bytes a key-word starting in them would need from the next piece.
            const std::size_t keep = std::min(filled, KeyWordSize - 1);
            std::memmove(buffer.data(), buffer.data() + filled - keep, keep);
            base += filled - keep;
            carried = keep;
        }
    }
    return true;
}

// Whether the file holds kind's key-word at offset at.
bool StartsWithKeyWord(const ElfReader& elf, uint64_t at, const AreaKind& kind) {
    KeyWord bytes{};
    return elf.Read(at, bytes.data(), bytes.size()) && bytes == kind.Word;
}

// The places of the areas from what the search found and what the symbol table names; the
// first cause that leaves them open goes to places.Damage.
void JudgePlaces(const ElfReader& elf, const std::vector<Segment>& loads, const std::array<AreaKind, KindCount>& kinds,
                 const Occurrences& found, const std::array<std::optional<uint64_t>, KindCount>& named,
                 AreaPlaces& places) {
    std::array<std::optional<uint64_t>*, KindCount> out = {&places.Block, &places.Seal, &places.Version,
                                                           &places.Signature};
    auto damage = [&](const std::string& cause) {
        if (places.Damage.empty())
            places.Damage = cause;
    };
    for (std::size_t k = 0; k < kinds.size(); ++k) {
        const std::string name = kinds[k].Name;
        if (places.Named && !named[k] && !kinds[k].Optional) {
            damage("its " + name + " is not named where its other areas are");
            continue;
        }
        if (named[k]) {
            const auto at = OffsetOf(loads, *named[k], kinds[k].Size);
            if (!at) {
                damage("its " + name + " lies outside the bytes the loader maps");
                continue;
            }
            if (!StartsWithKeyWord(elf, *at, kinds[k])) {
                damage("its " + name + " does not start with its key-word");
                continue;
            }
            *out[k] = *at;
        } else if (found.First[k] && !found.Second[k]) {
            *out[k] = *found.First[k];
        }
        if (found.Second[k])
            damage("its " + name + "'s key-word occurs more than once");
        if (found.Near[k])
            damage("a changed copy of its " + name + "'s key-word lies in it");
    }
}

}  // namespace

bool LocateAreas(int fd, AreaPlaces& places, std::string& why) {
    places = {};
    ElfReader elf(fd);
    unsigned char ident[EI_NIDENT] = {};
    const auto notProgram = [&] {
        why = "not a copy of flashutil (not a program file)";
        return false;
    };
    if (!elf.Read(0, ident, sizeof ident) || std::memcmp(ident, ELFMAG, SELFMAG) != 0)
        return notProgram();
    if ((ident[EI_CLASS] != ELFCLASS32 && ident[EI_CLASS] != ELFCLASS64) ||
        (ident[EI_DATA] != ELFDATA2LSB && ident[EI_DATA] != ELFDATA2MSB))
        return notProgram();
    elf.Wide = ident[EI_CLASS] == ELFCLASS64;
    elf.Big = ident[EI_DATA] == ELFDATA2MSB;

    // The program headers: the loadable segments and the dynamic table.
    uint64_t phoff = 0, phentsize = 0, phnum = 0;
    if (!elf.Value(elf.Wide ? 32 : 28, elf.Word(), phoff) || !elf.Value(elf.Wide ? 54 : 42, 2, phentsize) ||
        !elf.Value(elf.Wide ? 56 : 44, 2, phnum) || phentsize < (elf.Wide ? 56u : 32u))
        return notProgram();
    std::vector<Segment> loads;
    std::optional<Segment> dynamic;
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
            return notProgram();
        if (type == PT_LOAD && fileSize > 0) {
            loaded += fileSize;
            if (loaded > LoadedBytesLimit || offset + fileSize < offset)
                return notProgram();
            loads.push_back({offset, address, fileSize});
        } else if (type == PT_DYNAMIC) {
            dynamic = Segment{offset, address, fileSize};
        }
    }
    if (loads.empty())
        return notProgram();
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        why = std::strerror(errno);
        return false;
    }
    for (const Segment& s : loads)
        if (s.Offset + s.FileSize > uint64_t(info.st_size)) {
            why = "truncated: the file ends before the bytes the loader maps from it";
            return false;
        }

    const std::array<AreaKind, KindCount> kinds = Kinds();
    Occurrences found;
    if (!Scan(fd, loads, kinds, found)) {
        why = std::strerror(errno);
        return false;
    }
    std::array<std::optional<uint64_t>, KindCount> named{};
    if (dynamic)
        named = NamedAreas(elf, loads, *dynamic, kinds);
    places.Named = std::any_of(named.begin(), named.end(), [](const auto& n) { return n.has_value(); });

    JudgePlaces(elf, loads, kinds, found, named, places);
    // Every version with a signature area names its areas: a copy that carries one unnamed had
    // its names changed, and its seal and version areas may have been wiped with them.
    if (!places.Named && places.Signature && places.Damage.empty())
        places.Damage = "it carries a signature area, but its areas are not named as in every version that has one";
    return true;
}

bool LocateKeyWords(int fd, const std::array<uint8_t, Layout::KeyWordSize>& blockWord,
                    const std::array<uint8_t, Layout::KeyWordSize>& sealWord, AreaPlaces& places) {
    places = {};
    struct stat info {};
    if (::fstat(fd, &info) != 0)
        return false;
    const std::vector<Segment> whole = {{0, 0, uint64_t(info.st_size)}};
    std::array<AreaKind, KindCount> kinds = Kinds();
    kinds[0].Word = blockWord;
    kinds[1].Word = sealWord;
    Occurrences found;
    if (info.st_size > 0 && !Scan(fd, whole, kinds, found))
        return false;
    JudgePlaces(ElfReader(fd), whole, kinds, found, {}, places);
    return true;
}

std::optional<KeyWordHit> FirstKeyWord(const uint8_t* bytes, std::size_t size, std::size_t from) {
    const std::array<AreaKind, KindCount> kinds = Kinds();
    std::optional<KeyWordHit> first;
    FindInPiece(bytes, size, kinds, [](std::size_t) { return true; }, [&](std::size_t k, std::size_t i, bool near) {
        if (i >= from && (!first || i < first->Offset))
            first = KeyWordHit{i, kinds[k].Name, near};
    });
    return first;
}

std::string OwnAreasMismatch() {
    struct Mapped {
        std::array<const uint8_t*, KindCount> Areas;
        std::array<std::optional<uint64_t>, KindCount> Offsets;
        std::array<std::size_t, KindCount> Sizes;
    } mapped{{EmbeddedBlockBytes(), EmbeddedSealBytes(), EmbeddedVersionBytes(), EmbeddedSignatureBytes()},
             {},
             {Layout::TotalSize, SealLayout::Size, VersionLayout::Size, SignatureLayout::Size}};
    // The first object the loader reports is the program itself: where in its file each area was mapped from.
    dl_iterate_phdr(
        [](struct dl_phdr_info* info, std::size_t, void* data) {
            auto& m = *static_cast<Mapped*>(data);
            for (std::size_t k = 0; k < m.Areas.size(); ++k) {
                const uint64_t address = reinterpret_cast<uintptr_t>(m.Areas[k]) - info->dlpi_addr;
                for (int i = 0; i < info->dlpi_phnum; ++i) {
                    const auto& p = info->dlpi_phdr[i];
                    if (p.p_type == PT_LOAD && address >= p.p_vaddr && address - p.p_vaddr <= p.p_filesz &&
                        m.Sizes[k] <= p.p_filesz - (address - p.p_vaddr))
                        m.Offsets[k] = p.p_offset + (address - p.p_vaddr);
                }
            }
            return 1;
        },
        &mapped);

    Descriptor self(::open("/proc/self/exe", O_RDONLY | O_CLOEXEC));
    if (!self.Valid())
        return std::string("its own file can't be read (") + std::strerror(errno) + ")";
    AreaPlaces places;
    std::string why;
    if (!LocateAreas(self.Get(), places, why))
        return "its own file can't be read (" + why + ")";
    if (!places.Damage.empty())
        return places.Damage;
    const std::array<std::optional<uint64_t>, KindCount> located = {places.Block, places.Seal, places.Version,
                                                                    places.Signature};
    const char* names[] = {"identity block", "seal area", "version area", "signature area"};
    for (std::size_t k = 0; k < located.size(); ++k)
        if (!mapped.Offsets[k] || located[k] != mapped.Offsets[k])
            return std::string("its ") + names[k] + " in its file is not the one it runs with";
    return {};
}
