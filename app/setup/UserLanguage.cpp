// SPDX-License-Identifier: Apache-2.0
#include "app/setup/UserLanguage.h"

#include <libintl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <clocale>
#include <cstdlib>
#include <cstring>

#include "trust/OwnerOnly.h"
#include "ui/Translate.h"

#ifndef FLASHUTIL_LOCALEDIR
#define FLASHUTIL_LOCALEDIR "/usr/share/locale"
#endif

namespace {

bool IsFolder(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string RealPath(const std::string& path) {
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) ? std::string(resolved) : std::string();
}

// The build tree's catalogues, for the program of that build tree only: the running program's
// real path must be the one compiled in, and the folder a real one that nobody but its
// owner, the reader or root, can change. A copy anywhere else, a build tree's own included,
// never reads a catalogue that lies beside it.
std::string BuildTreeCatalogues(const std::string& program) {
#if defined(FLASHUTIL_BUILD_PROGRAM) && defined(FLASHUTIL_BUILD_LOCALEDIR)
    if (program.empty() || RealPath(program) != FLASHUTIL_BUILD_PROGRAM)
        return {};
    struct stat info {};
    if (::lstat(FLASHUTIL_BUILD_LOCALEDIR, &info) != 0 || !S_ISDIR(info.st_mode) || !NotOwnerOnly(info).empty())
        return {};
    return FLASHUTIL_BUILD_LOCALEDIR;
#else
    (void)program;
    return {};
#endif
}

}  // namespace

// The system's catalogues, where the package put them; the build tree's for its own program.
std::string CatalogueFolder(const std::string& program) {
    if (std::string folder = BuildTreeCatalogues(program); !folder.empty())
        return folder;
    return IsFolder(FLASHUTIL_LOCALEDIR) ? FLASHUTIL_LOCALEDIR : "/usr/share/locale";
}

void SpeakUserLanguage() {
    // An unknown locale leaves the category as it was (C): English.
    std::setlocale(LC_CTYPE, "");
    std::setlocale(LC_MESSAGES, "");
    bindtextdomain(TextDomain, CatalogueFolder("/proc/self/exe").c_str());
}

void SpeakEnglish() { std::setlocale(LC_MESSAGES, "C"); }

bool SpeaksUserLanguage() {
    const char* messages = std::setlocale(LC_MESSAGES, nullptr);
    return messages != nullptr && std::strcmp(messages, "C") != 0 && std::strcmp(messages, "POSIX") != 0;
}
