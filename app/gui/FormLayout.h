// SPDX-License-Identifier: Apache-2.0
#pragma once
// The designed geometry of the main window, in pixels at 96 dots per inch.

#include <QRect>

namespace FormLayout {
constexpr int Left = 222, Top = 172;            // window position on the screen
constexpr int ClientWidth = 368, ClientHeight = 161;

inline const QRect SelectDriveLabel{8, 5, 349, 20};
inline const QRect FileListBox1{8, 65, 349, 33};
inline const QRect ComboBox{8, 31, 350, 25};
inline const QRect GroupBox2{8, 104, 347, 49};
inline const QRect ProgressBar{14, 124, 257, 21};
inline const QRect FlashButton{284, 122, 61, 25};

constexpr int ComboBoxItemHeight = 17;
constexpr int FileListItemHeight = 19;

// Character heights in pixels.
constexpr int WindowFontHeight = 16;
constexpr int LabelFontHeight = 16;
constexpr int FileListFontHeight = 16;
constexpr int ComboBoxFontHeight = 15;
constexpr int GroupBoxFontHeight = 16;
constexpr int ButtonFontHeight = 16;
}  // namespace FormLayout
