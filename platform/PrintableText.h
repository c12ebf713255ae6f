// SPDX-License-Identifier: Apache-2.0
#pragma once
// Texts that drives, recordings and files supply (INQUIRY fields, device paths, record fields)
// are bytes nobody vouches for. On a terminal a newline or carriage return in them could forge
// a line and an ESC could send the terminal a control sequence, so every control byte (below
// 0x20, and DEL) is shown as '?'. Printable bytes, and bytes above 0x7F, stay exactly as they
// are, and the length does not change, so columns stay aligned. The JSON outputs keep the
// bytes (as JSON escapes); only what a person reads goes through here.

#include <string>

// Every control byte shown as '?'.
std::string PrintableText(std::string bytes);

// The same for a text of several lines: its newlines stay, every other control byte is '?'.
std::string PrintableLines(std::string bytes);
