// SPDX-License-Identifier: Apache-2.0
#include "trust/SignaturePolicy.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <string_view>
#include <vector>

#include "base/RegularFile.h"
#include "base/TextLines.h"
#include "trust/OwnerOnly.h"
#include "trust/SystemConfig.h"
#include "ui/Translate.h"

namespace {

constexpr std::size_t PolicyFileLimit = 64 * 1024;
// As much of a wrong value as a warning shows.
constexpr std::size_t ShownValueLimit = 40;

// Spaces and tabs around a key or value are allowed; nothing else is taken off.
std::string Trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// A value from the file, for a warning: no control byte, and not all of a long one.
std::string Shown(std::string value) {
    if (value.size() > ShownValueLimit)
        value = value.substr(0, ShownValueLimit) + "...";
    for (char& c : value)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            c = '?';
    return value;
}

// Whether something is at path, also a symbolic link that leads nowhere.
bool SomethingAt(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

// Why a line of the file is not a comment, a blank line or a known key with a valid value;
// "" when it is one. yes is set for RequireSignature=yes.
std::string LineProblem(const std::string& raw, bool& yes) {
    yes = false;
    // A carriage return (a file with CRLF line ends) is not taken off: whether "no\r" was
    // meant as "no" is not guessed.
    if (raw.find('\r') != std::string::npos)
        return _("it holds a carriage return (CRLF line ends are not read)");
    const std::string line = Trimmed(raw);
    if (line.empty() || line[0] == '#')
        return {};
    const auto eq = line.find('=');
    if (eq == std::string::npos || Trimmed(line.substr(0, eq)) != "RequireSignature")
        return _("not a comment, a blank line or RequireSignature=yes or no");
    const std::string value = Trimmed(line.substr(eq + 1));
    if (value != "yes" && value != "no")
        return FormatText(_("RequireSignature is '%s', not yes or no"), Shown(value).c_str());
    yes = value == "yes";
    return {};
}

}  // namespace

SignaturePolicy ReadSignaturePolicy(const std::string& path) {
    SignaturePolicy policy;
    auto failClosed = [&](const std::string& where, const std::string& cause) {
        policy.RequireSignature = true;
        policy.Problem = where + ": " + cause;
        return policy;
    };
    // A directory others can change could have lost the file, or could hold another one.
    const auto slash = path.rfind('/');
    const std::string directory = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    struct stat folder {};
    if (::stat(directory.c_str(), &folder) != 0) {
        if (errno == ENOENT && !SomethingAt(directory))
            return policy;  // no configuration directory, no policy
        return failClosed(directory, errno == ENOENT ? _("a symbolic link that leads nowhere") : std::strerror(errno));
    }
    if (const std::string cause = NotOwnerOnly(folder); !cause.empty())
        return failClosed(directory, cause);

    struct stat info {};
    std::string why;
    const Descriptor file = OpenRegularFile(path, why, _("not a regular file"), &info, DirectoryCause::NotRegular);
    if (!file.Valid()) {
        if (errno == ENOENT && !SomethingAt(path))
            return policy;
        return failClosed(path, errno == ENOENT ? _("a symbolic link that leads nowhere") : why);
    }
    if (const std::string cause = NotOwnerOnly(info); !cause.empty())
        return failClosed(path, cause);
    std::vector<uint8_t> bytes;
    if (!ReadUpTo(file.Get(), PolicyFileLimit + 1, bytes))
        return failClosed(path, std::strerror(errno));
    if (bytes.size() > PolicyFileLimit)
        return failClosed(path, _("longer than a policy file can be"));
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    const std::vector<std::string> lines = TextLines(text);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        bool yes = false;
        const std::string problem = LineProblem(lines[i], yes);
        // A line the program can't read might have been meant to require signatures: the
        // whole file then does. The first such line is named.
        if (!problem.empty() && policy.Problem.empty())
            failClosed(path + ":" + std::to_string(i + 1), problem);
        // A later "no" never takes back an earlier "yes": a line appended to the file can't weaken it.
        policy.RequireSignature = policy.RequireSignature || yes;
    }
    return policy;
}

std::string SignaturePolicyPath() { return SystemConfigDirectory() + "/flashutil.conf"; }
