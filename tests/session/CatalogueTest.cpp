// SPDX-License-Identifier: Apache-2.0
// A folder of utilities: what is a candidate, what is skipped and why, and which utility each
// drive gets, on copies the builder made from the real program.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "builder/Builder.h"
#include "image/TempDirectory.h"
#include "session/CatalogueChoice.h"
#include "session/FlashPlan.h"
#include "support/ScriptedUserInterface.h"

namespace {

namespace fs = std::filesystem;

const std::string P1 = "KAVENO  QRW-70514S      ";
const std::string P2 = "ACME    CD-RW RW5200    ";

class CatalogueFolder : public ::testing::Test {
protected:
    TempDirectory Dir;
    std::string Folder = Dir / "firmware";
    std::string Blank = Dir / "flashutil";

    void SetUp() override {
        fs::create_directory(Folder);
        fs::copy_file(FLASHUTIL_BINARY, Blank);
    }

    // A copy built for inquiry and range installing the revision of binName, into the folder as name.
    void Built(const std::string& name, const std::string& inquiry, const std::string& range,
               const std::string& binName, uint8_t imageByte, const SigningKey* signer = nullptr) {
        const std::string out = Dir / ("out-" + name);
        fs::create_directory(out);
        WriteFile(Dir / binName, std::vector<uint8_t>(40000, imageByte));
        BuildRequest r;
        r.ImagePath = Dir / binName;
        r.SelectedBinName = binName;
        r.Model = {"QRW-70512K", inquiry, range, "Kavenotek", "normal"};
        r.OutputDirectory = out;
        r.ExecutablePath = Blank;
        r.ProgramName = "flashutil";
        r.KeyWord = OwnKeyWord();
        r.Signer = signer;
        ScriptedUserInterface ui;
        ASSERT_TRUE(BuildFlashProgram(r, ui).Built) << name;
        fs::rename(fs::directory_iterator(out)->path(), Folder + "/" + name);
    }

    Catalogue Scan(const SignaturePolicy& policy = {}, const TrustedKeys& trusted = {}) {
        Catalogue catalogue;
        std::string why;
        EXPECT_TRUE(ScanCatalogue(Folder, trusted, policy, catalogue, why)) << why;
        return catalogue;
    }

    static std::string SkipOf(const Catalogue& catalogue, const std::string& name) {
        for (const CatalogueSkip& skip : catalogue.Skipped)
            if (skip.Name == name)
                return skip.Reason;
        return "(not skipped)";
    }
};

TEST_F(CatalogueFolder, EachDriveGetsTheHighestFittingRevisionOrAReason) {
    Built("a", P1, "QF01-QF9Z", "QF05.BIN", 0x11);
    Built("b", P1, "QF01-QF9Z", "QF07.BIN", 0x22);
    fs::copy_file(Folder + "/b", Folder + "/b-again");  // the same image of the same revision: one
    Built("c", P2, "1.00-1.90", "1.50.BIN", 0x33);
    Built("d", P2, "1.00-1.90", "1.50.BIN", 0x44);  // the same revision, another image
    const Catalogue catalogue = Scan();
    ASSERT_EQ(catalogue.Utilities.size(), 5u);
    auto chosen = [&](const CatalogueChoice& c) { return catalogue.Utilities[std::size_t(c.Utility)].Name; };

    CatalogueChoice choice = ChooseUtility(catalogue, {5, P1, "QF02"});
    ASSERT_EQ(choice.Result, CatalogueChoice::Kind::Fits) << choice.Why;
    EXPECT_EQ(chosen(choice), "b");
    // Above the lower one, below the higher one: still the higher one.
    choice = ChooseUtility(catalogue, {5, P1, "QF06"});
    ASSERT_EQ(choice.Result, CatalogueChoice::Kind::Fits);
    EXPECT_EQ(chosen(choice), "b");

    choice = ChooseUtility(catalogue, {5, P1, "QF07"});
    EXPECT_EQ(choice.Result, CatalogueChoice::Kind::UpToDate);
    EXPECT_EQ(choice.Why, "up to date: already at FW:QF07, not below FW:QF07 of b");

    choice = ChooseUtility(catalogue, {5, P2, "1.10"});
    EXPECT_EQ(choice.Result, CatalogueChoice::Kind::Ambiguous);
    EXPECT_EQ(choice.Why, "ambiguous: c and d both install FW:1.50 with different images; nothing is sent to it");

    // Outside every range, another product, not an optical drive: none fits.
    for (const CatalogueDrive& drive : {CatalogueDrive{5, P1, "QF00"}, CatalogueDrive{5, "OTHER   WRITER 9        ", "2.00"},
                                        CatalogueDrive{0, P1, "QF02"}}) {
        choice = ChooseUtility(catalogue, drive);
        EXPECT_EQ(choice.Result, CatalogueChoice::Kind::NoUtility) << drive.Product;
        EXPECT_EQ(choice.Why, "no utility in " + Folder + " for " + DriveWords(drive));
    }
    EXPECT_EQ(DriveWords({5, "OTHER   WRITER 9        ", "2.00"}), "OTHER WRITER 9 2.00");
}

TEST_F(CatalogueFolder, JunkAndHostileEntriesAreSkippedWithTheirReasonWithoutBlocking) {
    Built("any-drive", "--", "QF01-QF9Z", "QF05.BIN", 0x11);
    Built("any-revision", P1, "-    -", "QF05.BIN", 0x11);
    Built("damaged", P1, "QF01-QF9Z", "QF05.BIN", 0x11);
    {
        std::vector<uint8_t> bytes = ReadFile(Folder + "/damaged");
        const std::vector<uint8_t> image(40000, 0x11);
        auto at = std::search(bytes.begin(), bytes.end(), image.begin(), image.end());
        ASSERT_NE(at, bytes.end());
        at[100] ^= 1;
        WriteFile(Folder + "/damaged", bytes);
    }
    fs::copy_file(FLASHUTIL_BINARY, Folder + "/flashutil");
    WriteFile(Folder + "/history.jsonl", std::string("{\"event\":\"started\"}\n"));
    ASSERT_EQ(::mkfifo((Folder + "/fifo").c_str(), 0600), 0);
    fs::create_symlink("/dev/zero", Folder + "/zero");
    fs::create_symlink(Folder + "/missing", Folder + "/dangling");
    fs::create_directory(Folder + "/sub");
    fs::copy_file(Folder + "/damaged", Folder + "/sub/inside");
    WriteFile(Folder + "/huge", std::string());
    ASSERT_EQ(::truncate((Folder + "/huge").c_str(), off_t(FileSha256Limit) + 1), 0);  // sparse

    const Catalogue catalogue = Scan();
    EXPECT_TRUE(catalogue.Utilities.empty());
    EXPECT_EQ(catalogue.Skipped.size(), 10u);
    EXPECT_EQ(SkipOf(catalogue, "any-drive"),
              "ignored: made for any drive (Inquiry \"--\"); a folder never hands a drive such firmware");
    EXPECT_EQ(SkipOf(catalogue, "any-revision"),
              "ignored: made for any firmware revision (FwRange \"-\"); a folder never hands a drive such firmware");
    EXPECT_EQ(SkipOf(catalogue, "damaged").rfind("damaged (", 0), 0u) << SkipOf(catalogue, "damaged");
    EXPECT_EQ(SkipOf(catalogue, "flashutil"), "a blank copy of flashutil (a builder): it flashes no drive");
    EXPECT_EQ(SkipOf(catalogue, "history.jsonl"), "not a copy of flashutil (not a program file)");
    EXPECT_EQ(SkipOf(catalogue, "fifo"), "a FIFO");
    EXPECT_EQ(SkipOf(catalogue, "zero"), "a symbolic link to a device, not to a regular file");
    EXPECT_EQ(SkipOf(catalogue, "dangling").rfind("a symbolic link to nothing that can be looked at", 0), 0u);
    EXPECT_EQ(SkipOf(catalogue, "sub"), "a folder (folders in the folder are not looked in)");
    EXPECT_EQ(SkipOf(catalogue, "huge"), FileSha256LimitCause());
    EXPECT_EQ(catalogue.Skipped.front().Name, "any-drive");  // by file name
    EXPECT_FALSE(catalogue.Truncated);

    // Beyond the entries looked at, the rest is left alone, and said to be.
    for (std::size_t i = catalogue.Skipped.size(); i <= CatalogueEntryLimit; ++i)
        WriteFile(Folder + "/junk-" + std::to_string(i), std::string("x"));
    const Catalogue full = Scan();
    EXPECT_TRUE(full.Truncated);
    EXPECT_EQ(full.Skipped.size() + full.Utilities.size(), CatalogueEntryLimit);
    EXPECT_EQ(CatalogueTruncatedText(full),
              Folder + ": the folder holds more than 1000 entries; only 1000 were looked at");

    // A file that can't be read is skipped with the system's words (root reads it anyway).
    if (::geteuid() != 0) {
        Built("locked", P1, "QF01-QF9Z", "QF05.BIN", 0x11);
        ::chmod((Folder + "/locked").c_str(), 0);
        EXPECT_EQ(SkipOf(Scan(), "locked"), "Permission denied");
    }
}

TEST_F(CatalogueFolder, UnderThePolicyOnlyCopiesASystemKeySignedAreCandidates) {
    const std::string key = Dir / "maker.key";
    fs::create_directory(Dir / "system");
    ASSERT_EQ(std::system(("umask 077 && openssl genpkey -algorithm ed25519 -out '" + key + "' && openssl pkey -in '" +
                           key + "' -pubout -out '" + Dir / "system/maker.pem" + "'")
                              .c_str()),
              0);
    SigningKey signer;
    std::string why;
    ASSERT_TRUE(LoadSigningKey(key, signer, why)) << why;
    Built("signed", P1, "QF01-QF9Z", "QF05.BIN", 0x11, &signer);
    Built("unsigned", P1, "QF01-QF9Z", "QF07.BIN", 0x22);
    const TrustedKeys system(Dir / "system", ""), user("", Dir / "system");

    EXPECT_EQ(Scan({}, system).Utilities.size(), 2u);
    const Catalogue strict = Scan({true, {}}, system);
    ASSERT_EQ(strict.Utilities.size(), 1u);
    EXPECT_EQ(strict.Utilities[0].Name, "signed");
    EXPECT_EQ(strict.Utilities[0].Verdict.Signer, "maker");
    EXPECT_EQ(SkipOf(strict, "unsigned").rfind("refused by the signature policy: ", 0), 0u);
    // The drive gets the signed one, below the unsigned one's revision.
    EXPECT_EQ(ChooseUtility(strict, {5, P1, "QF02"}).Utility, 0);
    // A key only the user trusts does not count under the policy.
    EXPECT_TRUE(Scan({true, {}}, user).Utilities.empty());
}

// Without --all one drive is flashed: the first listed one a utility updates, not a drive
// already up to date ahead of it; with --all every drive a utility updates.
TEST_F(CatalogueFolder, OneDriveIsTheFirstAUtilityUpdates) {
    Built("a", P1, "QF01-QF9Z", "QF05.BIN", 0x11);
    Built("c", P2, "1.00-1.90", "1.50.BIN", 0x33);
    const Catalogue catalogue = Scan();
    const PlanCandidate drives[] = {{0, "QF05", "", 5, P1}, {1, "1.20", "", 5, P2}, {2, "QF01", "", 5, P1}};
    using D = DrivePlan::Decision;
    auto utility = [&](const DrivePlan& p) { return p.Utility < 0 ? "" : catalogue.Utilities[std::size_t(p.Utility)].Name; };

    const std::vector<DrivePlan> one = PlanFromFolder(catalogue, drives, false);
    EXPECT_EQ(one[0].Choice, D::Skip);
    EXPECT_NE(one[0].Reason.find("up to date"), std::string::npos) << one[0].Reason;
    EXPECT_EQ(one[1].Choice, D::Flash) << one[1].Reason;
    EXPECT_EQ(utility(one[1]), "c");
    EXPECT_EQ(one[2].Choice, D::Skip);

    const std::vector<DrivePlan> every = PlanFromFolder(catalogue, drives, true);
    EXPECT_EQ(every[0].Choice, D::Refuse);
    EXPECT_EQ(utility(every[1]), "c");
    EXPECT_EQ(utility(every[2]), "a");
}

}  // namespace
