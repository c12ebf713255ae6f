// SPDX-License-Identifier: Apache-2.0
#include "platform/JsonKeys.h"
#include "platform/JsonVocabulary.h"
#include "platform/TracingPlatform.h"

#include <cerrno>
#include <chrono>
#include <cstring>

#include "platform/JsonText.h"
#include "base/Sha256.h"
#include "base/UtcTime.h"
#include "platform/DriveId.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

TracingPlatform::TracingPlatform(Platform& inner, LineSink sink) : ForwardingPlatform(inner), Sink_(std::move(sink)) {}

namespace {

// What kind of file other than a regular file or a character device sits at a path.
const char* KindOf(mode_t mode) {
    if (S_ISFIFO(mode))
        return "a FIFO";
    if (S_ISSOCK(mode))
        return "a socket";
    if (S_ISBLK(mode))
        return "a block device";
    if (S_ISDIR(mode))
        return "a directory";
    return "a special file";
}

// Why the trace file could not be opened, from open's error and what lies at the path.
std::string OpenFailure(const std::string& path, int error) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) {
        if (error == ELOOP && S_ISLNK(st.st_mode))
            return "it is a symbolic link, which is not followed";
        if (error == ENXIO && (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)))
            return std::string("it is ") + KindOf(st.st_mode) + ", not a regular file";
    }
    return std::strerror(error);
}

// The open trace file: each line goes out with one write. After the first failure the trace
// stops, and the failure is reported once.
struct TraceFile {
    int Descriptor = -1;
    std::string Path;
    TracingPlatform::FailureSink OnFailure;
    bool Failed = false;

    ~TraceFile() {
        if (Descriptor >= 0)
            ::close(Descriptor);
    }

    void Write(const std::string& line) {
        if (Failed)
            return;
        const int savedErrno = errno;  // the traced command's error stays for its caller
        const std::string data = line + '\n';
        std::size_t done = 0;
        while (done < data.size()) {
            const ssize_t n = ::write(Descriptor, data.data() + done, data.size() - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                const int error = n < 0 ? errno : EIO;
                Failed = true;
                if (OnFailure)
                    OnFailure("cannot write the trace file " + Path + ": " + std::strerror(error) +
                              " (the trace stops here; the run goes on)");
                break;
            }
            done += std::size_t(n);
        }
        errno = savedErrno;
    }
};

// Whether a line is one this class writes: an object that starts with the device, then
// names the drive or gives the command's bytes.
bool IsTraceLine(const std::string& line) {
    const auto record = nlohmann::ordered_json::parse(line, nullptr, false);
    if (!record.is_object() || record.empty() || record.begin().key() != "device")
        return false;
    if (const auto kind = record.find("record"); kind != record.end())
        return record.begin()->is_string() && *kind == "drive" && record.contains(JsonKey::DeviceId);
    const auto cdb = record.find("cdb"), dir = record.find("dir");
    return record.begin()->is_string() && cdb != record.end() && cdb->is_string() && cdb->get<std::string>().size() == 24 &&
           dir != record.end() && (*dir == "in" || *dir == "out");
}

// Why an existing regular file may not be replaced by a trace ("" when it may): only an empty
// file or an earlier trace is. The file is read through its own name, checked to be the one
// opened for writing.
std::string WhyNotReplaced(const std::string& path, const struct stat& opened) {
    if (opened.st_size == 0)
        return {};
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return std::strerror(errno);
    struct stat reopened {};
    std::string head;
    // A first line longer than this (the data of a large read, in hex) is still read whole.
    constexpr std::size_t Limit = 1u << 20;
    bool same = ::fstat(fd, &reopened) == 0 && reopened.st_dev == opened.st_dev && reopened.st_ino == opened.st_ino;
    char buffer[1 << 16];
    while (same && head.size() < Limit && head.find('\n') == std::string::npos) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        head.append(buffer, std::size_t(n));
    }
    ::close(fd);
    if (!same)
        return "it changed while being opened";
    if (!IsTraceLine(head.substr(0, head.find('\n'))))
        return "it holds something other than a trace of this program, so it is not replaced";
    return {};
}

}  // namespace

std::unique_ptr<TracingPlatform> TracingPlatform::ToFile(Platform& inner, const std::string& path,
                                                         std::string& error, FailureSink onWriteFailure) {
    // Never through a symbolic link, and never waiting for a FIFO's reader: what is opened is
    // checked before anything is written, and a file is emptied only once it is known to be
    // an earlier trace (a mistyped history or image file is not lost).
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = "cannot write the trace file " + path + ": " + OpenFailure(path, errno);
        return nullptr;
    }
    auto file = std::make_shared<TraceFile>();
    file->Descriptor = fd;
    file->Path = path;
    file->OnFailure = std::move(onWriteFailure);
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        error = "cannot write the trace file " + path + ": " + std::strerror(errno);
        return nullptr;
    }
    if (!S_ISREG(st.st_mode) && !S_ISCHR(st.st_mode)) {
        error = "cannot write the trace file " + path + ": it is " + KindOf(st.st_mode) + ", not a regular file";
        return nullptr;
    }
    if (S_ISREG(st.st_mode)) {
        if (const std::string why = WhyNotReplaced(path, st); !why.empty()) {
            error = "cannot write the trace file " + path + ": " + why;
            return nullptr;
        }
        if (::ftruncate(fd, 0) != 0) {
            error = "cannot write the trace file " + path + ": " + std::strerror(errno);
            return nullptr;
        }
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return std::make_unique<TracingPlatform>(inner, [file](const std::string& line) { file->Write(line); });
}

std::string TracingPlatform::FormatLine(const std::string& device, const uint8_t cdb[12], uint8_t direction,
                                        uint32_t length, const CommandOutcome& outcome, double milliseconds) {
    return OneLine(LineFields(device, cdb, direction, length, outcome, milliseconds));
}

nlohmann::ordered_json TracingPlatform::LineFields(const std::string& device, const uint8_t cdb[12],
                                                   uint8_t direction, uint32_t length, const CommandOutcome& outcome,
                                                   double milliseconds) {
    nlohmann::ordered_json line;
    line["device"] = JsonText(device);
    line["cdb"] = HexBytes(cdb, 12);
    line["dir"] = direction == DirectionIn ? "in" : "out";
    line["len"] = length;
    line["status"] = outcome.Status;
    line[JsonKey::Sense] = SenseJson(outcome.Sense[2], outcome.Sense[12], outcome.Sense[13]);
    line[JsonKey::SystemError] = outcome.Error;
    line[JsonKey::DurationMs] = milliseconds;  // OneLine writes it with two decimals
    // The earlier spellings, kept one release (replay reads either).
    line["error"] = outcome.Error;
    line["ms"] = milliseconds;
    return line;
}

void TracingPlatform::AddDataFields(nlohmann::ordered_json& line, uint8_t direction, const uint8_t* buffer,
                                    uint32_t length, const CommandOutcome& outcome, const std::string& sentDigest,
                                    const DriveAddress& address, bool readBackOfSent) {
    line["ok"] = outcome.PlatformOk;
    line["transport_failed"] = outcome.TransportFailed;
    line["residual"] = outcome.Residual;
    line["sense_data"] = HexBytes(outcome.Sense, SenseSize);
    if (direction == DirectionIn && readBackOfSent)
        line["data_sha256"] = Sha256Hex(buffer, length);
    else if (direction == DirectionIn)
        line["data"] = buffer != nullptr ? HexBytes(buffer, length) : std::string();
    else
        line["sha256"] = sentDigest;
    nlohmann::ordered_json where;
    where["letter"] = JsonText(std::string(1, address.Letter));
    where["host"] = address.HostAdapter;
    where["target"] = address.Target;
    where["lun"] = address.Lun;
    line["address"] = std::move(where);
}

std::string TracingPlatform::DriveLine(const std::string& device, const std::optional<std::string>& deviceId,
                                       const std::optional<std::string>& serial, const std::string& time) {
    const auto textOrNull = [](const std::optional<std::string>& text) {
        return text ? JsonText(*text) : nlohmann::ordered_json(nullptr);
    };
    nlohmann::ordered_json line;
    line["device"] = JsonText(device);
    line["record"] = "drive";
    line[JsonKey::DeviceId] = textOrNull(deviceId);
    line[JsonKey::Serial] = textOrNull(serial);
    line[JsonKey::Time] = time;
    line[JsonKey::Schema] = JsonSchemaName::Trace;
    return OneLine(line);
}

std::vector<DriveCandidate> TracingPlatform::EnumerateOpticalDrives() {
    Enumerated_ = Inner_.EnumerateOpticalDrives();
    return Enumerated_;
}

OpenOutcome TracingPlatform::Open(const DriveAddress& address) {
    const OpenOutcome opened = Inner_.Open(address);
    if (!opened.Opened())
        return opened;
    const int savedErrno = errno;
    const std::string path = Inner_.DevicePath(address);
    Devices_[opened.Handle] = OpenDevice{path, address};
    // The drive is named on every opening: a node opened again may lead to another drive.
    std::optional<std::string> id, serial;
    for (const DriveCandidate& candidate : Enumerated_)
        if (candidate.Address == address) {
            id = DriveIdOf(candidate);
            serial = candidate.Serial;
        }
    const std::string line = DriveLine(path, id, serial, UtcTimeNow());
    const std::lock_guard<std::mutex> lock(LineMutex_);
    Sink_(line);
    errno = savedErrno;
    return opened;
}

bool TracingPlatform::Send(PlatformHandle handle, const uint8_t cdb[12], uint8_t direction, uint8_t* buffer,
                           uint32_t length, uint16_t timeoutSeconds, CommandOutcome& outcome) {
    // The digest of what is sent is taken before the command, whatever the drive does to the buffer.
    const std::string sentDigest =
        RecordData_ && direction != DirectionIn ? Sha256Hex(length > 0 ? buffer : nullptr, length) : std::string();
    const auto start = std::chrono::steady_clock::now();
    const bool ok = Inner_.Send(handle, cdb, direction, buffer, length, timeoutSeconds, outcome);
    const std::chrono::duration<double, std::milli> elapsed = std::chrono::steady_clock::now() - start;
    const int savedErrno = errno;
    const auto device = Devices_.find(handle);
    const OpenDevice unknown;
    const OpenDevice& from = device != Devices_.end() ? device->second : unknown;
    nlohmann::ordered_json line = LineFields(from.Path, cdb, direction, length, outcome, elapsed.count());
    const std::lock_guard<std::mutex> lock(LineMutex_);
    if (RecordData_) {
        const uint8_t* data = length > 0 ? buffer : nullptr;
        bool readBack = false;
        if (direction != DirectionIn && length > 0)
            SentDigests_.insert(sentDigest);
        else if (direction == DirectionIn && length > 0)
            readBack = SentDigests_.count(Sha256Hex(data, length)) > 0;
        AddDataFields(line, direction, data, length, outcome, sentDigest, from.Address, readBack);
    }
    // Last, so that a line still starts with "device", which tells a trace from other files.
    line[JsonKey::Schema] = JsonSchemaName::Trace;
    Sink_(OneLine(line));
    errno = savedErrno;
    return ok;
}

void TracingPlatform::Close(PlatformHandle handle) {
    Inner_.Close(handle);
    Devices_.erase(handle);
}
