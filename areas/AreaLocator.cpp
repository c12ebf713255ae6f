// SPDX-License-Identifier: Apache-2.0
#include "areas/AreaLocator.h"

#include <elf.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <vector>

#include "areas/AreaKinds.h"
#include "areas/ElfSegments.h"
#include "areas/KeyWordSearch.h"

using namespace AreaSearch;

namespace {

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
    const auto notProgram = [&] {
        why = "not a copy of flashutil (not a program file)";
        return false;
    };
    std::vector<Segment> loads;
    std::optional<Segment> dynamic;
    if (!ReadSegments(elf, loads, dynamic))
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
