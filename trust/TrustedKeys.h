// SPDX-License-Identifier: Apache-2.0
#pragma once
// The signers a person or an administrator trusts: Ed25519 public keys in PEM form (as
// `openssl pkey -pubout` writes them), one to a file, in the system's directory
// (<system configuration>/trusted-keys, /etc/flashutil/trusted-keys as installed) and the
// user's ($XDG_CONFIG_HOME/flashutil/trusted-keys, ~/.config when unset). A file's name,
// without a ".pem" ending, is the signer's name as shown. Files whose names start with '.'
// are left out; a file that holds no such key is named among the problems and trusts nobody.
// So does a key file, or a directory, that others than its owner can write or that is owned
// by another user than root or the reader: anyone could have planted it.

#include <optional>
#include <string>
#include <vector>

#include "areas/SignatureArea.h"

struct TrustedKey {
    std::string Name;
    PublicKeyBytes Key{};
    bool System = false;  // from the system's directory, which the administrator's policy counts
};

class TrustedKeys {
public:
    TrustedKeys() = default;
    // Reads the keys in systemDirectory and userDirectory ("" for none).
    TrustedKeys(const std::string& systemDirectory, const std::string& userDirectory);

    // The key with these bytes; a key in both directories is the system's.
    const TrustedKey* Find(const PublicKeyBytes& key) const;
    const std::vector<TrustedKey>& Keys() const { return Keys_; }
    // "<file>: <cause>" for every file that could not be read as a key.
    const std::vector<std::string>& Problems() const { return Problems_; }

private:
    void ReadDirectory(const std::string& directory, bool system);
    std::vector<TrustedKey> Keys_;
    std::vector<std::string> Problems_;
};

// The system's directory of trusted keys, and the user's from the environment ("" when
// neither XDG_CONFIG_HOME nor HOME names an absolute directory).
std::string SystemTrustDirectory();
std::string UserTrustDirectory();

// The keys of both directories, as every front end reads them.
TrustedKeys InstalledTrustedKeys();
