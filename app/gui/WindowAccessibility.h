// SPDX-License-Identifier: Apache-2.0
#pragma once
// What a screen reader gets from the program's window beyond what Qt gives every widget. Qt's
// own accessible objects make the window a filler (a plain top-level widget), name the status
// frame by a fixed word and never by its caption, and name a drop-down list by the entry it
// shows (on Linux Qt leaves the naming to the label relation, which a reader that asks for the
// name never sees). Through AT-SPI the window instead shows
// - the window (FlashForm) as a frame named by its caption;
// - the status frame (GroupBox2) as a status bar whose name and text are the status caption
//   as shown, and which announces each new caption: Qt 6.4 has no live regions, so the frame
//   sends the events AT-SPI delivers for it, a name change and a text change (delete, insert);
// - the choice list (ComboBox) named by the prompt whose buddy it is, its value the entry it
//   shows, its description that entry's tool tip (the virtual drive's mark, FlashWindow.cpp).
// The progress bar's description, the current step, is set with the caption (SetStatus).

class QComboBox;
class QGroupBox;
class QString;

// Gives the window's controls the accessible objects above. Called before a window's controls
// are made (an object once made is kept for its control); calling it again changes nothing.
void InstallWindowAccessibility();

// The status frame's caption changed from before to its title: tells the screen reader.
void AnnounceStatus(QGroupBox* frame, const QString& before);

// The choice list's tool tip, and so its accessible description, follows its current entry's.
void FollowEntryToolTips(QComboBox* list);
