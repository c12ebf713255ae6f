// SPDX-License-Identifier: Apache-2.0
#include "history/HistoryFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <deque>
#include <unordered_map>

#include "base/RegularFile.h"

namespace {

// A record is a short line; a longer one is damage, skipped without being held.
constexpr std::size_t LongestLine = 1u << 20;

// The lines of a file, one at a time, up to a given length of it. A line longer than
// LongestLine comes back as one marked too long, its text dropped.
class LineReader {
public:
    LineReader(int fd, uint64_t limit) : Fd_(fd), Left_(limit) {}

    // False at the end; error set when reading failed.
    bool Next(std::string& line, bool& tooLong, int& error) {
        line.clear();
        tooLong = false;
        for (;;) {
            if (At_ < Buffer_.size()) {
                const char* from = Buffer_.data() + At_;
                const void* feed = std::memchr(from, '\n', Buffer_.size() - At_);
                const std::size_t length = feed ? static_cast<const char*>(feed) - from : Buffer_.size() - At_;
                if (!tooLong && line.size() + length <= LongestLine)
                    line.append(from, length);
                else
                    tooLong = true, line.clear();
                At_ += length + (feed ? 1 : 0);
                if (feed)
                    return true;
            }
            if (Left_ == 0)
                return !line.empty() || tooLong;
            const ssize_t n = ::read(Fd_, Chunk_, std::size_t(std::min<uint64_t>(sizeof Chunk_, Left_)));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                error = n < 0 ? errno : 0;
                Left_ = 0;
                Buffer_.clear();
                At_ = 0;
                return error == 0 && (!line.empty() || tooLong);
            }
            Buffer_.assign(Chunk_, std::size_t(n));
            Left_ -= uint64_t(n);
            At_ = 0;
        }
    }

private:
    int Fd_;
    uint64_t Left_;
    char Chunk_[1 << 16];
    std::string Buffer_;
    std::size_t At_ = 0;
};

// What is known of each run id, in a byte per id. The program's ids are 16 hex digits and
// kept as a number; any other text (a file edited by hand) is kept as it is.
enum : uint8_t { StartSeen = 1, EndsAfterStart = 2, StartTaken = 4, EndTaken = 8 };

class RunFlags {
public:
    uint8_t& operator[](const std::string& id) {
        uint64_t number = 0;
        if (id.size() == 16 && id.find_first_not_of("0123456789abcdef") == std::string::npos) {
            for (char c : id)
                number = number << 4 | uint64_t(c <= '9' ? c - '0' : c - 'a' + 10);
            return Hex_[number];
        }
        return Other_[id];
    }

private:
    std::unordered_map<uint64_t, uint8_t> Hex_;
    std::unordered_map<std::string, uint8_t> Other_;
};

bool Blank(const std::string& line) { return line.find_first_not_of(" \t\r") == std::string::npos; }

}  // namespace

bool ReadHistory(const std::string& path, const HistoryReader& reader, bool& exists, std::string& why) {
    exists = false;
    // Never waiting for a FIFO's writer: what is opened is looked at first.
    std::string cause;
    struct stat info {};
    const Descriptor file = OpenRegularFile(path, cause, "not a regular file", &info);
    if (!file.Valid() && errno == ENOENT)
        return true;
    if (!file.Valid()) {
        why = path + ": " + cause;
        return false;
    }
    const int fd = file.Get();
    exists = true;
    // Both readings cover the same bytes, whatever a run appends meanwhile.
    const uint64_t size = uint64_t(info.st_size);
    std::string line;
    bool tooLong = false;
    int error = 0;

    // First: which runs have an end after their start, so that a run is waited for only when
    // its end is still to come.
    RunFlags flags;
    for (LineReader lines(fd, size); lines.Next(line, tooLong, error);) {
        if (tooLong || Blank(line))
            continue;
        // Only the kind and the run: the records are read once, below.
        const RecordKey record = ScanRecord(line);
        if (record.Kind == RecordKind::Start)
            flags[record.Run] |= StartSeen;
        else if (record.Kind == RecordKind::End && (flags[record.Run] & StartSeen))
            flags[record.Run] |= EndsAfterStart;
    }
    if (error != 0 || ::lseek(fd, 0, SEEK_SET) != 0) {
        why = path + ": " + std::strerror(error != 0 ? error : errno);
        return false;
    }

    // Then the records, each run handed on once it and every run before it are whole.
    struct Waiting {
        HistoryEntry Entry;
        bool Whole = false;
    };
    std::deque<Waiting> waiting;
    std::unordered_map<std::string, std::size_t> waitingAt;  // run id -> index in waiting + handed
    std::size_t handed = 0;
    auto handOn = [&]() {
        while (!waiting.empty() && waiting.front().Whole) {
            waitingAt.erase(waiting.front().Entry.Start.Run);
            if (reader.Run)
                reader.Run(waiting.front().Entry);
            waiting.pop_front();
            ++handed;
        }
    };
    std::size_t lineNumber = 0;
    for (LineReader lines(fd, size); lines.Next(line, tooLong, error);) {
        ++lineNumber;
        if (!tooLong && Blank(line))
            continue;
        auto skip = [&](const std::string& cause) {
            if (reader.Notice)
                reader.Notice(path + " line " + std::to_string(lineNumber) + ": " + cause + "; skipped");
        };
        ParsedRecord record = tooLong ? ParsedRecord{} : ParseRecord(line);
        if (record.Start) {
            uint8_t& known = flags[record.Start->Run];
            if (known & StartTaken) {
                skip("a second start of run " + record.Start->Run);
                continue;
            }
            known |= StartTaken;
            const bool endComes = known & EndsAfterStart;
            if (endComes)
                waitingAt[record.Start->Run] = handed + waiting.size();
            waiting.push_back({{std::move(*record.Start), std::nullopt}, !endComes});
        } else if (record.End) {
            uint8_t& known = flags[record.End->Run];
            if (!(known & StartTaken)) {
                skip("the end of run " + record.End->Run + ", whose start is not in the history");
                continue;
            }
            if (known & EndTaken) {
                skip("a second end of run " + record.End->Run);
                continue;
            }
            known |= EndTaken;
            const auto at = waitingAt.find(record.End->Run);
            if (at == waitingAt.end()) {
                // Its start was handed on as unfinished: the first reading found no end for it
                // (the file changed meanwhile, or the line names its kind or run twice).
                skip("the end of run " + record.End->Run + ", not found when the file was first read");
                continue;
            }
            Waiting& run = waiting[at->second - handed];
            run.Entry.End = std::move(*record.End);
            run.Whole = true;
        } else {
            skip("not a history record (damaged)");
        }
        handOn();
    }
    // A run whose end was not read after all (the file changed under us) did not finish.
    for (Waiting& run : waiting)
        run.Whole = true;
    handOn();
    if (error != 0) {
        why = path + ": " + std::strerror(error);
        return false;
    }
    return true;
}

bool ReadHistory(const std::string& path, HistoryContents& contents, std::string& why) {
    contents = {};
    const HistoryReader keep{[&](const HistoryEntry& run) { contents.Runs.push_back(run); },
                             [&](const std::string& notice) { contents.Notices.push_back(notice); }};
    return ReadHistory(path, keep, contents.Exists, why);
}
