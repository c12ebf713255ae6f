// SPDX-License-Identifier: Apache-2.0
// Signed copies: the signature over a copy's areas, the keys people trust, the one verdict
// and the administrator's policy. Keys are made afresh by the openssl command for each test.

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <functional>

#include "TempDirectory.h"
#include "flash/ExitCodes.h"
#include "builder/Builder.h"
#include "trust/CopyVerdict.h"
#include "trust/Signature.h"
#include "trust/SignaturePolicy.h"
#include "trust/TrustDecision.h"
#include "trust/TrustedKeys.h"
#include "areas/VersionArea.h"

namespace {

using Bytes = std::vector<uint8_t>;

// The decision on verdict under policy, whether a run goes on with it, and --verify's code.
void ExpectDecision(const CopyVerdict& verdict, const SignaturePolicy& policy, TrustDecision::Kind kind, int verifyCode) {
    const TrustDecision decision = DecideTrust(verdict, policy);
    EXPECT_EQ(decision.Result, kind);
    const bool allowed = kind == TrustDecision::Kind::Trusted || kind == TrustDecision::Kind::UntrustedAllowed ||
                         kind == TrustDecision::Kind::UnsignedAllowed;
    EXPECT_EQ(decision.Allowed(), allowed);
    // Only a refusal has words, and every refusal has them.
    EXPECT_EQ(decision.Refusal.empty(), allowed);
    EXPECT_EQ(VerifyExitCode(decision), verifyCode);
}

// The command's standard output; "" when it failed.
std::string Output(const std::string& command) {
    std::string text;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, pipe))
            text += buffer;
        if (::pclose(pipe) != 0)
            text.clear();
    }
    return text;
}

// A fresh Ed25519 key pair: NAME.key (owner only) and NAME.pem, its public key.
void MakeKey(const TempDirectory& temp, const std::string& name) {
    const std::string key = temp / (name + ".key");
    ASSERT_EQ(std::system(("umask 077 && openssl genpkey -algorithm ed25519 -out '" + key + "' && openssl pkey -in '" +
                           key + "' -pubout -out '" + temp / (name + ".pem") + "'")
                              .c_str()),
              0);
}

Bytes Sha256Of(std::span<const uint8_t> bytes) {
    Bytes digest(32);
    unsigned length = 0;
    EXPECT_EQ(EVP_Digest(bytes.data(), bytes.size(), digest.data(), &length, EVP_sha256(), nullptr), 1);
    return digest;
}

SigningKey LoadKey(const std::string& path) {
    SigningKey key;
    std::string why;
    EXPECT_TRUE(LoadSigningKey(path, key, why)) << why;
    return key;
}

// A built copy's areas, as the builder writes them, signed with key.
struct Copy {
    Bytes Block = Bytes(Layout::TotalSize, 0), Seal, Version, Signature;

    explicit Copy(uint8_t imageByte, const Bytes& profiles = {}, std::size_t length = 4096) {
        const auto keyWord = OwnKeyWord();
        std::copy(keyWord.begin(), keyWord.end(), Block.begin());
        const Bytes image(length, imageByte);
        const Bytes fields = BuildFieldBytes({"RW-5200", "ACME    CD-RW RW5200", "1.00-1.10", "Acme", "normal"},
                                             "R120.BIN", uint32_t(image.size()));
        std::copy(fields.begin(), fields.end(), Block.begin() + Layout::KeyWordSize);
        std::copy(image.begin(), image.end(), Block.begin() + Layout::BlockSize);
        Reseal(profiles);
        Version.assign(EmbeddedVersionBytes(), EmbeddedVersionBytes() + VersionLayout::Size);
    }
    // The seal made again over the block as it now is: what a forger with the seal's recipe does.
    void Reseal(Bytes profiles = {}) {
        if (!Seal.empty() && profiles.empty() && !SealedProfiles(Seal.data()).empty())
            profiles.assign(SealedProfiles(Seal.data()).begin(), SealedProfiles(Seal.data()).end());
        const IdentityBlock view(Block.data());
        Seal = MakeSeal(OwnSealKeyWord(), {Block.data() + Layout::KeyWordSize, Layout::FieldBytes},
                        {view.Image(), view.SentImageLength()}, profiles);
    }
    // The seal and the signature as an earlier version made them: over the image alone.
    void AsEarlierVersion(const SigningKey& key) {
        const IdentityBlock view(Block.data());
        Seal[SealLayout::VersionOffset] = SealLayout::ImageOnlyVersion;
        const Bytes digest = Sha256Of({view.Image(), view.ImageLength()});
        std::copy(digest.begin(), digest.end(), Seal.begin() + SealLayout::ImageDigestOffset);
        Signature.assign(SignatureLayout::Size, 0);
        const SignatureKeyWord keyWord = OwnSignatureKeyWord();
        std::copy(keyWord.begin(), keyWord.end(), Signature.begin());
        Signature[SignatureLayout::FormatOffset] = SignatureLayout::ImageOnlyFormat;
        Signature[SignatureLayout::FlagsOffset] = SignatureLayout::Signed;
        const PublicKeyBytes signer = key.Public();
        std::copy(signer.begin(), signer.end(), Signature.begin() + SignatureLayout::PublicKeyOffset);
        const Bytes signature =
            key.Sign(SignedMessage(signer, view, Seal.data(), Version.data(), SignatureLayout::ImageOnlyFormat));
        ASSERT_EQ(signature.size(), SignatureLayout::SignatureSize);
        std::copy(signature.begin(), signature.end(), Signature.begin() + SignatureLayout::SignatureOffset);
    }
    void Sign(const SigningKey& key) {
        Signature = MakeSignatureArea(OwnSignatureKeyWord(), key, IdentityBlock(Block.data()), Seal.data(), Version.data());
        ASSERT_EQ(Signature.size(), SignatureLayout::Size);
    }
    CopyAreas Areas() const {
        return {Block.data(), Seal.data(), Version.data(), Signature.empty() ? nullptr : Signature.data(), ""};
    }
};

TEST(Signature, ASignedCopyIsTrustedByTheKeyInEitherDirectoryAndOnlyTheSystemsCountsUnderThePolicy) {
    TempDirectory temp;
    MakeKey(temp, "acme");
    std::filesystem::create_directories(temp / "system");
    std::filesystem::create_directories(temp / "user");
    Copy copy(0x55);
    copy.Sign(LoadKey(temp / "acme.key"));
    const std::string fingerprint = KeyFingerprint(PublicKeyBytes{});  // a different key's, for comparison
    const SignaturePolicy required{true, ""};

    // Not trusted anywhere: a warning with its fingerprint, and refused under the policy.
    CopyVerdict verdict = JudgeCopy(copy.Areas(), TrustedKeys(temp / "system", temp / "user"));
    EXPECT_EQ(verdict.Result, CopyVerdict::State::Untrusted);
    EXPECT_NE(verdict.Fingerprint, fingerprint);
    ExpectDecision(verdict, required, TrustDecision::Kind::UntrustedRefused, ExitCode::VerifyUntrusted);
    ExpectDecision(verdict, SignaturePolicy{}, TrustDecision::Kind::UntrustedAllowed, ExitCode::VerifyUntrusted);

    // Trusted by the user only: named, but that trust does not satisfy the administrator.
    std::filesystem::copy_file(temp / "acme.pem", temp / "user/Acme Firmware.pem");
    verdict = JudgeCopy(copy.Areas(), TrustedKeys(temp / "system", temp / "user"));
    EXPECT_EQ(verdict.Result, CopyVerdict::State::Trusted);
    EXPECT_EQ(verdict.Signer, "Acme Firmware");
    EXPECT_FALSE(verdict.SystemTrusted);
    ExpectDecision(verdict, required, TrustDecision::Kind::UserKeyOnlyRefused, ExitCode::VerifyPolicy);
    EXPECT_NE(DecideTrust(verdict, required).Refusal.find("Acme Firmware, a key only this user trusts"), std::string::npos);
    ExpectDecision(verdict, SignaturePolicy{}, TrustDecision::Kind::Trusted, ExitCode::Success);

    // Trusted by the system: the system's name wins, and the policy is met.
    std::filesystem::copy_file(temp / "acme.pem", temp / "system/acme");
    verdict = JudgeCopy(copy.Areas(), TrustedKeys(temp / "system", temp / "user"));
    EXPECT_EQ(verdict.Result, CopyVerdict::State::Trusted);
    EXPECT_EQ(verdict.Signer, "acme");
    EXPECT_TRUE(verdict.SystemTrusted);
    ExpectDecision(verdict, required, TrustDecision::Kind::Trusted, ExitCode::Success);
    // The one fingerprint form is what the manual page's openssl command prints.
    const std::string printed = Output("openssl pkey -pubin -in '" + temp / "acme.pem" + "' -outform DER | sha256sum");
    EXPECT_EQ(verdict.Fingerprint, "SHA256:" + printed.substr(0, 64));

    // Unsigned: as before without the policy, refused under it.
    copy.Signature.clear();
    verdict = JudgeCopy(copy.Areas(), TrustedKeys(temp / "system", temp / "user"));
    EXPECT_EQ(verdict.Result, CopyVerdict::State::Unsigned);
    ExpectDecision(verdict, SignaturePolicy{}, TrustDecision::Kind::UnsignedAllowed, ExitCode::VerifyUnsigned);
    ExpectDecision(verdict, required, TrustDecision::Kind::UnsignedRefused, ExitCode::VerifyUnsigned);
}

// Every byte class the signature covers, changed after signing with the seal made again to
// match: only the signature tells. Each row changes one.
TEST(Signature, EveryCoveredByteChangedAfterSigningBreaksIt) {
    TempDirectory temp;
    MakeKey(temp, "acme");
    MakeKey(temp, "other");
    const SigningKey key = LoadKey(temp / "acme.key");
    const Bytes profiles(Profiles::DataSize, 0x11);
    Copy other(0x66);
    other.Sign(LoadKey(temp / "other.key"));
    const struct {
        const char* Name;
        std::function<void(Copy&)> Change;
    } rows[] = {
        {"identity field", [](Copy& c) { c.Block[Layout::ModelOffset] ^= 1; c.Reseal(); }},
        {"image", [](Copy& c) { c.Block[Layout::BlockSize + 100] ^= 1; c.Reseal(); }},
        {"image length", [](Copy& c) { c.Block[Layout::ImageLengthOffset] ^= 1; c.Reseal(); }},
        {"bytes sent after the image", [](Copy& c) { c.Block[Layout::BlockSize + 16383] ^= 1; c.Reseal(); }},
        {"format: an earlier version's", [](Copy& c) { c.Signature[SignatureLayout::FormatOffset] = 1; }},
        {"flags: profiles taken out", [](Copy& c) { c.Seal.clear(); c.Reseal(Bytes()); }},
        {"profiles", [](Copy& c) { Bytes p(Profiles::DataSize, 0x12); c.Seal.clear(); c.Reseal(p); }},
        {"version area", [](Copy& c) { c.Version[VersionLayout::TextOffset] ^= 1; }},
        {"signature", [](Copy& c) { c.Signature[SignatureLayout::SignatureOffset + 5] ^= 1; }},
        {"signer's key", [&](Copy& c) {
             std::copy_n(other.Signature.begin() + SignatureLayout::PublicKeyOffset, SignatureLayout::PublicKeySize,
                         c.Signature.begin() + SignatureLayout::PublicKeyOffset);
         }},
        {"signature area moved from another copy", [&](Copy& c) { c.Signature = other.Signature; }},
        {"flags", [](Copy& c) { c.Signature[SignatureLayout::FlagsOffset] = 3; }},
    };
    for (const auto& row : rows) {
        Copy copy(0x55, profiles);
        copy.Sign(key);
        ASSERT_EQ(JudgeCopy(copy.Areas(), TrustedKeys()).Result, CopyVerdict::State::Untrusted) << row.Name;
        row.Change(copy);
        const CopyVerdict verdict = JudgeCopy(copy.Areas(), TrustedKeys());
        EXPECT_EQ(verdict.Result, CopyVerdict::State::Damaged) << row.Name;
        EXPECT_EQ(verdict.Seal.Result, SealCheck::State::Intact) << row.Name << ": the seal alone would not tell";
    }
}

// A copy as an earlier version signed it, over its image alone: still trusted, but where its
// last chunk sends bytes after the image it is said to cover less, and the policy counts it
// as not signed; an image that ends on a chunk's end leaves nothing uncovered.
TEST(Signature, AnEarlierVersionsSignatureOverLessThanIsSentIsNotASignatureToThePolicy) {
    TempDirectory temp;
    MakeKey(temp, "acme");
    std::filesystem::create_directories(temp / "system");
    std::filesystem::copy_file(temp / "acme.pem", temp / "system/acme.pem");
    const SigningKey key = LoadKey(temp / "acme.key");
    const TrustedKeys trusted(temp / "system", temp / "none");
    const SignaturePolicy required{true, ""};

    Copy copy(0x55);
    copy.AsEarlierVersion(key);
    CopyVerdict verdict = JudgeCopy(copy.Areas(), trusted);
    ASSERT_EQ(verdict.Result, CopyVerdict::State::Trusted);
    EXPECT_TRUE(verdict.SealCoversLess && verdict.SignatureCoversLess);
    EXPECT_EQ(verdict.SignatureCovers, 4096u);
    EXPECT_EQ(verdict.Sent, 16384u);
    EXPECT_NE(ShortCoverage(verdict).find("4096 of the 16384"), std::string::npos) << ShortCoverage(verdict);
    ExpectDecision(verdict, required, TrustDecision::Kind::PartlySignedRefused, ExitCode::VerifyPolicy);
    EXPECT_NE(DecideTrust(verdict, required).Refusal.find("not signed over every byte"), std::string::npos);
    ExpectDecision(verdict, SignaturePolicy{}, TrustDecision::Kind::Trusted, ExitCode::Success);
    // What it leaves uncovered can be changed unseen: the reason it is not a signature here.
    copy.Block[Layout::BlockSize + 5000] ^= 1;
    EXPECT_EQ(JudgeCopy(copy.Areas(), trusted).Result, CopyVerdict::State::Trusted);

    Copy whole(0x55, {}, Layout::ImageCapacity);
    whole.AsEarlierVersion(key);
    verdict = JudgeCopy(whole.Areas(), trusted);
    ASSERT_EQ(verdict.Result, CopyVerdict::State::Trusted);
    EXPECT_FALSE(verdict.SealCoversLess || verdict.SignatureCoversLess);
    EXPECT_EQ(ShortCoverage(verdict), "");
    ExpectDecision(verdict, required, TrustDecision::Kind::Trusted, ExitCode::Success);

    // This version's copy covers every byte sent.
    Copy current(0x55);
    current.Sign(key);
    verdict = JudgeCopy(current.Areas(), trusted);
    EXPECT_EQ(verdict.SignatureCovers, 16384u);
    ExpectDecision(verdict, required, TrustDecision::Kind::Trusted, ExitCode::Success);
}

TEST(Signature, APrivateKeyOthersCanReadIsRefusedAsSshRefusesOne) {
    TempDirectory temp;
    MakeKey(temp, "acme");
    const std::string key = temp / "acme.key";
    const struct {
        mode_t Mode;
        bool Loads;
    } rows[] = {{0600, true}, {0400, true}, {0640, false}, {0604, false}, {0644, false}};
    for (const auto& row : rows) {
        ASSERT_EQ(::chmod(key.c_str(), row.Mode), 0);
        SigningKey loaded;
        std::string why;
        EXPECT_EQ(LoadSigningKey(key, loaded, why), row.Loads) << std::oct << row.Mode;
        if (!row.Loads) {
            EXPECT_NE(why.find("too open"), std::string::npos) << why;
        }
    }
    // A public key, or a key of another kind, signs nothing.
    SigningKey loaded;
    std::string why;
    ::chmod((temp / "acme.pem").c_str(), 0600);
    EXPECT_FALSE(LoadSigningKey(temp / "acme.pem", loaded, why));
    ASSERT_EQ(std::system(("umask 077 && openssl genpkey -algorithm ec -pkeyopt ec_paramgen_curve:P-256 -out '" +
                           temp / "ec.key" + "' 2>/dev/null").c_str()), 0);
    EXPECT_FALSE(LoadSigningKey(temp / "ec.key", loaded, why));
    EXPECT_NE(why.find("not an Ed25519 key"), std::string::npos) << why;
}

// A key or a directory of keys that others than its owner can write could hold a key anyone
// planted: it trusts nobody, and the problem names it.
TEST(Signature, AKeyOrADirectoryOthersCanWriteTrustsNobody) {
    TempDirectory temp;
    MakeKey(temp, "acme");
    Copy copy(0x55);
    copy.Sign(LoadKey(temp / "acme.key"));
    for (const std::string directory : {"system", "user"}) {
        std::filesystem::create_directories(temp / directory);
        ::chmod((temp / directory).c_str(), 0755);
        const std::string key = temp / (directory + "/acme.pem");
        std::filesystem::copy_file(temp / "acme.pem", key);
        ::chmod(key.c_str(), 0644);
        auto judged = [&] {
            const TrustedKeys trusted = directory == "system" ? TrustedKeys(temp / "system", "")
                                                              : TrustedKeys("", temp / "user");
            return std::make_pair(JudgeCopy(copy.Areas(), trusted).Result, trusted.Problems());
        };
        ASSERT_EQ(judged().first, CopyVerdict::State::Trusted) << directory;
        const struct {
            std::string Path;
            mode_t Mode;
        } rows[] = {{temp / directory, 0777}, {temp / directory, 0775}, {key, 0666}, {key, 0664}};
        for (const auto& row : rows) {
            const mode_t before = row.Path == key ? 0644 : 0755;
            ::chmod(row.Path.c_str(), row.Mode);
            const auto [result, problems] = judged();
            EXPECT_EQ(result, CopyVerdict::State::Untrusted) << row.Path << " " << std::oct << row.Mode;
            ASSERT_EQ(problems.size(), 1u) << row.Path;
            EXPECT_EQ(problems[0].rfind(row.Path + ": ", 0), 0u) << problems[0];
            EXPECT_NE(problems[0].find("writable by others"), std::string::npos) << problems[0];
            ::chmod(row.Path.c_str(), before);
        }
        // Owned by another user than root or the reader: only root can make one to test.
        if (::geteuid() == 0) {
            ASSERT_EQ(::chown(key.c_str(), 65534, 65534), 0);
            const auto [result, problems] = judged();
            EXPECT_EQ(result, CopyVerdict::State::Untrusted) << directory;
            ASSERT_EQ(problems.size(), 1u);
            EXPECT_NE(problems[0].find("owned by another user"), std::string::npos) << problems[0];
        }
        std::filesystem::remove(key);
    }
}

TEST(SignaturePolicy, OnlyAnExplicitNoOrNoFileLeavesSignaturesOptional) {
    TempDirectory temp;
    using namespace std::string_literals;
    const struct {
        std::string Text;  // "(none)": no file
        bool Required;
        const char* Problem;  // where the problem is named; nullptr for none
    } rows[] = {
        {"(none)", false, nullptr},
        {"", false, nullptr},
        {"# RequireSignature=yes\n", false, nullptr},
        {"\n  \t\n# a comment\n  # another\nRequireSignature=no", false, nullptr},
        {"RequireSignature=no\n", false, nullptr},
        {"RequireSignature=yes\n", true, nullptr},
        {" \tRequireSignature = yes \t\n", true, nullptr},
        {"RequireSignature=yes\nRequireSignature=no\n", true, nullptr},
        // Anything else, on any line, requires signatures and names the line.
        {"RequireSignature=maybe\n", true, ":1: RequireSignature is 'maybe'"},
        {"RequireSignature=no\nOtherSetting=1\n", true, ":2: "},
        {"\xEF\xBB\xBFRequireSignature=no\n", true, ":1: "},
        {"\xEF\xBB\xBFRequireSignature=yes\n", true, ":1: "},
        {"requiresignature=yes\n", true, ":1: "},
        {"RequireSignature: yes\n", true, ":1: "},
        {"RequireSignature yes\n", true, ":1: "},
        {"RequireSignature\n", true, ":1: "},
        {"export RequireSignature=yes\n", true, ":1: "},
        {"Require\0Signature=yes\n"s, true, ":1: "},
        {"RequireSignature=no # not yet\n", true, ":1: "},
        {"RequireSignature=No\n", true, ":1: "},
        {"# policy\r\nRequireSignature=no\r\n", true, ":1: "},
        {"RequireSignature=no\r\n", true, ":1: "},
        {"RequireSignature=\x1b[2Jno\n", true, ":1: RequireSignature is '?[2Jno'"},
    };
    const std::string path = temp / "flashutil.conf";
    for (const auto& row : rows) {
        std::filesystem::remove(path);
        if (row.Text != "(none)") {
            WriteFile(path, row.Text);
            ::chmod(path.c_str(), 0644);
        }
        const SignaturePolicy policy = ReadSignaturePolicy(path);
        EXPECT_EQ(policy.RequireSignature, row.Required) << row.Text;
        if (row.Problem)
            EXPECT_EQ(policy.Problem.rfind(path + row.Problem, 0), 0u) << row.Text << ": " << policy.Problem;
        else
            EXPECT_EQ(policy.Problem, "") << row.Text;
    }

    // A file the program can't read, or that others could have written, requires signatures.
    std::filesystem::remove(path);
    std::filesystem::create_symlink(temp / "nowhere", path);
    EXPECT_TRUE(ReadSignaturePolicy(path).RequireSignature) << "a symbolic link that leads nowhere";
    EXPECT_NE(ReadSignaturePolicy(path).Problem, "");
    std::filesystem::remove(path);
    ASSERT_EQ(::mkfifo(path.c_str(), 0644), 0);
    EXPECT_TRUE(ReadSignaturePolicy(path).RequireSignature) << "a FIFO, read without waiting";
    std::filesystem::remove(path);
    std::filesystem::create_symlink("/dev/urandom", path);
    EXPECT_TRUE(ReadSignaturePolicy(path).RequireSignature) << "a device";
    std::filesystem::remove(path);
    std::filesystem::create_directories(path);
    EXPECT_TRUE(ReadSignaturePolicy(path).RequireSignature) << "a directory";
    std::filesystem::remove(path);
    WriteFile(path, std::string(64 * 1024 + 1, '#'));
    EXPECT_TRUE(ReadSignaturePolicy(path).RequireSignature) << "longer than a policy file";
    WriteFile(path, "RequireSignature=no\n");
    ::chmod(path.c_str(), 0666);
    EXPECT_TRUE(ReadSignaturePolicy(path).RequireSignature) << "a file anyone can write";
    ::chmod(path.c_str(), 0644);
    ::chmod(temp.Path().c_str(), 0777);
    EXPECT_TRUE(ReadSignaturePolicy(path).RequireSignature) << "in a directory anyone can write";
    std::filesystem::remove(path);
    EXPECT_TRUE(ReadSignaturePolicy(path).RequireSignature) << "missing from a directory anyone can write";
    ::chmod(temp.Path().c_str(), 0700);
    EXPECT_FALSE(ReadSignaturePolicy(path).RequireSignature) << "no file";
    EXPECT_FALSE(ReadSignaturePolicy(temp / "none/flashutil.conf").RequireSignature) << "no directory";
}

}  // namespace
