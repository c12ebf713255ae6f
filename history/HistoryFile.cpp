// SPDX-License-Identifier: Apache-2.0
#include "history/HistoryFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <algorithm>
#include <map>

bool ReadHistory(const std::string& path, HistoryContents& contents, std::string& why) {
    contents = {};
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT)
        return true;
    if (fd < 0) {
        why = path + ": " + std::strerror(errno);
        return false;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
        why = path + ": " + std::strerror(S_ISDIR(info.st_mode) ? EISDIR : errno);
        ::close(fd);
        return false;
    }
    std::string text;
    char buffer[1 << 16];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            why = path + ": " + std::strerror(errno);
            ::close(fd);
            return false;
        }
        if (n == 0)
            break;
        text.append(buffer, std::size_t(n));
    }
    ::close(fd);
    contents.Exists = true;

    std::map<std::string, std::size_t> byRun;  // run id -> its entry
    std::size_t lineNumber = 0;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = std::min(text.find('\n', at), text.size());
        const std::string line = text.substr(at, end - at);
        at = end + 1;
        ++lineNumber;
        if (line.find_first_not_of(" \t\r") == std::string::npos)
            continue;
        auto skip = [&](const std::string& cause) {
            contents.Notices.push_back(path + " line " + std::to_string(lineNumber) + ": " + cause + "; skipped");
        };
        ParsedRecord record = ParseRecord(line);
        if (record.Start) {
            if (byRun.count(record.Start->Run)) {
                skip("a second start of run " + record.Start->Run);
                continue;
            }
            byRun[record.Start->Run] = contents.Runs.size();
            contents.Runs.push_back({std::move(*record.Start), std::nullopt});
        } else if (record.End) {
            const auto found = byRun.find(record.End->Run);
            if (found == byRun.end())
                skip("the end of run " + record.End->Run + ", whose start is not in the history");
            else if (contents.Runs[found->second].End)
                skip("a second end of run " + record.End->Run);
            else
                contents.Runs[found->second].End = std::move(*record.End);
        } else {
            skip("not a history record (damaged)");
        }
    }
    return true;
}
