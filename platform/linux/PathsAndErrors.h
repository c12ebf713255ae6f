// SPDX-License-Identifier: Apache-2.0
#pragma once
// Two small words of the Linux back-end that its parts share: a node's path with its links
// resolved, and the system's text for an errno.

#include <string>

// The path with every link resolved, or the path itself when it does not resolve.
std::string Canonical(const std::string& path);

// The system's text for an errno code ("" when it has none).
std::string SystemText(int code);
