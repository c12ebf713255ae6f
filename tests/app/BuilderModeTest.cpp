// SPDX-License-Identifier: Apache-2.0
// Builder mode in the window: a blank copy with its model file, the file list, the Build
// button, and a built copy that starts the window in flash mode.

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QTimer>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "FormFixture.h"
#include "areas/UtilityFile.h"
#include "app/gui/BuilderWindow.h"
#include "app/gui/FormLayout.h"
#include "builder/Builder.h"
#include "image/TempDirectory.h"

namespace {

const char* const TwoModels =
    "[MODEL00]\nModel=RW-5200\nInquiry=ACME    CD-RW RW5200\nFW-Range=1.00-1.10\n"
    "BINMask=RW*.BIN\nVendor=Acme\nNote=Plain\n"
    "[MODEL01]\nModel=DV-9\nInquiry=ACME    DVD DV9\nFW-Range=D100-D1ZZ\n"
    "BINMask=D*.BIN\nVendor=Acme\nNote=FLASH-ALL\n";

class BuilderModeTest : public FormTest {
protected:
    void SetUp() override {
        FormTest::SetUp();
        Previous = QDir::currentPath();
        ASSERT_FALSE(Dir.Path().empty());
        // The test program itself is a blank copy: its block holds the blank marker.
        ExecutablePath = Dir / "flashutil";
        std::filesystem::copy_file(FLASHUTIL_BINARY, ExecutablePath);
        View = std::make_unique<IdentityBlock>(IdentityBlock::Embedded());
        ASSERT_TRUE(View->IsBlankCopy());
        WriteFile(Dir / "flashutil.INI", std::string(TwoModels));
        Image.resize(0x80000);
        for (std::size_t i = 0; i < Image.size(); ++i)
            Image[i] = uint8_t(i * 13 + (i >> 11));
        WriteFile(Dir / "RW12.BIN", Image);
        WriteFile(Dir / "rw13.bin", Image);
        WriteFile(Dir / "D100.BIN", Image);
        WriteFile(Dir / "readme.txt", std::string("not an image"));
        QDir::setCurrent(QString::fromStdString(Dir.Path()));
    }
    void TearDown() override {
        QDir::setCurrent(Previous);
        FormTest::TearDown();
    }

    QStringList FileNames() const {
        QStringList names;
        for (int i = 0; i < Files().count(); ++i)
            names << Files().item(i)->text();
        return names;
    }
    // A click on the named file, as the person makes it.
    void ClickFile(const QString& name) {
        const QList<QListWidgetItem*> found = Files().findItems(name, Qt::MatchExactly);
        ASSERT_EQ(found.size(), 1);
        Files().setCurrentItem(found.first());
        emit Files().itemClicked(found.first());
    }
    void ChooseModel(int index) {
        Choice().setCurrentIndex(index);
        emit Choice().activated(index);
    }

    TempDirectory Dir;
    QString Previous;
    std::vector<uint8_t> Image;
};

}  // namespace

TEST_F(BuilderModeTest, StartsWithModelsAndFilesAtTheDesignedPlaces) {
    BuilderWindow& form = Create<BuilderWindow>();
    ASSERT_FALSE(form.StartUpEnded());
    EXPECT_TRUE(Messages.empty());  // no warning in builder mode

    // The file list stays in its place, and so does what lies below it.
    EXPECT_FALSE(Files().isHidden());
    EXPECT_EQ(Status().geometry(), FormLayout::GroupBox2);
    EXPECT_EQ(Button().geometry(), FormLayout::FlashButton);

    EXPECT_EQ(Text(Prompt().text()), "Select Model: ");
    EXPECT_EQ(Button().text(), "Build");
    EXPECT_FALSE(Button().isEnabled());
    ASSERT_EQ(Choice().count(), 2);
    EXPECT_EQ(Text(Choice().itemText(0)), "1.00-1.10 ACME    CD-RW RW5200");
    EXPECT_EQ(Choice().currentIndex(), 0);
    EXPECT_EQ(Text(form.windowTitle()), " Flash Utility V1.048 for1.00-1.10 [Buiding]");
    // The model's mask over the current directory, letter case ignored; nothing else.
    EXPECT_EQ(FileNames(), (QStringList{"RW12.BIN", "rw13.bin"}));
}

TEST_F(BuilderModeTest, BuildsThroughTheControls) {
    // The model names the maker's profiles relative to the model file.
    WriteFile(Dir / "flashutil.INI", std::string(TwoModels).replace(std::strlen("[MODEL00]\n"), 0,
                                                                  "Profiles=maker/chips.prf\n"));
    std::filesystem::create_directory(Dir / "maker");
    std::vector<uint8_t> profiles(Profiles::DataSize);
    for (std::size_t i = 0; i < profiles.size(); ++i)
        profiles[i] = uint8_t(i * 29 + 3);
    WriteFile(Dir / "maker/chips.prf", profiles);
    BuilderWindow& form = Create<BuilderWindow>();
    ASSERT_FALSE(form.StartUpEnded());
    ClickFile("rw13.bin");
    ASSERT_TRUE(Button().isEnabled());

    Button().click();

    EXPECT_EQ(Text(Status().title()), "Build rw13.EXE complete!");
    EXPECT_TRUE(Messages.empty());
    EXPECT_EQ(Bar().value(), 0);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    // The same model and file can be built again straight away.
    EXPECT_TRUE(Button().isEnabled());
    EXPECT_EQ(Text(form.windowTitle()), " Flash Utility V1.048 for1.00-1.10 [Buiding]");

    const std::vector<uint8_t> blank = ReadFile(ExecutablePath);
    const std::vector<uint8_t> built = ReadFile(Dir / "rw13.EXE");
    ASSERT_EQ(built.size(), blank.size());
    // The built copy carries the model and the image, and starts in flash mode.
    const auto keyWord = OwnKeyWord();
    const auto at = std::search(built.begin(), built.end(), keyWord.begin(), keyWord.end());
    ASSERT_NE(at, built.end());
    const IdentityBlock copy(&*at);
    EXPECT_FALSE(copy.IsBlankCopy());
    EXPECT_EQ(copy.Model(), "RW-5200");
    EXPECT_EQ(copy.NewFwName(), "RW13.");
    EXPECT_EQ(copy.ImageLength(), 0x80000u);
    EXPECT_TRUE(std::equal(Image.begin(), Image.end(), copy.Image()));

    // That copy's window offers a drive that fits the model.
    Form.reset();
    AddDrive(TestProduct, "1.05");
    View = std::make_unique<IdentityBlock>(copy);
    // With the seal the builder wrote into it: intact, so the start-up goes on unremarked.
    const SealKeyWord sealKey = OwnSealKeyWord();
    const auto seal = std::search(built.begin(), built.end(), sealKey.begin(), sealKey.end());
    ASSERT_NE(seal, built.end());
    Seal.assign(seal, seal + SealLayout::Size);
    const std::span<const uint8_t> carried = SealedProfiles(Seal.data());
    EXPECT_EQ(std::vector<uint8_t>(carried.begin(), carried.end()), profiles);
    Messages.clear();
    FlashWindow& flash = Create<FlashWindow>();
    ASSERT_FALSE(flash.StartUpEnded());
    ASSERT_FALSE(Messages.empty());
    EXPECT_EQ(Messages[0].Title, "Warning");
    EXPECT_EQ(Text(flash.windowTitle()), "Acme Flash Utility V1.048 forRW-5200");
    EXPECT_EQ(Choice().count(), 1);
}

TEST_F(BuilderModeTest, NamesKeepTheSystemsEncoding) {
    // A UTF-8 model file and an image file whose name lies outside Latin-1.
    WriteFile(Dir / "flashutil.INI", std::string("[MODEL00]\nModel=RW-5200\nInquiry=\xC3\x84" "CME \xE5\x88\xBB\xE5\xBD\x95\n"
                                                  "FW-Range=1.00-1.10\nBINMask=RW*.BIN\nVendor=Acme\nNote=Plain\n"));
    WriteFile(Dir / "RW\xCE\xA9" "1.BIN", Image);
    Create<BuilderWindow>();
    ASSERT_EQ(Choice().count(), 1);
    EXPECT_EQ(Choice().itemText(0), QString::fromUtf8("1.00-1.10 \u00C4" "CME \u523B\u5F55"));

    ClickFile(QString::fromUtf8("RW\u03A9" "1.BIN"));
    Button().click();
    // The output is named by the builder's rule from the name's own bytes, and so is the revision.
    const std::string output = BuildOutputName("RW\xCE\xA9" "1.BIN");
    EXPECT_NE(output.find("RW\xCE\xA9"), std::string::npos);
    EXPECT_EQ(Text(Status().title()), "Build " + output + " complete!");
    EXPECT_TRUE(Messages.empty());
    const std::vector<uint8_t> built = ReadFile(Dir / output);
    const auto keyWord = OwnKeyWord();
    const auto at = std::search(built.begin(), built.end(), keyWord.begin(), keyWord.end());
    ASSERT_NE(at, built.end());
    EXPECT_EQ(IdentityBlock(&*at).NewFwName().substr(0, 4), "RW\xCE\xA9");
}

TEST_F(BuilderModeTest, BuildButtonFollowsModelChangesAndClicks) {
    BuilderWindow& form = Create<BuilderWindow>();
    ClickFile("RW12.BIN");
    EXPECT_TRUE(Button().isEnabled());

    ChooseModel(1);
    EXPECT_FALSE(Button().isEnabled());
    EXPECT_EQ(FileNames(), QStringList{"D100.BIN"});
    EXPECT_EQ(Text(form.windowTitle()), " Flash Utility V1.048 forD100-D1ZZ [Buiding]");

    ClickFile("D100.BIN");
    EXPECT_TRUE(Button().isEnabled());
    Button().click();  // builds from the file clicked last
    EXPECT_EQ(Text(Status().title()), "Build D100.EXE complete!");

    // Back to the first model: Build waits for a new click, even on the same file name.
    ChooseModel(0);
    EXPECT_FALSE(Button().isEnabled());
    ClickFile("RW12.BIN");
    EXPECT_TRUE(Button().isEnabled());
}

TEST_F(BuilderModeTest, ControlsAreNamedForScreenReadersAndTheChoiceListAsModels) {
    BuilderWindow& form = Create<BuilderWindow>();
    ASSERT_FALSE(form.StartUpEnded());
    form.ChooseFirstFile();
    ExpectAccessibleNames();
    // The list holds models here, not drives as in a built copy.
    EXPECT_FALSE(Choice().accessibleName().contains(QStringLiteral("Drive"), Qt::CaseInsensitive));
    // The added folder button is reached by Alt and a letter, and is named too.
    const QPushButton& folder = Control<QPushButton>("FolderButton");
    EXPECT_TRUE(folder.text().contains(QLatin1Char('&')));
    EXPECT_FALSE(folder.accessibleName().isEmpty());
}

TEST_F(BuilderModeTest, MissingModelFileEndsTheProgramWithWhereToPutOne) {
    std::filesystem::remove(Dir / "flashutil.INI");
    ::setenv("XDG_CONFIG_HOME", (Dir / "config").c_str(), 1);
    BuilderWindow& form = Create<BuilderWindow>();
    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_TRUE(form.StartUpEnded());
    ASSERT_EQ(Messages.size(), 1u);
    const std::string& text = Messages[0].Text;
    EXPECT_EQ(text.substr(0, text.find('\n')), "Can't load " + (Dir / "flashutil.INI"));
    EXPECT_NE(text.find("cp /usr/share/doc/flashutil/examples/flashutil.INI " + (Dir / "config/flashutil/flashutil.INI")),
              std::string::npos) << text;
}

TEST_F(BuilderModeTest, ModelFileGivenOnTheCommandLineIsReadInsteadOfTheOneBeside) {
    WriteFile(Dir / "other.ini", std::string(TwoModels).substr(0, std::string(TwoModels).find("[MODEL01]")));
    ModelFile = Dir / "other.ini";
    BuilderWindow& form = Create<BuilderWindow>();
    ASSERT_FALSE(form.StartUpEnded());
    EXPECT_EQ(Choice().count(), 1);  // the file beside the program has two models
}

// Started from the menu with no model file anywhere: the chooser is asked instead of the
// "Can't load" box; a chosen file is read and kept for the next start, a cancelled choice ends
// the program with nothing shown.
TEST_F(BuilderModeTest, NoModelFileFromTheMenuAsksForOneAndKeepsIt) {
    std::filesystem::remove(Dir / "flashutil.INI");
    WriteFile(Dir / "elsewhere.ini", std::string(TwoModels));
    ::setenv("XDG_CONFIG_HOME", (Dir / "config").c_str(), 1);
    ChoicesFile = Dir / "config/flashutil/desktop.conf";
    for (const std::string& answer : std::vector<std::string>{"", Dir / "elsewhere.ini"}) {
        SCOPED_TRACE(answer);
        int asked = 0;
        ChooseModelFile = [&](const std::string&, const std::string&) { ++asked; return answer; };
        Messages.clear();
        BuilderWindow& form = Create<BuilderWindow>();
        EXPECT_EQ(asked, 1);
        EXPECT_TRUE(Messages.empty());
        EXPECT_EQ(form.StartUpEnded(), answer.empty());
        if (!answer.empty()) {
            EXPECT_EQ(Choice().count(), 2);
        }
    }
    // The next start from the menu finds the kept file without asking, also when it was
    // kept with CR LF line ends; a builder started any other way does not read the choices.
    const std::string kept = ChoicesFile;
    WriteFile(kept, "model-file=" + (Dir / "elsewhere.ini") + "\r\n");
    ChooseModelFile = [](const std::string&, const std::string&) {
        ADD_FAILURE() << "asked again";
        return std::string();
    };
    BuilderWindow& again = Create<BuilderWindow>();
    EXPECT_FALSE(again.StartUpEnded());
    EXPECT_TRUE(Messages.empty());
    EXPECT_EQ(Choice().count(), 2);
    ChooseModelFile = nullptr;
    ChoicesFile.clear();
    BuilderWindow& other = Create<BuilderWindow>();
    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_TRUE(other.StartUpEnded());
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].Text.rfind("Can't load ", 0), 0u) << Messages[0].Text;
}

// The menu-started builder's chooser opens at the example model file of the program's
// prefix, not at home; the image list then shows the chosen file's folder, now and next time.
TEST_F(BuilderModeTest, ModelFileChooserStartsAtTheExampleAndTheListFollowsTheChoice) {
    const std::filesystem::path prefix = Dir / "usr";
    std::filesystem::create_directories(prefix / "bin");
    std::filesystem::create_directories(prefix / "share/doc/flashutil/examples");
    std::filesystem::copy_file(ExecutablePath, prefix / "bin/flashutil");
    ExecutablePath = prefix / "bin/flashutil";
    WriteFile(prefix / "share/doc/flashutil/examples/flashutil.INI", std::string(TwoModels));
    std::filesystem::create_directory(Dir / "maker");
    WriteFile(Dir / "maker/models.ini", std::string(TwoModels));
    WriteFile(Dir / "maker/RW30.BIN", Image);
    ::setenv("XDG_CONFIG_HOME", (Dir / "config").c_str(), 1);
    ChoicesFile = Dir / "config/flashutil/desktop.conf";
    std::string started;
    ChooseModelFile = [&](const std::string&, const std::string& start) {
        started = start;
        return Dir / "maker/models.ini";
    };
    Create<BuilderWindow>();
    EXPECT_EQ(started, prefix / "share/doc/flashutil/examples/flashutil.INI");
    EXPECT_EQ(FileNames(), (QStringList{"RW30.BIN"}));  // not the current directory's RW12.BIN, rw13.bin
    ClickFile("RW30.BIN");
    Button().click();
    EXPECT_TRUE(std::filesystem::exists(Dir / "maker/RW30.EXE"));  // built where the list is

    // The next start finds the kept file without asking and lists the same folder.
    ChooseModelFile = [](const std::string&, const std::string&) {
        ADD_FAILURE() << "asked again";
        return std::string();
    };
    BuilderWindow& again = Create<BuilderWindow>();
    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_FALSE(again.StartUpEnded());
    EXPECT_EQ(FileNames(), (QStringList{"RW30.BIN"}));
}

// The folder button lists another folder's images under the model's mask, builds into it,
// and the menu-started builder opens it again next time; the designed controls stay put.
TEST_F(BuilderModeTest, ChosenFolderListsItsImagesAndIsKept) {
    std::filesystem::create_directory(Dir / "images");
    WriteFile(Dir / "images/RW20.BIN", Image);
    WriteFile(Dir / "images/note.txt", std::string("not an image"));
    ChoicesFile = Dir / "desktop.conf";
    ChooseFolder = [&](const std::string&, const std::string& start) {
        EXPECT_EQ(start, Dir.Path());  // starts where the list is
        return Dir / "images";
    };
    Create<BuilderWindow>();
    EXPECT_EQ(Status().geometry(), FormLayout::GroupBox2);
    EXPECT_EQ(Button().geometry(), FormLayout::FlashButton);
    ClickFile("RW12.BIN");
    Control<QPushButton>("FolderButton").click();
    EXPECT_EQ(FileNames(), (QStringList{"RW20.BIN"}));
    EXPECT_FALSE(Button().isEnabled());  // the file chosen before is not in this folder
    ClickFile("RW20.BIN");
    Button().click();
    EXPECT_EQ(Text(Status().title()), "Build RW20.EXE complete!");
    EXPECT_TRUE(std::filesystem::exists(Dir / "images/RW20.EXE"));

    // A cancelled choice keeps the folder; the next start opens the kept one.
    ChooseFolder = [](const std::string&, const std::string&) { return std::string(); };
    Create<BuilderWindow>();
    EXPECT_EQ(FileNames(), (QStringList{"RW20.BIN"}));
    Control<QPushButton>("FolderButton").click();
    EXPECT_EQ(FileNames(), (QStringList{"RW20.BIN"}));
    // A builder not started from the menu lists the current directory, as always.
    ChoicesFile.clear();
    Create<BuilderWindow>();
    EXPECT_EQ(FileNames(), (QStringList{"RW12.BIN", "rw13.bin"}));
}

// "Update drive firmware": the chooser's utility is flashed on the virtual drive as data; a
// cancelled choice or a blank copy is nothing to flash.
TEST_F(BuilderModeTest, ChosenUtilityIsFlashedOnTheVirtualDrive) {
    Create<BuilderWindow>();
    ClickFile("RW12.BIN");
    Button().click();
    ASSERT_TRUE(std::filesystem::exists(Dir / "RW12.EXE"));
    Form.reset();

    const struct {
        std::string Answer;
        ChosenUtility Outcome;
    } cases[] = {{"", ChosenUtility::Cancelled},
                 {ExecutablePath, ChosenUtility::Unusable},
                 {Dir / "missing.EXE", ChosenUtility::Unusable},
                 {Dir / "RW12.EXE", ChosenUtility::Loaded}};
    for (const auto& c : cases) {
        UtilityCopy subject;
        std::string why;
        EXPECT_EQ(LoadChosenUtility([&](const std::string&, const std::string&) { return c.Answer; }, subject, why),
                  c.Outcome) << c.Answer;
        if (c.Outcome == ChosenUtility::Unusable) {
            EXPECT_NE(why.find(c.Answer), std::string::npos) << why;
        }
    }
    UtilityCopy subject;
    std::string why;
    ASSERT_EQ(LoadChosenUtility([&](const std::string&, const std::string&) { return Dir / "RW12.EXE"; }, subject, why),
              ChosenUtility::Loaded);
    VirtualDrive& drive = AddDrive(TestProduct, "1.05");
    Answers = {MessageAnswer::Yes, MessageAnswer::Yes, MessageAnswer::No};  // warning, update, restart
    Adjust = [&](FlashFormSettings& settings) { settings.Utility = subject; };
    FlashWindow& flash = Create<FlashWindow>();
    ASSERT_FALSE(flash.StartUpEnded());
    Button().click();
    EXPECT_EQ(Text(Status().title()), "Flash Completed.");
    EXPECT_EQ(drive.CommitCount(), 1u);
    EXPECT_TRUE(std::equal(Image.begin(), Image.end(), drive.Flash().begin()));
}

// "Open with" from the desktop gives the entry a file: one that is no utility to flash (another
// program, a library, a blank copy, a file gone) is refused in a box naming it, as the person
// sees no error stream; a built copy opens without one.
TEST_F(BuilderModeTest, DesktopRefusesAFileThatIsNoUtilityInABox) {
    Create<BuilderWindow>();
    ClickFile("RW12.BIN");
    Button().click();
    ASSERT_TRUE(std::filesystem::exists(Dir / "RW12.EXE"));
    Form.reset();
    const auto neverAsked = [](const std::string&, const std::string&) -> std::string {
        ADD_FAILURE() << "a file was given: no chooser";
        return {};
    };
    for (const std::string& file : {std::string("/bin/ls"), std::string(Dir / "readme.txt"), ExecutablePath,
                                    std::string(Dir / "missing.EXE"), std::string(Dir / "RW12.EXE")}) {
        SCOPED_TRACE(file);
        // The box up, its text is taken and it is answered.
        QString shown;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                shown = box->text();
                box->done(QMessageBox::Ok);
            }
        });
        poll.start(20);
        UtilityCopy subject;
        const ChosenUtility outcome = OpenDesktopUtility(file, neverAsked, subject);
        poll.stop();
        if (file == Dir / "RW12.EXE") {
            EXPECT_EQ(outcome, ChosenUtility::Loaded);
            EXPECT_TRUE(shown.isEmpty()) << Text(shown);
        } else {
            EXPECT_EQ(outcome, ChosenUtility::Unusable);
            EXPECT_NE(Text(shown).find(file), std::string::npos) << Text(shown);
        }
    }
}

// "Save into..." writes the utilities into a folder of utilities instead of beside the images,
// where another model's copy under the same name stays as it is.
TEST_F(BuilderModeTest, SaveIntoWritesIntoTheChosenFolder) {
    std::filesystem::create_directory(Dir / "firmware");
    WriteFile(Dir / "firmware/RW12.EXE", std::string("notes"));
    ChooseFolder = [&](const std::string&, const std::string&) { return Dir / "firmware"; };
    Create<BuilderWindow>();
    Control<QPushButton>("OutputButton").click();
    ClickFile("rw13.bin");
    Button().click();
    EXPECT_EQ(Text(Status().title()), "Build rw13.EXE complete!");
    EXPECT_TRUE(std::filesystem::exists(Dir / "firmware/rw13.EXE"));
    EXPECT_FALSE(std::filesystem::exists(Dir / "rw13.EXE"));
    ClickFile("RW12.BIN");
    Button().click();
    EXPECT_EQ(ReadFile(Dir / "firmware/RW12.EXE"), std::vector<uint8_t>({'n', 'o', 't', 'e', 's'}));
}
