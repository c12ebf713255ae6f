// SPDX-License-Identifier: Apache-2.0
#include "image/SignaturePolicy.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "image/FileCopy.h"
#include "image/SystemConfig.h"
#include "ui/Translate.h"

namespace {

constexpr std::size_t PolicyFileLimit = 64 * 1024;

std::string Trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

}  // namespace

SignaturePolicy ReadSignaturePolicy(const std::string& path) {
    SignaturePolicy policy;
    auto failClosed = [&](const std::string& cause) {
        policy.RequireSignature = true;
        policy.Problem = path + ": " + cause;
        return policy;
    };
    Descriptor file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!file.Valid())
        return errno == ENOENT ? policy : failClosed(std::strerror(errno));
    struct stat info {};
    if (::fstat(file.Get(), &info) != 0)
        return failClosed(std::strerror(errno));
    if (!S_ISREG(info.st_mode))
        return failClosed(_("not a regular file"));
    std::vector<uint8_t> bytes;
    if (!ReadUpTo(file.Get(), PolicyFileLimit + 1, bytes))
        return failClosed(std::strerror(errno));
    if (bytes.size() > PolicyFileLimit)
        return failClosed(_("longer than a policy file can be"));
    const std::string text(bytes.begin(), bytes.end());
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = Trimmed(text.substr(start, end - start));
        start = end + 1;
        if (line.empty() || line[0] == '#')
            continue;
        const auto eq = line.find('=');
        if (eq == std::string::npos || Trimmed(line.substr(0, eq)) != "RequireSignature")
            continue;  // other keys belong to other settings
        const std::string value = Trimmed(line.substr(eq + 1));
        if (value != "yes" && value != "no")
            return failClosed(FormatText(_("RequireSignature is '%s', not yes or no"), value.c_str()));
        // A later "no" never takes back an earlier "yes": a line appended to the file can't weaken it.
        policy.RequireSignature = policy.RequireSignature || value == "yes";
    }
    return policy;
}

std::string SignaturePolicyPath() { return SystemConfigDirectory() + "/flashutil.conf"; }
