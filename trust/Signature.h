// SPDX-License-Identifier: Apache-2.0
#pragma once
// Ed25519 signatures over a built copy (through OpenSSL's libcrypto).
//
// The signed message is a context string of this program naming the area's format, then the
// signer's public key, the 137 identity field bytes, the bytes of the image area a run sends
// (IdentityBlock::SentImageLength; format 1, of earlier versions: the image's stored length
// of bytes), the seal area after its key-word (version, flags, digests and the maker's
// profiles) and the whole version area.
// The context string keeps a signature made for anything else from ever passing as one of
// a utility; the public key and the areas bind the signature to this copy, so a signature
// area moved into another copy does not match there.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "areas/IdentityBlock.h"
#include "areas/SignatureArea.h"

// A maker's private key, read from a PEM file.
class SigningKey {
public:
    SigningKey();
    ~SigningKey();
    SigningKey(SigningKey&&) noexcept;
    SigningKey& operator=(SigningKey&&) noexcept;

    bool Loaded() const;
    PublicKeyBytes Public() const;
    // The signature of message; empty when signing failed.
    std::vector<uint8_t> Sign(const std::vector<uint8_t>& message) const;

    struct Key;
    std::unique_ptr<Key> Held;
};

// Reads an Ed25519 private key in PEM form (as `openssl genpkey -algorithm ed25519` writes
// it). A key file that its group or others may read is refused, as ssh refuses one: whoever
// else could read it could sign as the maker. False with why set, naming the file and the cause.
bool LoadSigningKey(const std::string& path, SigningKey& key, std::string& why);

// The message a signature of the given format covers (see above). seal and version may be
// null (no such area).
std::vector<uint8_t> SignedMessage(const PublicKeyBytes& signer, const IdentityBlock& utility, const uint8_t* seal,
                                   const uint8_t* version, uint32_t format = SignatureLayout::Format);

// The whole signature area for a utility: key-word, signer's key and signature. Empty when
// signing failed.
std::vector<uint8_t> MakeSignatureArea(const SignatureKeyWord& keyWord, const SigningKey& key,
                                       const IdentityBlock& utility, const uint8_t* seal, const uint8_t* version);

struct SignatureCheck {
    enum class State { Valid, Unsigned, Broken } Result = State::Broken;
    std::string Cause;      // what is wrong, when broken
    PublicKeyBytes Signer{};  // the key the area names, when valid or broken with a readable key
    // Of the image area's Sent bytes a run sends, the first Covered are what a valid signature
    // covers: all of them, unless an earlier version made it.
    uint32_t Covered = 0, Sent = 0;

    bool CoversLessThanSent() const { return Result == State::Valid && Covered < Sent; }
};

// Checks a signature area against the utility's other areas. A null area is unsigned.
SignatureCheck CheckSignature(const IdentityBlock& utility, const uint8_t* seal, const uint8_t* version,
                              const uint8_t* signature);

// The one form a key is shown in: "SHA256:" and the SHA-256 of its DER SubjectPublicKeyInfo
// in hex, as `openssl pkey -pubin -in KEY.pem -outform DER | sha256sum` prints it.
std::string KeyFingerprint(const PublicKeyBytes& key);
