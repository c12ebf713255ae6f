// SPDX-License-Identifier: Apache-2.0
#include "areas/KeyWordSearch.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "areas/AreaLocator.h"

namespace AreaSearch {

namespace {

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

}  // namespace

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

}  // namespace AreaSearch

using namespace AreaSearch;

std::optional<KeyWordHit> FirstKeyWord(const uint8_t* bytes, std::size_t size, std::size_t from) {
    const std::array<AreaKind, KindCount> kinds = Kinds();
    std::optional<KeyWordHit> first;
    FindInPiece(bytes, size, kinds, [](std::size_t) { return true; }, [&](std::size_t k, std::size_t i, bool near) {
        if (i >= from && (!first || i < first->Offset))
            first = KeyWordHit{i, kinds[k].Name, near};
    });
    return first;
}
