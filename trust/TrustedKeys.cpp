// SPDX-License-Identifier: Apache-2.0
#include "trust/TrustedKeys.h"

#include <dirent.h>
#include <fcntl.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "base/RegularFile.h"
#include "base/UserFolders.h"
#include "trust/OwnerOnly.h"
#include "trust/SystemConfig.h"
#include "ui/Translate.h"

namespace {

constexpr std::size_t KeyFileLimit = 64 * 1024;
// More keys than anyone trusts; a directory holding more is read no further.
constexpr std::size_t KeyLimit = 1000;

// The Ed25519 key in the PEM file at path; nullopt with why set when it holds none.
std::optional<PublicKeyBytes> ReadPublicKey(int directory, const std::string& name, std::string& why) {
    struct stat info {};
    const Descriptor file =
        OpenRegularFile(name, why, _("not a regular file"), &info, DirectoryCause::NotRegular, directory);
    if (!file.Valid())
        return std::nullopt;
    if (why = NotOwnerOnly(info); !why.empty())
        return std::nullopt;
    std::vector<uint8_t> text;
    if (!ReadUpTo(file.Get(), KeyFileLimit + 1, text) || text.size() > KeyFileLimit) {
        why = text.size() > KeyFileLimit ? _("not a public key (the file is too long)") : std::strerror(errno);
        return std::nullopt;
    }
    BIO* bio = BIO_new_mem_buf(text.data(), int(text.size()));
    EVP_PKEY* pkey = bio ? PEM_read_bio_PUBKEY(bio, nullptr, nullptr, nullptr) : nullptr;
    BIO_free(bio);
    PublicKeyBytes raw{};
    std::size_t length = raw.size();
    const bool ok = pkey && EVP_PKEY_get_id(pkey) == EVP_PKEY_ED25519 &&
                    EVP_PKEY_get_raw_public_key(pkey, raw.data(), &length) == 1 && length == raw.size();
    EVP_PKEY_free(pkey);
    if (!ok) {
        why = _("not an Ed25519 public key in PEM form");
        return std::nullopt;
    }
    return raw;
}

}  // namespace

TrustedKeys::TrustedKeys(const std::string& systemDirectory, const std::string& userDirectory) {
    if (!systemDirectory.empty())
        ReadDirectory(systemDirectory, true);
    if (!userDirectory.empty())
        ReadDirectory(userDirectory, false);
}

void TrustedKeys::ReadDirectory(const std::string& directory, bool system) {
    Descriptor dir(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dir.Valid()) {
        if (errno != ENOENT)
            Problems_.push_back(directory + ": " + std::strerror(errno));
        return;
    }
    // A directory others can write could hold a key anyone planted: none of its keys is used.
    struct stat info {};
    if (::fstat(dir.Get(), &info) != 0) {
        Problems_.push_back(directory + ": " + std::strerror(errno));
        return;
    }
    if (const std::string cause = NotOwnerOnly(info); !cause.empty()) {
        Problems_.push_back(directory + ": " + FormatText(_("%s; none of its keys is trusted"), cause.c_str()));
        return;
    }
    DIR* listing = ::fdopendir(::dup(dir.Get()));
    if (!listing) {
        Problems_.push_back(directory + ": " + std::strerror(errno));
        return;
    }
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(listing))
        if (entry->d_name[0] != '.' && names.size() < KeyLimit)
            names.emplace_back(entry->d_name);
    ::closedir(listing);
    std::sort(names.begin(), names.end());  // the same name for the same key, whatever order the directory keeps
    for (const std::string& name : names) {
        std::string why;
        const std::optional<PublicKeyBytes> key = ReadPublicKey(dir.Get(), name, why);
        if (!key) {
            Problems_.push_back(directory + "/" + name + ": " + why);
            continue;
        }
        std::string shown = name.ends_with(".pem") && name.size() > 4 ? name.substr(0, name.size() - 4) : name;
        // The name reaches terminals, windows and records: no control byte of a file name goes with it.
        for (char& c : shown)
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
                c = '?';
        Keys_.push_back({shown, *key, system});
    }
}

const TrustedKey* TrustedKeys::Find(const PublicKeyBytes& key) const {
    const TrustedKey* found = nullptr;
    for (const TrustedKey& k : Keys_)
        if (k.Key == key && (!found || (k.System && !found->System)))
            found = &k;
    return found;
}

std::string SystemTrustDirectory() { return SystemConfigDirectory() + "/trusted-keys"; }

std::string UserTrustDirectory() {
    const std::string base = UserConfigFolder();
    return base.empty() ? base : base + "/flashutil/trusted-keys";
}

TrustedKeys InstalledTrustedKeys() { return TrustedKeys(SystemTrustDirectory(), UserTrustDirectory()); }
