// SPDX-License-Identifier: Apache-2.0
// The running program's check that it runs with the areas every reader finds in its file.
#include "areas/AreaLocator.h"

#include <fcntl.h>
#include <link.h>

#include <cerrno>
#include <cstring>

#include "areas/AreaKinds.h"
#include "areas/EmbeddedBlock.h"
#include "base/Descriptor.h"
#include "areas/Seal.h"
#include "areas/SignatureArea.h"
#include "areas/VersionArea.h"

using namespace AreaSearch;

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
