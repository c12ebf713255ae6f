// SPDX-License-Identifier: Apache-2.0
#include "trust/Signature.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "base/RegularFile.h"
#include "base/LittleEndian.h"
#include "base/Sha256.h"
#include "areas/Seal.h"
#include "areas/VersionArea.h"
#include "ui/Translate.h"

namespace {

// Names this program, the purpose and the format, so no signature made for anything else
// passes, nor one of a format for another.
constexpr char Context[] = "flashutil signed utility, format 2";
constexpr char ImageOnlyContext[] = "flashutil signed utility, format 1";
// What precedes the 32 key bytes in an Ed25519 SubjectPublicKeyInfo (RFC 8410).
constexpr uint8_t SpkiPrefix[] = {0x30, 0x2a, 0x30, 0x05, 0x06, 0x03, 0x2b, 0x65, 0x70, 0x03, 0x21, 0x00};
// A PEM key is a few hundred bytes; more is no key.
constexpr std::size_t KeyFileLimit = 64 * 1024;

// Never asks for a pass phrase: an encrypted key is refused, not prompted for.
int NoPassphrase(char*, int, int, void*) { return 0; }

}  // namespace

struct SigningKey::Key {
    EVP_PKEY* Pkey = nullptr;
    ~Key() { EVP_PKEY_free(Pkey); }
};

SigningKey::SigningKey() = default;
SigningKey::~SigningKey() = default;
SigningKey::SigningKey(SigningKey&&) noexcept = default;
SigningKey& SigningKey::operator=(SigningKey&&) noexcept = default;

bool SigningKey::Loaded() const { return Held && Held->Pkey; }

PublicKeyBytes SigningKey::Public() const {
    PublicKeyBytes raw{};
    std::size_t length = raw.size();
    if (!Loaded() || EVP_PKEY_get_raw_public_key(Held->Pkey, raw.data(), &length) != 1 || length != raw.size())
        raw.fill(0);
    return raw;
}

std::vector<uint8_t> SigningKey::Sign(const std::vector<uint8_t>& message) const {
    std::vector<uint8_t> signature(SignatureLayout::SignatureSize);
    std::size_t length = signature.size();
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    const bool ok = Loaded() && context && EVP_DigestSignInit(context, nullptr, nullptr, nullptr, Held->Pkey) == 1 &&
                    EVP_DigestSign(context, signature.data(), &length, message.data(), message.size()) == 1 &&
                    length == signature.size();
    EVP_MD_CTX_free(context);
    if (!ok)
        signature.clear();
    return signature;
}

bool LoadSigningKey(const std::string& path, SigningKey& key, std::string& why) {
    auto fail = [&](const std::string& cause) {
        why = path + ": " + cause;
        return false;
    };
    struct stat info {};
    std::string cause;
    const Descriptor file = OpenRegularFile(path, cause, _("not a regular file"), &info);
    if (!file.Valid())
        return fail(cause);
    if ((info.st_mode & 077) != 0) {
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", unsigned(info.st_mode & 07777));
        return fail(FormatText(_("permissions %s are too open: a private key must be readable by its owner only "
                                 "(chmod 600)"),
                               mode));
    }
    std::vector<uint8_t> text;
    if (!ReadUpTo(file.Get(), KeyFileLimit + 1, text))
        return fail(std::strerror(errno));
    if (text.size() > KeyFileLimit)
        return fail(_("not a private key (the file is too long)"));
    BIO* bio = BIO_new_mem_buf(text.data(), int(text.size()));
    EVP_PKEY* pkey = bio ? PEM_read_bio_PrivateKey(bio, nullptr, NoPassphrase, nullptr) : nullptr;
    BIO_free(bio);
    std::fill(text.begin(), text.end(), 0);
    if (!pkey)
        return fail(_("not an unencrypted private key in PEM form"));
    key.Held = std::make_unique<SigningKey::Key>();
    key.Held->Pkey = pkey;
    if (EVP_PKEY_get_id(pkey) != EVP_PKEY_ED25519) {
        key.Held.reset();
        return fail(_("not an Ed25519 key (make one with: openssl genpkey -algorithm ed25519)"));
    }
    return true;
}

namespace {

// The image area's bytes a signature of format covers.
std::size_t SignedImageBytes(const IdentityBlock& utility, uint32_t format) {
    if (format == SignatureLayout::ImageOnlyFormat)
        return std::min<std::size_t>(utility.ImageLength(), Layout::ImageCapacity);
    return utility.SentImageLength();
}

}  // namespace

std::vector<uint8_t> SignedMessage(const PublicKeyBytes& signer, const IdentityBlock& utility, const uint8_t* seal,
                                   const uint8_t* version, uint32_t format) {
    // The context with its NUL, so nothing can run on from it.
    std::vector<uint8_t> message = format == SignatureLayout::ImageOnlyFormat
                                       ? std::vector<uint8_t>(ImageOnlyContext, ImageOnlyContext + sizeof ImageOnlyContext)
                                       : std::vector<uint8_t>(Context, Context + sizeof Context);
    message.insert(message.end(), signer.begin(), signer.end());
    message.insert(message.end(), utility.Raw() + Layout::KeyWordSize, utility.Raw() + Layout::BlockSize);
    message.insert(message.end(), utility.Image(), utility.Image() + SignedImageBytes(utility, format));
    // Each area with a byte saying whether the copy has it, so that no two copies meet in one message.
    message.push_back(seal != nullptr);
    if (seal)
        message.insert(message.end(), seal + SealLayout::VersionOffset, seal + SealLayout::Size);
    message.push_back(version != nullptr);
    if (version)
        message.insert(message.end(), version, version + VersionLayout::Size);
    return message;
}

std::vector<uint8_t> MakeSignatureArea(const SignatureKeyWord& keyWord, const SigningKey& key,
                                       const IdentityBlock& utility, const uint8_t* seal, const uint8_t* version) {
    const PublicKeyBytes signer = key.Public();
    const std::vector<uint8_t> signature = key.Sign(SignedMessage(signer, utility, seal, version));
    if (signature.size() != SignatureLayout::SignatureSize)
        return {};
    std::vector<uint8_t> area(SignatureLayout::Size, 0);
    std::copy(keyWord.begin(), keyWord.end(), area.begin());
    PutLittle(area.data() + SignatureLayout::FormatOffset, SignatureLayout::Format);
    PutLittle(area.data() + SignatureLayout::FlagsOffset, SignatureLayout::Signed);
    std::copy(signer.begin(), signer.end(), area.begin() + SignatureLayout::PublicKeyOffset);
    std::copy(signature.begin(), signature.end(), area.begin() + SignatureLayout::SignatureOffset);
    return area;
}

SignatureCheck CheckSignature(const IdentityBlock& utility, const uint8_t* seal, const uint8_t* version,
                              const uint8_t* signature) {
    using State = SignatureCheck::State;
    if (!signature)
        return {State::Unsigned, "", {}};
    const uint32_t format = Little(signature + SignatureLayout::FormatOffset),
                   flags = Little(signature + SignatureLayout::FlagsOffset);
    if ((format != SignatureLayout::Format && format != SignatureLayout::ImageOnlyFormat) ||
        signature[SignatureLayout::KeyWordSize] != 0)
        return {State::Broken, N_("its signature area is malformed"), {}};
    const uint8_t* rest = signature + SignatureLayout::PublicKeyOffset;
    if (flags == 0) {
        // Unsigned only as the toolchain made it: anything left after the flags is damage.
        if (std::any_of(rest, signature + SignatureLayout::Size, [](uint8_t b) { return b != 0; }))
            return {State::Broken, N_("its signature area is malformed"), {}};
        return {State::Unsigned, "", {}};
    }
    if (flags != SignatureLayout::Signed)
        return {State::Broken, N_("its signature area is malformed"), {}};
    SignatureCheck check{State::Broken, N_("its signature does not match its contents"), {}};
    std::copy(rest, rest + SignatureLayout::PublicKeySize, check.Signer.begin());
    EVP_PKEY* pkey = EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr, rest, SignatureLayout::PublicKeySize);
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    const std::vector<uint8_t> message = SignedMessage(check.Signer, utility, seal, version, format);
    if (pkey && context && EVP_DigestVerifyInit(context, nullptr, nullptr, nullptr, pkey) == 1 &&
        EVP_DigestVerify(context, signature + SignatureLayout::SignatureOffset, SignatureLayout::SignatureSize,
                         message.data(), message.size()) == 1)
        check = {State::Valid, "", check.Signer, uint32_t(SignedImageBytes(utility, format)),
                 utility.SentImageLength()};
    EVP_MD_CTX_free(context);
    EVP_PKEY_free(pkey);
    return check;
}

std::string KeyFingerprint(const PublicKeyBytes& key) {
    std::vector<uint8_t> spki(SpkiPrefix, SpkiPrefix + sizeof SpkiPrefix);
    spki.insert(spki.end(), key.begin(), key.end());
    const Sha256Bytes digest = Sha256Of({spki});
    return "SHA256:" + HexBytes(digest.data(), digest.size());
}
