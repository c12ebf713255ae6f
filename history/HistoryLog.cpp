// SPDX-License-Identifier: Apache-2.0
#include "history/HistoryLog.h"

#include "base/UserFolders.h"
#include "platform/JsonVocabulary.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <algorithm>
#include <ctime>

#include "flash/UtilityFacts.h"
#include "history/HistoryPlace.h"
#include "base/Sha256.h"

namespace {

std::string TrimRight(std::string text) {
    const std::size_t end = text.find_last_not_of(' ');
    text.erase(end == std::string::npos ? 0 : end + 1);
    return text;
}

}  // namespace

std::string NewRunId() {
    uint8_t bytes[8] = {};
    if (::getrandom(bytes, sizeof bytes, 0) != ssize_t(sizeof bytes)) {
        // Without the kernel's randomness, the time and the process still tell runs apart.
        const uint64_t mixed = uint64_t(std::chrono::system_clock::now().time_since_epoch().count()) ^
                               (uint64_t(::getpid()) << 40);
        std::memcpy(bytes, &mixed, sizeof bytes);
    }
    return HexBytes(bytes, sizeof bytes);
}

HistoryLog::HistoryLog(std::string path, Notice notice, SystemLog* log)
    : Path_(std::move(path)), Notice_(std::move(notice)), Log_(log) {}

bool HistoryLog::Failed(const std::string& cause) {
    // Only the first failure, whichever thread meets it, is told.
    if (!Reported_.exchange(true) && Notice_)
        Notice_("the history of runs can't be written: " + cause + "; runs are not recorded");
    return false;
}

bool HistoryLog::Append(const std::string& line) {
    if (Path_.empty())
        return Failed(NoHistoryPlaceReasonOfProcess());
    auto failed = [&](int error) { return Failed(Path_ + ": " + std::strerror(error)); };
    if (Path_.starts_with('/') && !MakeParentDirectories(Path_))
        return failed(errno);
    // Read as well: the last byte tells whether the file ends inside a line. Never waiting for
    // a FIFO's reader.
    const int fd = ::open(Path_.c_str(), O_RDWR | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd < 0)
        return failed(errno);
    struct stat info {};
    std::string text = line;
    // Only a file keeps what is written: to a FIFO, a device or a socket records are lost.
    if (::fstat(fd, &info) != 0) {
        const int error = errno;
        ::close(fd);
        return failed(error);
    }
    if (!S_ISREG(info.st_mode)) {
        ::close(fd);
        return Failed(Path_ + ": " + (S_ISFIFO(info.st_mode) ? "a FIFO" : S_ISSOCK(info.st_mode) ? "a socket" : "a device") +
                      ", not a regular file");
    }
    if (info.st_size > 0) {
        // A line cut off by a crash would swallow this record: it starts on a line of its own.
        char last = '\n';
        if (::pread(fd, &last, 1, info.st_size - 1) == 1 && last != '\n')
            text.insert(text.begin(), '\n');
    }
    // One write(2): with O_APPEND a whole record lands after every other, never inside one.
    errno = 0;
    const ssize_t n = ::write(fd, text.data(), text.size());
    int error = n == ssize_t(text.size()) ? 0 : (errno != 0 ? errno : EIO);
    // On the disk before the run goes on.
    if (error == 0 && ::fdatasync(fd) != 0)
        error = errno;
    if (::close(fd) != 0 && error == 0 && errno != EINTR)
        error = errno;
    return error == 0 ? true : failed(error);
}

void HistoryLog::Log(int priority, const std::string& line) {
    if (Log_)
        Log_->Write(priority, line);
}

HistoryRun::HistoryRun(HistoryLog* history, const IdentityBlock& utility, const CDDrive& drive, bool rehearsal)
    : History_(history), Utility_(utility), Drive_(drive), Rehearsal_(rehearsal) {}

void HistoryRun::NameUtility(const std::string& file, const std::string& fileSha256, const CopyVerdict& verdict) {
    Named_.File = file;
    Named_.FileSha256 = fileSha256;
    Named_.Verdict = VerdictName(verdict.Result);
    Named_.Signer = verdict.Signer;
    Named_.Fingerprint = verdict.Fingerprint;
}

void HistoryRun::NameDrive(const std::optional<std::string>& deviceId, const std::optional<std::string>& serial) {
    DeviceId_ = deviceId;
    Serial_ = serial;
}

void HistoryRun::Started() {
    if (!History_ || Start_)
        return;
    RunStart start;
    start.Run = NewRunId();
    start.Time = UtcTimeNow();
    start.Version = FLASHUTIL_VERSION;
    start.Rehearsal = Rehearsal_;
    start.Utility = Named_;
    start.Utility.Model = Utility_.Model();
    start.Utility.Maker = Utility_.Vendor();
    start.Utility.NewRevision = Utility_.NewFwName().substr(0, 4);
    start.Utility.ImageSha256 = ImageSha256Of(Utility_);
    start.Utility.SentSha256 = SentSha256Of(Utility_);
    const std::string product = Drive_.ProductText();
    start.Drive = {Drive_.DevicePath(), Drive_.Identity(), TrimRight(product.substr(0, std::min<std::size_t>(8, product.size()))),
                   TrimRight(product.size() > 8 ? product.substr(8) : std::string()), Drive_.RevisionText(),
                   Drive_.IsVirtual(), DeviceId_, Serial_};
    StartedAt_ = std::chrono::steady_clock::now();
    History_->Append(StartLine(start));
    Start_ = std::move(start);
}

void HistoryRun::Ended(const FlashReport& report, const std::string& outcomeKey) {
    if (!History_ || !Start_)
        return;
    RunEnd end;
    end.Run = Start_->Run;
    end.Time = UtcTimeNow();
    // Held with hyphens, as records read back from the file are (see HistoryRecord).
    end.Outcome = HyphenCase(outcomeKey);
    end.Step = HyphenCase(StepKey(report.Step));
    end.Status = report.Status;
    end.DurationMs = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - StartedAt_)
                         .count();
    if (report.Failure)
        end.Failure = FailureOf(*report.Failure);
    switch (report.Outcome) {
    case FlashOutcome::Completed:
        // The drive was asked again after the commit.
        if (!Drive_.RevisionText().empty())
            end.RevisionAfter = Drive_.RevisionText();
        if (!Drive_.IdentityProblem().empty() || report.NewIdentity.empty())
            break;
        end.IdentityAfter = report.NewIdentity;
        break;
    case FlashOutcome::CommitFailed:
        break;  // the drive may have changed, or not: unknown
    default:
        end.RevisionAfter = Start_->Drive.Revision;  // no commit was sent: the flash is unchanged
        break;
    }
    History_->Append(EndLine(end));
    History_->Log(SystemLogPriority(report.Outcome), SystemLogLine(*Start_, end));
}
