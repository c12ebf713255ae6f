// Builder mode in the window: a blank copy with its model file, the file list, the Build
// button, and a built copy that starts the window in flash mode.

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>

#include <algorithm>
#include <filesystem>

#include "FormFixture.h"
#include "image/Builder.h"
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

    QStringList Files(const TFlashForm& form) const {
        QStringList names;
        for (int i = 0; i < form.FileListBox1->count(); ++i)
            names << form.FileListBox1->item(i)->text();
        return names;
    }
    // A click on the named file, as the person makes it.
    static void ClickFile(TFlashForm& form, const QString& name) {
        const QList<QListWidgetItem*> found = form.FileListBox1->findItems(name, Qt::MatchExactly);
        ASSERT_EQ(found.size(), 1);
        form.FileListBox1->setCurrentItem(found.first());
        emit form.FileListBox1->itemClicked(found.first());
    }
    static void ChooseModel(TFlashForm& form, int index) {
        form.ComboBox->setCurrentIndex(index);
        emit form.ComboBox->activated(index);
    }

    TempDirectory Dir;
    QString Previous;
    std::vector<uint8_t> Image;
};

}  // namespace

TEST_F(BuilderModeTest, StartsWithModelsAndFilesAtTheDesignedPlaces) {
    TFlashForm& form = Create();
    ASSERT_FALSE(form.StartUpEnded());
    EXPECT_TRUE(form.BuilderMode);
    EXPECT_TRUE(Messages.empty());  // no warning in builder mode
    EXPECT_EQ(form.Drives(), nullptr);

    EXPECT_EQ(form.GroupBox2->geometry(), QRect(8, 104, 347, 49));
    EXPECT_EQ(form.ProgressBar->geometry(), QRect(14, 124, 257, 21));
    EXPECT_EQ(form.FlashButton->geometry(), QRect(284, 122, 61, 25));
    EXPECT_EQ(form.FileListBox1->geometry(), QRect(8, 65, 349, 33));
    EXPECT_FALSE(form.FileListBox1->isHidden());

    EXPECT_EQ(Text(form.SelectDriveLabel->text()), "Select Model: ");
    EXPECT_EQ(form.FlashButton->text(), "Build");
    EXPECT_FALSE(form.FlashButton->isEnabled());
    ASSERT_EQ(form.ComboBox->count(), 2);
    EXPECT_EQ(Text(form.ComboBox->itemText(0)), "1.00-1.10 ACME    CD-RW RW5200");
    EXPECT_EQ(form.ComboBox->currentIndex(), 0);
    EXPECT_EQ(Text(form.windowTitle()), " Flash Utility V1.048 for1.00-1.10 [Buiding]");
    EXPECT_EQ(form.StartDirectory, Dir.Path());
    // The model's mask, letter case ignored; nothing else.
    EXPECT_EQ(Files(form), (QStringList{"RW12.BIN", "rw13.bin"}));
}

TEST_F(BuilderModeTest, BuildsThroughTheControls) {
    TFlashForm& form = Create();
    ASSERT_FALSE(form.StartUpEnded());
    ClickFile(form, "rw13.bin");
    EXPECT_EQ(form.SelectedBinName, "rw13.bin");
    ASSERT_TRUE(form.FlashButton->isEnabled());

    form.FlashButton->click();

    EXPECT_EQ(Text(form.GroupBox2->title()), "Build rw13.EXE complete!");
    EXPECT_TRUE(Messages.empty());
    EXPECT_EQ(form.ProgressBar->value(), 0);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    // The same model and file can be built again straight away.
    EXPECT_TRUE(form.FlashButton->isEnabled());
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
    Messages.clear();
    TFlashForm& flash = Create();
    ASSERT_FALSE(flash.StartUpEnded());
    EXPECT_FALSE(flash.BuilderMode);
    EXPECT_EQ(Text(flash.windowTitle()), "Acme Flash Utility V1.048 forRW-5200");
    EXPECT_EQ(flash.ComboBox->count(), 1);
}

TEST_F(BuilderModeTest, NamesKeepTheSystemsEncoding) {
    // A UTF-8 model file and an image file whose name lies outside Latin-1.
    WriteFile(Dir / "flashutil.INI", std::string("[MODEL00]\nModel=RW-5200\nInquiry=\xC3\x84" "CME \xE5\x88\xBB\xE5\xBD\x95\n"
                                                  "FW-Range=1.00-1.10\nBINMask=RW*.BIN\nVendor=Acme\nNote=Plain\n"));
    WriteFile(Dir / "RW\xCE\xA9" "1.BIN", Image);
    TFlashForm& form = Create();
    ASSERT_EQ(form.ComboBox->count(), 1);
    EXPECT_EQ(form.ComboBox->itemText(0), QString::fromUtf8("1.00-1.10 \u00C4" "CME \u523B\u5F55"));

    ClickFile(form, QString::fromUtf8("RW\u03A9" "1.BIN"));
    EXPECT_EQ(form.SelectedBinName, "RW\xCE\xA9" "1.BIN");
    form.FlashButton->click();
    // The output is named by the builder's rule from the name's own bytes, and so is the revision.
    const std::string output = BuildOutputName(form.SelectedBinName);
    EXPECT_NE(output.find("RW\xCE\xA9"), std::string::npos);
    EXPECT_EQ(Text(form.GroupBox2->title()), "Build " + output + " complete!");
    EXPECT_TRUE(Messages.empty());
    const std::vector<uint8_t> built = ReadFile(Dir / output);
    const auto keyWord = OwnKeyWord();
    const auto at = std::search(built.begin(), built.end(), keyWord.begin(), keyWord.end());
    ASSERT_NE(at, built.end());
    EXPECT_EQ(IdentityBlock(&*at).NewFwName().substr(0, 4), "RW\xCE\xA9");
}

TEST_F(BuilderModeTest, BuildButtonFollowsModelChangesAndClicks) {
    TFlashForm& form = Create();
    ClickFile(form, "RW12.BIN");
    EXPECT_TRUE(form.FlashButton->isEnabled());

    ChooseModel(form, 1);
    EXPECT_FALSE(form.FlashButton->isEnabled());
    EXPECT_EQ(Files(form), QStringList{"D100.BIN"});
    EXPECT_EQ(Text(form.windowTitle()), " Flash Utility V1.048 forD100-D1ZZ [Buiding]");

    ClickFile(form, "D100.BIN");
    EXPECT_TRUE(form.FlashButton->isEnabled());
    EXPECT_EQ(form.SelectedBinName, "D100.BIN");

    // Back to the first model: Build waits for a new click, even on the same file name.
    ChooseModel(form, 0);
    EXPECT_FALSE(form.FlashButton->isEnabled());
    ClickFile(form, "RW12.BIN");
    EXPECT_TRUE(form.FlashButton->isEnabled());
}

TEST_F(BuilderModeTest, MissingModelFileEndsTheProgram) {
    std::filesystem::remove(Dir / "flashutil.INI");
    TFlashForm& form = Create();
    EXPECT_TRUE(form.StartUpEnded());
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].Text, "Can't load " + (Dir / "flashutil.INI"));
}
