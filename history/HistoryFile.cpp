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

// The first reading: which runs have an end after their start, so that a run is waited for
// only when its end is still to come. error set when reading failed.
RunFlags EndsAfterStarts(int fd, uint64_t size, int& error) {
    std::string line;
    bool tooLong = false;
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
    return flags;
}

// The second reading's runs in the order of their starts, each handed on once it and every
// run before it are whole.
class RunQueue {
public:
    RunQueue(RunFlags& flags, const HistoryReader& reader) : Flags_(flags), Reader_(reader) {}

    // Takes one record: "" when it was taken, else why it is skipped.
    std::string Take(ParsedRecord& record) {
        if (record.Start) {
            uint8_t& known = Flags_[record.Start->Run];
            if (known & StartTaken)
                return "a second start of run " + record.Start->Run;
            known |= StartTaken;
            const bool endComes = known & EndsAfterStart;
            if (endComes)
                WaitingAt_[record.Start->Run] = Handed_ + Waiting_.size();
            Waiting_.push_back({{std::move(*record.Start), std::nullopt}, !endComes});
        } else if (record.End) {
            if (std::string skipped = TakeEnd(*record.End); !skipped.empty())
                return skipped;
        } else {
            return "not a history record (damaged)";
        }
        HandOn();
        return {};
    }

    // A run whose end was not read after all (the file changed under us) did not finish.
    void Close() {
        for (Waiting& run : Waiting_)
            run.Whole = true;
        HandOn();
    }

private:
    struct Waiting {
        HistoryEntry Entry;
        bool Whole = false;
    };

    std::string TakeEnd(RunEnd& end) {
        uint8_t& known = Flags_[end.Run];
        if (!(known & StartTaken))
            return "the end of run " + end.Run + ", whose start is not in the history";
        if (known & EndTaken)
            return "a second end of run " + end.Run;
        known |= EndTaken;
        const auto at = WaitingAt_.find(end.Run);
        if (at == WaitingAt_.end()) {
            // Its start was handed on as unfinished: the first reading found no end for it
            // (the file changed meanwhile, or the line names its kind or run twice).
            return "the end of run " + end.Run + ", not found when the file was first read";
        }
        Waiting& run = Waiting_[at->second - Handed_];
        run.Entry.End = std::move(end);
        run.Whole = true;
        return {};
    }

    void HandOn() {
        while (!Waiting_.empty() && Waiting_.front().Whole) {
            WaitingAt_.erase(Waiting_.front().Entry.Start.Run);
            if (Reader_.Run)
                Reader_.Run(Waiting_.front().Entry);
            Waiting_.pop_front();
            ++Handed_;
        }
    }

    RunFlags& Flags_;
    const HistoryReader& Reader_;
    std::deque<Waiting> Waiting_;
    std::unordered_map<std::string, std::size_t> WaitingAt_;  // run id -> index in Waiting_ + Handed_
    std::size_t Handed_ = 0;
};

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
    int error = 0;
    RunFlags flags = EndsAfterStarts(fd, size, error);
    if (error != 0 || ::lseek(fd, 0, SEEK_SET) != 0) {
        why = path + ": " + std::strerror(error != 0 ? error : errno);
        return false;
    }

    // Then the records, each run handed on once it and every run before it are whole.
    RunQueue runs(flags, reader);
    std::string line;
    bool tooLong = false;
    std::size_t lineNumber = 0;
    for (LineReader lines(fd, size); lines.Next(line, tooLong, error);) {
        ++lineNumber;
        if (!tooLong && Blank(line))
            continue;
        ParsedRecord record = tooLong ? ParsedRecord{} : ParseRecord(line);
        const std::string skipped = runs.Take(record);
        if (!skipped.empty() && reader.Notice)
            reader.Notice(path + " line " + std::to_string(lineNumber) + ": " + skipped + "; skipped");
    }
    runs.Close();
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
