// SPDX-License-Identifier: Apache-2.0
#include "session/Catalogue.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include "base/Descriptor.h"
#include "trust/TrustDecision.h"

namespace {

struct DirectoryCloser {
    void operator()(DIR* d) const { ::closedir(d); }
};

// Why an entry that is no regular file is not read, from what it is (followed when a link).
std::string NotAFileReason(const struct stat& target, bool link) {
    const char* what = S_ISDIR(target.st_mode)   ? "a folder (folders in the folder are not looked in)"
                       : S_ISFIFO(target.st_mode) ? "a FIFO"
                       : S_ISSOCK(target.st_mode) ? "a socket"
                       : S_ISCHR(target.st_mode) || S_ISBLK(target.st_mode) ? "a device"
                                                                             : "not a regular file";
    return link ? std::string("a symbolic link to ") + what + ", not to a regular file" : std::string(what);
}

// What keeps a loaded copy out of the catalogue; "" for a candidate.
std::string NotACandidate(const UtilityCopy& copy, const CopyVerdict& verdict, const SignaturePolicy& policy) {
    const IdentityBlock block = copy.View();
    if (block.IsBlankCopy())
        return "a blank copy of flashutil (a builder): it flashes no drive";
    if (block.AnyProduct())
        return "ignored: made for any drive (Inquiry \"--\"); a folder never hands a drive such firmware";
    if (block.AnyFirmware())
        return "ignored: made for any firmware revision (FwRange \"-\"); a folder never hands a drive such firmware";
    if (verdict.Result == CopyVerdict::State::Damaged)
        return "damaged (" + verdict.Cause + ")";
    const TrustDecision decision = DecideTrust(verdict, policy);
    if (!decision.Allowed())
        return "refused by the signature policy: " + decision.Refusal;
    return {};
}

// One entry of the folder: a candidate into catalogue.Utilities, or a skip with its reason.
void LookAt(const std::string& folder, int directory, const std::string& name, const TrustedKeys& trusted,
            const SignaturePolicy& policy, Catalogue& catalogue) {
    auto skip = [&](const std::string& reason) { catalogue.Skipped.push_back({name, reason}); };
    struct stat own {}, target {};
    if (::fstatat(directory, name.c_str(), &own, AT_SYMLINK_NOFOLLOW) != 0)
        return skip(std::strerror(errno));
    const bool link = S_ISLNK(own.st_mode);
    if (::fstatat(directory, name.c_str(), &target, 0) != 0)
        return skip(link ? std::string("a symbolic link to nothing that can be looked at (") + std::strerror(errno) + ")"
                         : std::string(std::strerror(errno)));
    if (!S_ISREG(target.st_mode))
        return skip(NotAFileReason(target, link));
    if (uint64_t(target.st_size) > FileSha256Limit)
        return skip(FileSha256LimitCause());

    // The loader opens it again without blocking and looks at it before it reads: a file
    // swapped for a FIFO or a device in between is refused there.
    const std::string path = folder + (folder.ends_with('/') ? "" : "/") + name;
    CatalogueUtility utility;
    std::string why;
    if (!LoadUtilityCopy(path, utility.Copy, why, WholeFileHash::Take)) {
        const std::string prefix = path + ": ";
        return skip(why.starts_with(prefix) ? why.substr(prefix.size()) : why);
    }
    utility.Verdict = JudgeCopy(utility.Copy.Areas, trusted);
    if (const std::string reason = NotACandidate(utility.Copy, utility.Verdict, policy); !reason.empty())
        return skip(reason);
    utility.Name = name;
    utility.Texts = IdentityTexts::From(utility.Copy.View());
    const std::string newName = utility.Copy.View().NewFwName();
    utility.NewRevision = newName.substr(0, std::min(newName.find('\0'), std::size_t(4)));
    catalogue.Utilities.push_back(std::move(utility));
}

}  // namespace

bool IsCatalogueFolder(const std::string& path) {
    struct stat info {};
    return !path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool ScanCatalogue(const std::string& folder, const TrustedKeys& trusted, const SignaturePolicy& policy,
                   Catalogue& catalogue, std::string& why) {
    catalogue = {};
    catalogue.Folder = folder;
    Descriptor opened(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC));
    if (!opened.Valid()) {
        why = folder + ": " + std::strerror(errno);
        return false;
    }
    const int directory = opened.Get();
    std::unique_ptr<DIR, DirectoryCloser> listing(::fdopendir(directory));
    if (!listing) {
        why = folder + ": " + std::strerror(errno);
        return false;
    }
    opened.Release();  // the listing closes it

    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(listing.get())) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        if (names.size() == CatalogueEntryLimit) {
            catalogue.Truncated = true;
            break;
        }
        names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    for (const std::string& name : names)
        LookAt(folder, ::dirfd(listing.get()), name, trusted, policy, catalogue);
    return true;
}

std::string CatalogueTruncatedText(const Catalogue& catalogue) {
    return catalogue.Folder + ": the folder holds more than " + std::to_string(CatalogueEntryLimit) +
           " entries; only " + std::to_string(CatalogueEntryLimit) + " were looked at";
}
