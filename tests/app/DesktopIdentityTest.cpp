// SPDX-License-Identifier: Apache-2.0
// The window as a desktop sees it: each menu entry's windows carry the class the entry names
// (StartupWMClass; Qt takes a window's class from the application name), the entry's id and
// the program's own icon, whatever the copy's file is called.

#include <QApplication>
#include <QIcon>
#include <QImage>
#include <QPixmap>

#include <fstream>
#include <string>

#include "FormFixture.h"
#include "app/gui/WindowApp.h"

namespace {

// The value of key in the [Desktop Entry] group of the entry file; "" when it has none.
std::string EntryValue(const std::string& file, const std::string& key) {
    std::ifstream in(std::string(FLASHUTIL_SOURCE_DIR) + "/data/" + file);
    std::string line;
    bool inEntry = false;
    while (std::getline(in, line)) {
        if (line.starts_with('['))
            inEntry = line == "[Desktop Entry]";
        else if (inEntry && line.starts_with(key + "="))
            return line.substr(key.size() + 1);
    }
    return {};
}

bool HasOpaquePixel(const QIcon& icon, int size) {
    const QImage image = icon.pixmap(size, size).toImage();
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) == 255)
                return true;
    return false;
}

}  // namespace

TEST_F(FormTest, EachMenuEntryIsTheWindowsClassIdAndIcon) {
    for (const bool builder : {false, true}) {
        const std::string entry =
            builder ? "io.github.flashutil.flashutil.builder.desktop" : "io.github.flashutil.flashutil.desktop";
        SCOPED_TRACE(entry);
        SetDesktopIdentity(builder);
        EXPECT_EQ(Text(QCoreApplication::applicationName()), EntryValue(entry, "StartupWMClass"));
        EXPECT_EQ(Text(QGuiApplication::desktopFileName()) + ".desktop", entry);
        EXPECT_EQ(EntryValue(entry, "Icon"), "flashutil");  // the installed SVG, which is built in
        // The program's icon, drawn, on the window rather than the window system's generic one.
        FlashWindow& form = Create<FlashWindow>();
        ASSERT_FALSE(form.windowIcon().isNull());
        EXPECT_TRUE(HasOpaquePixel(form.windowIcon(), 48));
        EXPECT_TRUE(HasOpaquePixel(form.windowIcon(), 16));
    }
}
