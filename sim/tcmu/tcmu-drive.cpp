// SPDX-License-Identifier: Apache-2.0
// tcmu-drive: the virtual drive served by the kernel. The kernel's SCSI target passes every
// command for a TCMU device through a ring shared with this program over /dev/uioN; the
// loopback fabric makes the device a local SCSI drive, so sg and sr attach to it and a program
// on its /dev/sgN goes through SG_IO, the sg driver and the SCSI midlayer. The program's
// commands are judged by the drive model of --virtual-drive (sim/VirtualDrive, the same options
// and faults); what the kernel sends on its own is answered beside it (KernelServedDrive.h).
//
// Usage: tcmu-drive --uio /dev/uioN --record FILE [--virtual-drive=OPTIONS] [--image FILE]
//                   [--profiles FILE] [--hold=N]...
//   --record FILE    every command as it arrived, one line each, and at the end what the
//                    drive holds (below)
//   --image FILE     compare the drive's memory and flash with this image at the end
//   --profiles FILE  say whether the last profile uploaded is a blob of this file
//                    (the maker's profiles) or of the virtual drive's stand-ins
//   --hold=N         the model's command N waits for SIGUSR2 before it is carried out
//                    (a drive pulled out while it holds a command)
// Signals: SIGUSR1 arms it (from then on the program's commands go to the model), SIGUSR2
// lets a held command go on, SIGTERM ends it after writing what the drive holds.
//
// A "timeout=N" fault holds command N unanswered until the kernel aborts it (the device's
// tmr_notification attribute puts the abort in the ring), then ends it with ABORTED COMMAND.
// "error=", "open-error=", "replay=" and "count=" other than 1 describe what no drive can
// answer and are refused.
//
// The record's lines:
//   ready                      the ring is mapped
//   armed
//   model N CDB LEN DIR STATUS KK/AA/QQ [sha256=DIGEST] [held=MS] [aborted]
//   kernel N CDB LEN DIR STATUS KK/AA/QQ
//   holding N                  the model's command N is held (--hold)
//   end commands N | kernel-commands N | commits N | last-commit XX | entry-critical N |
//       revision XXXX | memory equal|differs at 0xOFFSET|unknown | flash ... |
//       profile maker at 0xOFFSET|stand-in|other|none
// CDB is as the target passed it (in its group's length), DIR "in" or "out", the direction the
// program gives the command; sha256 names the data sent.

// The ring's layout. The header defines struct iovec itself (through linux/uio.h), as glibc
// does; it comes first and glibc's is left out. It is C: one inline function of it converts
// an unsigned to an enum, which C++ takes only with -fpermissive (tests/kernel/CMakeLists.txt).
#include <cstddef>
#include <linux/target_core_user.h>
#define __iovec_defined 1

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "base/Sha256.h"
#include "sim/StandInProfiles.h"
#include "sim/VirtualDrive.h"
#include "sim/tcmu/KernelServedDrive.h"

namespace {

using Clock = std::chrono::steady_clock;

// The longest a "timeout=N" command waits for the kernel's abort.
constexpr auto LongestTimeoutHold = std::chrono::seconds(400);

struct Options {
    std::string Uio;
    std::string Record;
    std::string Image;
    std::string Profiles;
    std::string Drive;
    std::set<uint32_t> Holds;
};

void Usage() {
    std::fprintf(stderr, "usage: tcmu-drive --uio /dev/uioN --record FILE [--virtual-drive=OPTIONS] "
                         "[--image FILE] [--profiles FILE] [--hold=N]...\n");
}

std::optional<Options> ParseArguments(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](const std::string& name) -> std::optional<std::string> {
            if (arg.rfind(name + "=", 0) == 0)
                return arg.substr(name.size() + 1);
            if (arg == name && i + 1 < argc)
                return std::string(argv[++i]);
            return std::nullopt;
        };
        if (auto v = value("--uio")) options.Uio = *v;
        else if (auto v = value("--record")) options.Record = *v;
        else if (auto v = value("--image")) options.Image = *v;
        else if (auto v = value("--profiles")) options.Profiles = *v;
        else if (arg == "--virtual-drive") options.Drive.clear();
        else if (arg.rfind("--virtual-drive=", 0) == 0) options.Drive = arg.substr(16);
        else if (auto v = value("--hold")) {
            char* end = nullptr;
            const unsigned long n = std::strtoul(v->c_str(), &end, 10);
            if (v->empty() || *end != '\0' || n == 0 || n > 0xFFFFFFFFul) {
                std::fprintf(stderr, "tcmu-drive: --hold=%s: not a command number\n", v->c_str());
                return std::nullopt;
            }
            options.Holds.insert(uint32_t(n));
        } else {
            std::fprintf(stderr, "tcmu-drive: unknown argument %s\n", arg.c_str());
            Usage();
            return std::nullopt;
        }
    }
    if (options.Uio.empty() || options.Record.empty()) {
        Usage();
        return std::nullopt;
    }
    return options;
}

std::optional<std::vector<uint8_t>> ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::string Hex(const uint8_t* bytes, std::size_t length) { return HexBytes(bytes, length); }

std::string Sense(uint8_t key, uint8_t asc, uint8_t ascq) {
    char text[16];
    std::snprintf(text, sizeof text, "%02x/%02x/%02x", key, asc, ascq);
    return text;
}

// The CDB length of the opcode's group, as the target passes it.
std::size_t GroupLength(uint8_t opcode) {
    static constexpr std::size_t Lengths[8] = {6, 10, 10, 12, 16, 12, 10, 10};
    return std::min<std::size_t>(Lengths[opcode >> 5], 12);
}

// The ring of a TCMU device, mapped from its uio node.
class Ring {
public:
    bool Open(const std::string& node, std::string& why) {
        Fd_ = ::open(node.c_str(), O_RDWR | O_CLOEXEC);
        if (Fd_ < 0) {
            why = node + ": " + std::strerror(errno);
            return false;
        }
        const std::string name = node.substr(node.rfind('/') + 1);
        const std::string sizeFile = "/sys/class/uio/" + name + "/maps/map0/size";
        std::ifstream in(sizeFile);
        std::string text;
        if (!(in >> text)) {
            why = sizeFile + ": cannot read the map's size";
            return false;
        }
        Size_ = std::strtoull(text.c_str(), nullptr, 0);
        void* map = ::mmap(nullptr, Size_, PROT_READ | PROT_WRITE, MAP_SHARED, Fd_, 0);
        if (map == MAP_FAILED) {
            why = node + ": mmap: " + std::strerror(errno);
            return false;
        }
        Base_ = static_cast<uint8_t*>(map);
        if (Mailbox()->version != TCMU_MAILBOX_VERSION) {
            why = node + ": mailbox version " + std::to_string(Mailbox()->version) + ", expected " +
                  std::to_string(TCMU_MAILBOX_VERSION);
            return false;
        }
        return true;
    }
    int Fd() const { return Fd_; }
    bool CanReportReadLength() const { return (Mailbox()->flags & TCMU_MAILBOX_FLAG_CAP_READ_LEN) != 0; }

    uint32_t Head() const { return __atomic_load_n(Field(offsetof(tcmu_mailbox, cmd_head)), __ATOMIC_ACQUIRE); }
    uint32_t Tail() const { return __atomic_load_n(Field(offsetof(tcmu_mailbox, cmd_tail)), __ATOMIC_ACQUIRE); }
    uint32_t Next(uint32_t at) const { return (at + tcmu_hdr_get_len(Entry(at)->hdr.len_op)) % Mailbox()->cmdr_size; }
    void SetTail(uint32_t tail) { __atomic_store_n(Field(offsetof(tcmu_mailbox, cmd_tail)), tail, __ATOMIC_RELEASE); }
    tcmu_cmd_entry* Entry(uint32_t at) const {
        return reinterpret_cast<tcmu_cmd_entry*>(Base_ + Mailbox()->cmdr_off + at);
    }
    uint8_t* At(uint64_t offset) const { return Base_ + offset; }
    // Says the kernel that entries are done (and acknowledges its interrupt when read).
    void Kick() {
        const uint32_t one = 1;
        (void)!::write(Fd_, &one, sizeof one);
    }
    void TakeInterrupt() {
        uint32_t count;
        (void)!::read(Fd_, &count, sizeof count);
    }

private:
    tcmu_mailbox* Mailbox() const { return reinterpret_cast<tcmu_mailbox*>(Base_); }
    uint32_t* Field(std::size_t offset) const { return reinterpret_cast<uint32_t*>(Base_ + offset); }

    int Fd_ = -1;
    uint8_t* Base_ = nullptr;
    std::size_t Size_ = 0;
};

class Server {
public:
    Server(const Options& options, const VirtualDriveConfig& config, Ring& ring, FILE* record)
        : Options_(options), Drive_(config, DriveAddress{'K', 0, 0, 0}, options.Uio), Ring_(ring), Record_(record) {}

    void Arm() {
        Router_.Arm();
        Line("armed");
    }
    void Release() { Released_ = true; }
    bool Holding() const { return Held_.has_value(); }

    // Handles every entry the ring holds, up to one that must wait. True when an entry was done.
    bool Serve();
    void WriteEnd();

private:
    struct Held {
        uint16_t Id = 0;
        uint32_t Number = 0;       // the model's command number
        bool UntilAborted = false; // a "timeout=N" command; else until SIGUSR2
        Clock::time_point Since;
        std::vector<uint8_t> Cdb;  // 12 bytes
        uint8_t Direction = 0;
    };

    void Line(const std::string& text) {
        std::fprintf(Record_, "%s\n", text.c_str());
        std::fflush(Record_);
    }
    bool Command(tcmu_cmd_entry* entry);
    void Finish(tcmu_cmd_entry* entry, uint8_t status, const uint8_t* sense, std::size_t senseLength,
                const std::vector<uint8_t>& data, uint32_t returned, uint8_t direction);
    std::vector<iovec> Iovs(const tcmu_cmd_entry* entry) const;
    void NoteAborts();
    std::string CompareWithImage(const std::vector<uint8_t>& area, const std::vector<uint8_t>& image) const;
    std::string ProfileSource() const;

    const Options& Options_;
    VirtualDrive Drive_;
    Ring& Ring_;
    FILE* Record_;
    CommandRouter Router_;
    std::optional<Held> Held_;
    bool Released_ = false;
    std::set<uint16_t> Aborted_;  // commands the kernel aborted, by ring id (ids are used again)
    unsigned KernelCommands_ = 0;
    unsigned AbortedCommands_ = 0;
};

std::vector<iovec> Server::Iovs(const tcmu_cmd_entry* entry) const {
    std::vector<iovec> iovs(entry->req.iov_cnt);
    std::memcpy(iovs.data(), reinterpret_cast<const uint8_t*>(entry) + offsetof(tcmu_cmd_entry, req.iov),
                iovs.size() * sizeof(iovec));
    return iovs;
}

// The kernel's task management entries that wait behind a held command: the aborts they name.
void Server::NoteAborts() {
    for (uint32_t at = Ring_.Tail(), head = Ring_.Head(); at != head; at = Ring_.Next(at)) {
        const tcmu_cmd_entry* entry = Ring_.Entry(at);
        if (tcmu_hdr_get_op(entry->hdr.len_op) != TCMU_OP_TMR)
            continue;
        const auto* tmr = reinterpret_cast<const tcmu_tmr_entry*>(entry);
        for (uint32_t i = 0; i < tmr->cmd_cnt; ++i) {
            uint16_t id;
            std::memcpy(&id, reinterpret_cast<const uint8_t*>(tmr) + offsetof(tcmu_tmr_entry, cmd_ids) + i * 2, 2);
            Aborted_.insert(id);
        }
    }
}

bool Server::Serve() {
    bool done = false;
    for (uint32_t tail = Ring_.Tail(); tail != Ring_.Head(); tail = Ring_.Tail()) {
        tcmu_cmd_entry* entry = Ring_.Entry(tail);
        switch (tcmu_hdr_get_op(entry->hdr.len_op)) {
        case TCMU_OP_PAD: break;
        case TCMU_OP_TMR: {
            const auto* tmr = reinterpret_cast<const tcmu_tmr_entry*>(entry);
            if (tmr->cmd_cnt > 0)
                Line("kernel task management " + std::to_string(tmr->tmr_type) + " of " + std::to_string(tmr->cmd_cnt) +
                     " command(s)");
            break;
        }
        case TCMU_OP_CMD:
            if (!Command(entry))
                return done;  // held: it and everything behind it wait
            break;
        default: entry->hdr.uflags |= TCMU_UFLAG_UNKNOWN_OP; break;
        }
        Ring_.SetTail(Ring_.Next(tail));
        done = true;
    }
    return done;
}

// One command: routed, carried out (or held), answered. False while it is held.
bool Server::Command(tcmu_cmd_entry* entry) {
    const uint16_t id = entry->hdr.cmd_id;
    const std::vector<iovec> iovs = Iovs(entry);
    uint32_t length = 0;
    for (const iovec& iov : iovs)
        length += uint32_t(iov.iov_len);
    uint8_t cdb[12] = {};
    const uint8_t* sent = Ring_.At(entry->req.cdb_off);
    const std::size_t cdbLength = GroupLength(sent[0]);
    std::memcpy(cdb, sent, cdbLength);
    const uint8_t direction = DirectionOf(cdb, length);

    std::vector<uint8_t> data(length, 0);
    if (direction == DirectionOut) {
        std::size_t at = 0;
        for (const iovec& iov : iovs) {
            std::memcpy(data.data() + at, Ring_.At(reinterpret_cast<uint64_t>(iov.iov_base)), iov.iov_len);
            at += iov.iov_len;
        }
    }
    const std::string shown = Hex(cdb, cdbLength) + " " + std::to_string(length) + " " +
                              (direction == DirectionIn ? "in" : "out");

    if (Held_ && Held_->Id == id) {
        NoteAborts();
        const bool aborted = Aborted_.count(id) > 0;
        const bool longest = Clock::now() - Held_->Since >= LongestTimeoutHold;
        if (Held_->UntilAborted ? !(aborted || longest) : !Released_)
            return false;
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - Held_->Since).count();
        const std::string extra = " held=" + std::to_string(ms) + (aborted ? " aborted" : "");
        if (aborted)
            ++AbortedCommands_;
        if (Held_->UntilAborted) {
            // The model has already answered it as a timeout; the kernel takes the end as the abort's.
            const uint8_t sense[18] = {0x70, 0, 0x0B, 0, 0, 0, 0, 10};
            Line("model " + std::to_string(Held_->Number) + " " + shown + " 02 0b/00/00" + extra);
            Finish(entry, 0x02, sense, sizeof sense, {}, 0, direction);
        } else {
            CommandOutcome outcome;
            Drive_.Execute(cdb, direction, data.data(), length, outcome);
            const RecordedCommand& record = Drive_.Commands().back();
            Line("model " + std::to_string(record.Number) + " " + shown + " " + Hex(&outcome.Status, 1) + " " +
                 Sense(record.Key, record.Asc, record.Ascq) +
                 (direction == DirectionOut && length > 0 ? " sha256=" + Sha256Hex(data.data(), length) : "") +
                 extra);
            Finish(entry, outcome.Status, outcome.Sense, sizeof outcome.Sense, data, record.Returned, direction);
        }
        Aborted_.erase(id);
        Held_.reset();
        Released_ = false;
        return true;
    }

    if (Router_.Route(cdb) == CommandSource::Kernel) {
        const KernelAnswer answer = AnswerKernelCommand(cdb, length, Drive_);
        ++KernelCommands_;
        const bool good = answer.Key == 0 && answer.Asc == 0 && answer.Ascq == 0;
        const uint8_t status = good ? 0x00 : 0x02;
        Line("kernel " + std::to_string(KernelCommands_) + " " + shown + " " + Hex(&status, 1) + " " +
             Sense(answer.Key, answer.Asc, answer.Ascq));
        uint8_t sense[18] = {0x70, 0, answer.Key, 0, 0, 0, 0, 10};
        sense[12] = answer.Asc;
        sense[13] = answer.Ascq;
        std::vector<uint8_t> reply = answer.Data;
        const uint32_t returned = uint32_t(reply.size());
        reply.resize(length, 0);
        Finish(entry, status, good ? nullptr : sense, good ? 0 : sizeof sense, reply, returned, DirectionIn);
        return true;
    }

    const uint32_t number = uint32_t(Drive_.Commands().size()) + 1;
    if (Options_.Holds.count(number) > 0) {
        Held_ = Held{id, number, false, Clock::now(), std::vector<uint8_t>(cdb, cdb + 12), direction};
        Released_ = false;
        Line("holding " + std::to_string(number));
        return false;
    }
    CommandOutcome outcome;
    Drive_.Execute(cdb, direction, data.data(), length, outcome);
    const RecordedCommand& record = Drive_.Commands().back();
    if (!outcome.PlatformOk) {
        // Only a timeout gets here (the other platform faults are refused at the start):
        // the command stays unanswered until the kernel gives up on it.
        Held_ = Held{id, record.Number, true, Clock::now(), std::vector<uint8_t>(cdb, cdb + 12), direction};
        Line("holding " + std::to_string(record.Number) + " until the kernel aborts it");
        return false;
    }
    // A command the model took long over (a slow commit) may have been aborted meanwhile.
    NoteAborts();
    const bool aborted = Aborted_.erase(id) > 0;
    if (aborted)
        ++AbortedCommands_;
    Line("model " + std::to_string(record.Number) + " " + shown + " " + Hex(&outcome.Status, 1) + " " +
         Sense(record.Key, record.Asc, record.Ascq) +
         (direction == DirectionOut && length > 0 ? " sha256=" + Sha256Hex(data.data(), length) : "") +
         (aborted ? " aborted" : ""));
    Finish(entry, outcome.Status, outcome.Status == 0x02 ? outcome.Sense : nullptr,
           outcome.Status == 0x02 ? sizeof outcome.Sense : 0, data, record.Returned, direction);
    return true;
}

// Writes the answer into the entry (its response overlays the request, read before).
void Server::Finish(tcmu_cmd_entry* entry, uint8_t status, const uint8_t* sense, std::size_t senseLength,
                    const std::vector<uint8_t>& data, uint32_t returned, uint8_t direction) {
    if (direction == DirectionIn && !data.empty()) {
        std::size_t at = 0;
        for (const iovec& iov : Iovs(entry)) {
            std::memcpy(Ring_.At(reinterpret_cast<uint64_t>(iov.iov_base)), data.data() + at, iov.iov_len);
            at += iov.iov_len;
        }
    }
    const bool shortRead = direction == DirectionIn && returned < data.size();
    entry->rsp.scsi_status = status;
    std::memset(entry->rsp.sense_buffer, 0, sizeof entry->rsp.sense_buffer);
    if (sense != nullptr)
        std::memcpy(entry->rsp.sense_buffer, sense, std::min(senseLength, sizeof entry->rsp.sense_buffer));
    if (shortRead && Ring_.CanReportReadLength()) {
        entry->hdr.uflags |= TCMU_UFLAG_READ_LEN;
        entry->rsp.read_len = returned;
    }
}

std::string Server::CompareWithImage(const std::vector<uint8_t>& area, const std::vector<uint8_t>& image) const {
    if (image.empty() || image.size() > area.size())
        return "unknown";
    const auto [a, b] = std::mismatch(image.begin(), image.end(), area.begin());
    if (a == image.end())
        return "equal";
    char text[48];
    std::snprintf(text, sizeof text, "differs at 0x%zx", std::size_t(a - image.begin()));
    return text;
}

// Where the blob of the last profile uploaded comes from: after its header (chip, for a DVD
// also the sub-identity, then the blob's big-endian size) the blob, as much of it as was
// uploaded, searched in the maker's file and in the stand-ins.
std::string Server::ProfileSource() const {
    const std::vector<uint8_t>& profile = Drive_.LastProfile();
    if (profile.empty())
        return "none";
    std::optional<std::vector<uint8_t>> maker;
    if (!Options_.Profiles.empty())
        maker = ReadWholeFile(Options_.Profiles);
    const std::span<const uint8_t> standIns = StandInProfiles();
    for (std::size_t header : {std::size_t(4), std::size_t(6)}) {
        if (profile.size() <= header)
            continue;
        // A DVD drive's upload is the blob's rounded size, header included: the blob's end is cut.
        const std::size_t size = std::min(std::size_t(profile[header - 2]) << 8 | profile[header - 1],
                                          profile.size() - header);
        if (size == 0)
            continue;
        const auto blob = profile.begin() + std::ptrdiff_t(header);
        const auto blobEnd = blob + std::ptrdiff_t(size);
        if (maker) {
            const auto found = std::search(maker->begin(), maker->end(), blob, blobEnd);
            if (found != maker->end()) {
                char text[48];
                std::snprintf(text, sizeof text, "maker at 0x%zx", std::size_t(found - maker->begin()));
                return text;
            }
        }
        if (std::search(standIns.begin(), standIns.end(), blob, blobEnd) != standIns.end())
            return "stand-in";
    }
    return "other";
}

void Server::WriteEnd() {
    std::vector<uint8_t> image;
    if (!Options_.Image.empty())
        image = ReadWholeFile(Options_.Image).value_or(std::vector<uint8_t>());
    char code[8];
    std::snprintf(code, sizeof code, "%02x", Drive_.LastCommitCode());
    Line("end commands " + std::to_string(Drive_.Commands().size()));
    Line("end kernel-commands " + std::to_string(KernelCommands_));
    Line("end aborted " + std::to_string(AbortedCommands_));
    Line("end commits " + std::to_string(Drive_.CommitCount()));
    Line(std::string("end last-commit ") + code);
    Line("end entry-critical " + std::to_string(Drive_.EntryCriticalCount()));
    Line("end revision " + Drive_.Revision());
    Line("end memory " + CompareWithImage(Drive_.Memory(), image));
    Line("end flash " + CompareWithImage(Drive_.Flash(), image));
    Line("end profile " + ProfileSource());
}

// The options a drive behind the kernel can answer: no faults of the platform call itself.
std::optional<VirtualDriveConfig> DriveConfig(const std::string& text) {
    std::string error;
    std::optional<VirtualDriveConfig> config = ParseVirtualDriveOptions(text, VirtualDriveConfig{}, error);
    if (!config) {
        std::fprintf(stderr, "tcmu-drive: --virtual-drive: %s\n", error.c_str());
        return std::nullopt;
    }
    const char* refused = nullptr;
    if (!config->ReplayFile.empty())
        refused = "replay= plays a recording back in the program itself";
    else if (config->Count != 1)
        refused = "count= other than 1: one device serves one drive";
    else if (config->OpenError != 0)
        refused = "open-error=: the kernel opens the node, not the drive";
    for (const VirtualFault& fault : config->Faults)
        if (fault.Kind == VirtualFaultKind::PlatformError)
            refused = "error=: a drive answers with status and sense; only the kernel fails a call";
    if (refused != nullptr) {
        std::fprintf(stderr, "tcmu-drive: --virtual-drive: %s\n", refused);
        return std::nullopt;
    }
    return config;
}

}  // namespace

int main(int argc, char** argv) {
    const std::optional<Options> options = ParseArguments(argc, argv);
    if (!options)
        return 2;
    const std::optional<VirtualDriveConfig> config = DriveConfig(options->Drive);
    if (!config)
        return 2;
    FILE* record = std::fopen(options->Record.c_str(), "w");
    if (record == nullptr) {
        std::fprintf(stderr, "tcmu-drive: %s: %s\n", options->Record.c_str(), std::strerror(errno));
        return 1;
    }
    Ring ring;
    std::string why;
    if (!ring.Open(options->Uio, why)) {
        std::fprintf(stderr, "tcmu-drive: %s\n", why.c_str());
        return 1;
    }

    sigset_t signals;
    sigemptyset(&signals);
    for (int s : {SIGTERM, SIGINT, SIGUSR1, SIGUSR2})
        sigaddset(&signals, s);
    sigprocmask(SIG_BLOCK, &signals, nullptr);
    const int signalFd = signalfd(-1, &signals, SFD_CLOEXEC);
    if (signalFd < 0) {
        std::fprintf(stderr, "tcmu-drive: signalfd: %s\n", std::strerror(errno));
        return 1;
    }

    Server server(*options, *config, ring, record);
    std::fprintf(record, "ready\n");
    std::fflush(record);
    // Entries queued before the start are served at once.
    if (server.Serve())
        ring.Kick();
    for (bool running = true; running;) {
        pollfd fds[2] = {{ring.Fd(), POLLIN, 0}, {signalFd, POLLIN, 0}};
        // A held command is looked at again now and then: the kernel's abort of it comes in the ring.
        if (::poll(fds, 2, server.Holding() ? 200 : -1) < 0 && errno != EINTR)
            break;
        if (fds[1].revents & POLLIN) {
            signalfd_siginfo info;
            if (::read(signalFd, &info, sizeof info) == sizeof info) {
                if (info.ssi_signo == SIGUSR1)
                    server.Arm();
                else if (info.ssi_signo == SIGUSR2)
                    server.Release();
                else
                    running = false;
            }
        }
        if (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL))
            break;  // the device is gone
        if (fds[0].revents & POLLIN)
            ring.TakeInterrupt();
        if (server.Serve())
            ring.Kick();
    }
    server.WriteEnd();
    std::fclose(record);
    return 0;
}
