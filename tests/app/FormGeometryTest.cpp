// SPDX-License-Identifier: Apache-2.0
// The window's layout after start-up in flash mode, its stacking and tab order, and the
// horizontal stretch.

#include <algorithm>

#include <QFontInfo>

#include "FormFixture.h"
#include "app/gui/FormLayout.h"

TEST_F(FormTest, FlashModeLayoutAfterStartUp) {
    AddDrive(TestProduct, "1.05");
    FlashWindow& form = Create();
    ASSERT_FALSE(form.StartUpEnded());

    EXPECT_EQ(form.pos(), QPoint(222, 172));
    EXPECT_EQ(form.size(), QSize(368, 161));  // the window keeps its height: a band stays below
    // The hidden file list leaves no gap: what lies below it moves up by its height.
    EXPECT_TRUE(Files().isHidden());
    const int gap = FormLayout::FileListBox1.height();
    EXPECT_EQ(Status().geometry(), FormLayout::GroupBox2.translated(0, -gap));
    EXPECT_EQ(Bar().geometry(), FormLayout::ProgressBar.translated(0, -gap));
    EXPECT_EQ(Button().geometry(), FormLayout::FlashButton.translated(0, -gap));
    EXPECT_EQ(Choice().geometry(), FormLayout::ComboBox);

    EXPECT_EQ(Text(Prompt().text()), "Select the Acme drive you want to update:");
    EXPECT_EQ(Text(form.windowTitle()), "Acme Flash Utility V1.048 forRW-5200");
    EXPECT_EQ(Choice().currentIndex(), 0);
    EXPECT_TRUE(Status().title().isEmpty());
    EXPECT_EQ(Bar().value(), 0);
    EXPECT_EQ(Button().text(), "FLASH");
    EXPECT_TRUE(Button().isEnabled());
}

TEST_F(FormTest, ControlsAreNamedForScreenReaders) {
    AddDrive(TestProduct, "1.05");
    FlashWindow& form = Create();
    ASSERT_FALSE(form.StartUpEnded());
    ExpectAccessibleNames();
    EXPECT_NE(Choice().accessibleName(), Files().accessibleName());
}

TEST_F(FormTest, ControlsStackFontsAndTabOrder) {
    AddDrive(TestProduct, "1.05");
    FlashWindow& form = Create();

    // Creation order is stacking order: the bar and the button lie above the frame.
    std::vector<QWidget*> order;
    for (QObject* child : form.children())
        if (child->isWidgetType())
            order.push_back(static_cast<QWidget*>(child));
    const std::vector<QWidget*> expected = {&Prompt(), &Files(), &Choice(), &Status(), &Bar(), &Button()};
    EXPECT_EQ(order, expected);

    // The controls with text show a serif face (Times New Roman or a stand-in); the window's own is bold.
    for (QWidget* control : std::vector<QWidget*>{&Prompt(), &Files(), &Choice(), &Status(), &Button()}) {
        const QString family = QFontInfo(control->font()).family();
        EXPECT_TRUE(family == "Times New Roman" || family == "Liberation Serif" || family == "DejaVu Serif")
            << control->objectName().toStdString() << ": " << family.toStdString();
    }
    EXPECT_TRUE(form.font().bold());

    // The tab chain, among the controls that take focus: ComboBox, FlashButton, FileListBox1.
    std::vector<QWidget*> chain;
    QWidget* w = &Choice();
    do {
        if (std::find(expected.begin(), expected.end(), w) != expected.end() && (w->focusPolicy() & Qt::TabFocus))
            chain.push_back(w);
        w = w->nextInFocusChain();
    } while (w != &Choice());
    EXPECT_EQ(chain, (std::vector<QWidget*>{&Choice(), &Button(), &Files()}));
}

TEST_F(FormTest, WideClientAreaStretchesByAnIntegerFactor) {
    AddDrive(TestProduct, "1.05");
    Create(700);  // 700 div 350 = 2
    EXPECT_EQ(Choice().geometry(), QRect(8, 31, 700, 25));
    EXPECT_EQ(Status().geometry(), QRect(8, 71, 694, 49));
    EXPECT_EQ(Bar().geometry(), QRect(14, 91, 514, 21));
    EXPECT_EQ(Button().geometry(), QRect(568, 89, 122, 25));
    // Not stretched.
    EXPECT_EQ(Prompt().geometry(), FormLayout::SelectDriveLabel);
    EXPECT_EQ(Files().geometry(), FormLayout::FileListBox1);
}

TEST_F(FormTest, JustBelowTwiceTheComboWidthNothingStretches) {
    AddDrive(TestProduct, "1.05");
    Create(699);
    EXPECT_EQ(Choice().width(), 350);
    EXPECT_EQ(Status().width(), 347);
    EXPECT_EQ(Bar().width(), 257);
    EXPECT_EQ(Button().geometry(), QRect(284, 89, 61, 25));
}
