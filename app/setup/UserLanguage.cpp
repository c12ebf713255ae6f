// SPDX-License-Identifier: Apache-2.0
#include "app/setup/UserLanguage.h"

#include <libintl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <clocale>
#include <cstring>

#include "ui/Translate.h"

#ifndef FLASHUTIL_LOCALEDIR
#define FLASHUTIL_LOCALEDIR "/usr/share/locale"
#endif

namespace {

bool IsFolder(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string ProgramFolder() {
    char path[4096];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0)
        return {};
    const std::string program(path, static_cast<std::size_t>(length));
    const auto slash = program.rfind('/');
    return slash == std::string::npos ? std::string() : program.substr(0, slash);
}

}  // namespace

// Beside the program first (a build tree, or a copy built there); then where the package
// put them relative to the program (/usr/bin -> /usr/share/locale), wherever it was installed;
// then the configured place, and Debian's.
std::string CatalogueFolder(const std::string& programFolder) {
    if (!programFolder.empty()) {
        for (const std::string& folder : {programFolder + "/locale", programFolder + "/../share/locale"})
            if (IsFolder(folder))
                return folder;
    }
    return IsFolder(FLASHUTIL_LOCALEDIR) ? FLASHUTIL_LOCALEDIR : "/usr/share/locale";
}

void SpeakUserLanguage() {
    // An unknown locale leaves the category as it was (C): English.
    std::setlocale(LC_CTYPE, "");
    std::setlocale(LC_MESSAGES, "");
    bindtextdomain(TextDomain, CatalogueFolder(ProgramFolder()).c_str());
}

void SpeakEnglish() { std::setlocale(LC_MESSAGES, "C"); }

bool SpeaksUserLanguage() {
    const char* messages = std::setlocale(LC_MESSAGES, nullptr);
    return messages != nullptr && std::strcmp(messages, "C") != 0 && std::strcmp(messages, "POSIX") != 0;
}
