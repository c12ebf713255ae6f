// The window's layout after start-up, in both modes, and the horizontal stretch.

#include <algorithm>

#include <QComboBox>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>

#include "FormFixture.h"

namespace {

bool IsSerifFace(const QWidget* w) {
    const QString family = QFontInfo(w->font()).family();
    return family == "Times New Roman" || family == "Liberation Serif" || family == "DejaVu Serif";
}

}  // namespace

TEST_F(FormTest, FlashModeLayoutAfterStartUp) {
    AddDrive(TestProduct, "1.05");
    TFlashForm& form = Create();
    ASSERT_FALSE(form.StartUpEnded());

    EXPECT_EQ(form.pos(), QPoint(222, 172));
    EXPECT_EQ(form.size(), QSize(368, 161));  // the window keeps its height: a band stays below
    EXPECT_EQ(form.SelectDriveLabel->geometry(), QRect(8, 5, 349, 20));
    EXPECT_EQ(form.ComboBox->geometry(), QRect(8, 31, 350, 25));
    EXPECT_EQ(form.FileListBox1->geometry(), QRect(8, 65, 349, 33));
    // Moved up by the file list's height.
    EXPECT_EQ(form.GroupBox2->geometry(), QRect(8, 71, 347, 49));
    EXPECT_EQ(form.ProgressBar->geometry(), QRect(14, 91, 257, 21));
    EXPECT_EQ(form.FlashButton->geometry(), QRect(284, 89, 61, 25));

    EXPECT_TRUE(form.FileListBox1->isHidden());
    EXPECT_EQ(Text(form.SelectDriveLabel->text()), "Select the Acme drive you want to update:");
    EXPECT_EQ(Text(form.windowTitle()), "Acme Flash Utility V1.048 forRW-5200");
    EXPECT_EQ(form.ComboBox->currentIndex(), 0);
    EXPECT_TRUE(form.GroupBox2->title().isEmpty());
    EXPECT_EQ(form.ProgressBar->value(), 0);
    EXPECT_EQ(form.FlashButton->text(), "FLASH");
    EXPECT_TRUE(form.FlashButton->isEnabled());
    EXPECT_FALSE(form.BuilderMode);
}

TEST_F(FormTest, ControlsStackFontsAndTabOrder) {
    AddDrive(TestProduct, "1.05");
    TFlashForm& form = Create();

    // Creation order is stacking order: the bar and the button lie above the frame.
    const QObjectList children = form.children();
    std::vector<QWidget*> order;
    for (QObject* child : children)
        if (child->isWidgetType())
            order.push_back(static_cast<QWidget*>(child));
    const std::vector<QWidget*> expected = {form.SelectDriveLabel, form.FileListBox1, form.ComboBox,
                                            form.GroupBox2, form.ProgressBar, form.FlashButton};
    EXPECT_EQ(order, expected);
    EXPECT_EQ(form.ProgressBar->parentWidget(), &form);
    EXPECT_EQ(form.FlashButton->parentWidget(), &form);

    struct Face { QWidget* Control; int Pixels; bool Bold; };
    for (const Face& face : {Face{form.SelectDriveLabel, 16, false}, Face{form.FileListBox1, 16, true},
                             Face{form.ComboBox, 15, true}, Face{form.GroupBox2, 16, false},
                             Face{form.FlashButton, 16, true}}) {
        EXPECT_EQ(face.Control->font().pixelSize(), face.Pixels) << face.Control->objectName().toStdString();
        EXPECT_EQ(face.Control->font().bold(), face.Bold) << face.Control->objectName().toStdString();
        EXPECT_TRUE(IsSerifFace(face.Control)) << QFontInfo(face.Control->font()).family().toStdString();
    }
    EXPECT_EQ(form.font().pixelSize(), 16);
    EXPECT_TRUE(form.font().bold());
    EXPECT_FALSE(form.ProgressBar->isTextVisible());

    // The tab chain, among the controls that take focus: ComboBox, FlashButton, FileListBox1.
    std::vector<QWidget*> chain;
    QWidget* w = form.ComboBox;
    do {
        if (std::find(expected.begin(), expected.end(), w) != expected.end() && (w->focusPolicy() & Qt::TabFocus))
            chain.push_back(w);
        w = w->nextInFocusChain();
    } while (w != form.ComboBox);
    EXPECT_EQ(chain, (std::vector<QWidget*>{form.ComboBox, form.FlashButton, form.FileListBox1}));
    EXPECT_EQ(form.GroupBox2->focusPolicy(), Qt::NoFocus);
    EXPECT_EQ(form.ProgressBar->focusPolicy(), Qt::NoFocus);
    EXPECT_EQ(form.SelectDriveLabel->focusPolicy(), Qt::NoFocus);
}

TEST_F(FormTest, WideClientAreaStretchesByAnIntegerFactor) {
    AddDrive(TestProduct, "1.05");
    TFlashForm& form = Create(700);  // 700 div 350 = 2
    EXPECT_EQ(form.ComboBox->geometry(), QRect(8, 31, 700, 25));
    EXPECT_EQ(form.GroupBox2->geometry(), QRect(8, 71, 694, 49));
    EXPECT_EQ(form.ProgressBar->geometry(), QRect(14, 91, 514, 21));
    EXPECT_EQ(form.FlashButton->geometry(), QRect(568, 89, 122, 25));
    // Not stretched.
    EXPECT_EQ(form.SelectDriveLabel->geometry(), QRect(8, 5, 349, 20));
    EXPECT_EQ(form.FileListBox1->geometry(), QRect(8, 65, 349, 33));
}

TEST_F(FormTest, JustBelowTwiceTheComboWidthNothingStretches) {
    AddDrive(TestProduct, "1.05");
    TFlashForm& form = Create(699);
    EXPECT_EQ(form.ComboBox->width(), 350);
    EXPECT_EQ(form.GroupBox2->width(), 347);
    EXPECT_EQ(form.ProgressBar->width(), 257);
    EXPECT_EQ(form.FlashButton->geometry(), QRect(284, 89, 61, 25));
}
