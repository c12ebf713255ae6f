// SPDX-License-Identifier: Apache-2.0
#include "sim/Recording.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <nlohmann/json.hpp>

#include "base/RegularFile.h"

namespace {

using nlohmann::json;

struct BadLine {
    std::string Why;
};

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

const json& Field(const json& line, const char* name) {
    const auto found = line.find(name);
    if (found == line.end())
        throw BadLine{std::string("no \"") + name + "\""};
    return *found;
}

std::string Text(const json& line, const char* name) {
    const json& value = Field(line, name);
    if (!value.is_string())
        throw BadLine{std::string("\"") + name + "\" is not a string"};
    return value.get<std::string>();
}

int64_t Number(const json& line, const char* name, int64_t low, int64_t high) {
    const json& value = Field(line, name);
    if (!value.is_number_integer())
        throw BadLine{std::string("\"") + name + "\" is not a whole number"};
    const int64_t n = value.is_number_unsigned() && value.get<uint64_t>() > uint64_t(INT64_MAX)
                          ? high + 1
                          : value.get<int64_t>();
    if (n < low || n > high)
        throw BadLine{std::string("\"") + name + "\" is out of range"};
    return n;
}

bool Flag(const json& line, const char* name) {
    const json& value = Field(line, name);
    if (!value.is_boolean())
        throw BadLine{std::string("\"") + name + "\" is not true or false"};
    return value.get<bool>();
}

std::vector<uint8_t> Hex(const json& line, const char* name, std::size_t bytes) {
    const std::string text = Text(line, name);
    if (text.size() != bytes * 2)
        throw BadLine{std::string("\"") + name + "\" holds " + std::to_string(text.size() / 2) + " bytes, not " +
                      std::to_string(bytes)};
    std::vector<uint8_t> out(bytes);
    for (std::size_t i = 0; i < bytes; ++i) {
        const int high = HexValue(text[2 * i]), low = HexValue(text[2 * i + 1]);
        if (high < 0 || low < 0)
            throw BadLine{std::string("\"") + name + "\" is not hex"};
        out[i] = uint8_t(high * 16 + low);
    }
    return out;
}

RecordedExchange ParseLine(const json& line, std::string& device, DriveAddress& address) {
    if (!line.is_object())
        throw BadLine{"not a JSON object"};
    if (line.find("sense_data") == line.end())
        throw BadLine{"no recorded data: a recording is written with --trace FILE --trace-data"};
    RecordedExchange command;
    device = Text(line, "device");
    const std::vector<uint8_t> cdb = Hex(line, "cdb", 12);
    std::copy(cdb.begin(), cdb.end(), command.Cdb.begin());
    const std::string direction = Text(line, "dir");
    if (direction != "in" && direction != "out")
        throw BadLine{"\"dir\" is neither \"in\" nor \"out\""};
    command.Direction = direction == "in" ? DirectionIn : DirectionOut;
    command.Length = uint32_t(Number(line, "len", 0, 16 * 1024 * 1024));
    command.Outcome.Status = uint8_t(Number(line, "status", 0, 255));
    // "system_error" now, "error" in recordings made before.
    command.Outcome.Error = int(Number(line, line.contains("system_error") ? "system_error" : "error", -4095, 4095));
    command.Outcome.PlatformOk = Flag(line, "ok");
    command.Outcome.TransportFailed = Flag(line, "transport_failed");
    command.Outcome.Residual = uint32_t(Number(line, "residual", 0, command.Length));
    const std::vector<uint8_t> sense = Hex(line, "sense_data", SenseSize);
    std::copy(sense.begin(), sense.end(), command.Outcome.Sense);
    if (command.Direction == DirectionIn && line.contains("data_sha256")) {
        Hex(line, "data_sha256", 32);
        command.DataInSha256 = Text(line, "data_sha256");
    } else if (command.Direction == DirectionIn) {
        command.DataIn = Hex(line, "data", command.Length);
    }
    else
    {
        Hex(line, "sha256", 32);  // checks the digest's form
        command.SentSha256 = Text(line, "sha256");
    }
    const json& where = Field(line, "address");
    if (!where.is_object())
        throw BadLine{"\"address\" is not an object"};
    const std::string letter = Text(where, "letter");
    if (letter.size() != 1)
        throw BadLine{"\"letter\" is not one character"};
    address = DriveAddress{letter[0], uint8_t(Number(where, "host", 0, 255)), uint8_t(Number(where, "target", 0, 255)),
                           uint8_t(Number(where, "lun", 0, 255))};
    return command;
}

}  // namespace

std::optional<Recording> ParseRecording(std::string_view text, std::string& error) {
    Recording recording;
    unsigned number = 0;
    std::size_t start = 0;
    while (start < text.size()) {
        ++number;
        const std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            error = "line " + std::to_string(number) + ": the recording ends in the middle of a line (truncated)";
            return std::nullopt;
        }
        const std::string_view lineText = text.substr(start, end - start);
        start = end + 1;
        try {
            const json line = json::parse(lineText);
            // The line naming a drive as it was opened: the replayed drive is one of its own.
            if (line.is_object() && line.contains("record") && !line.contains("cdb")) {
                if (line["record"] != "drive")
                    throw BadLine{"a record of an unknown kind (not \"drive\")"};
                continue;
            }
            std::string device;
            DriveAddress address;
            RecordedExchange command = ParseLine(line, device, address);
            command.Line = number;
            if (recording.Commands.empty()) {
                recording.DevicePath = device;
                recording.Address = address;
            } else if (device != recording.DevicePath) {
                throw BadLine{"a command for " + device + ", but the recording began with " + recording.DevicePath +
                              " (a replay plays one drive)"};
            }
            recording.Commands.push_back(std::move(command));
        } catch (const json::parse_error& e) {
            error = "line " + std::to_string(number) + ": not valid JSON (at character " + std::to_string(e.byte) + ")";
            return std::nullopt;
        } catch (const json::exception& e) {
            error = "line " + std::to_string(number) + ": " + e.what();
            return std::nullopt;
        } catch (const BadLine& bad) {
            error = "line " + std::to_string(number) + ": " + bad.Why;
            return std::nullopt;
        }
    }
    if (recording.Commands.empty()) {
        error = "the recording holds no command (empty)";
        return std::nullopt;
    }
    return recording;
}

namespace {

const char* KindOf(mode_t mode) {
    if (S_ISDIR(mode))
        return "a directory";
    if (S_ISFIFO(mode))
        return "a FIFO, not a regular file";
    if (S_ISSOCK(mode))
        return "a socket, not a regular file";
    if (S_ISCHR(mode))
        return "a character device, not a regular file";
    if (S_ISBLK(mode))
        return "a block device, not a regular file";
    return "not a regular file";
}

std::string TooLong(const std::string& path) {
    return "the recording " + path + " is longer than the " + std::to_string(MaxRecordingBytes >> 20) +
           " MiB a recording may hold (a recorded run is far shorter)";
}

// The whole regular file at path, at most MaxRecordingBytes; error set otherwise.
bool ReadBounded(const std::string& path, std::string& text, std::string& error) {
    const std::string cannot = "cannot read the recording " + path + ": ";
    // What lies at the path is looked at before it is opened: a FIFO would wait for a writer,
    // and opening a device can do something of its own.
    struct stat before {};
    if (::stat(path.c_str(), &before) != 0) {
        error = cannot + std::strerror(errno);
        return false;
    }
    if (!S_ISREG(before.st_mode)) {
        error = cannot + "it is " + KindOf(before.st_mode);
        return false;
    }
    if (std::uintmax_t(before.st_size) > MaxRecordingBytes) {
        error = TooLong(path);
        return false;
    }
    // Whatever now lies at the name, not a regular file, was put there after the look.
    std::string cause;
    struct stat opened {};
    const Descriptor file =
        OpenRegularFile(path, cause, "it was replaced while being opened", &opened, DirectoryCause::NotRegular);
    if (!file.Valid()) {
        error = cannot + cause;
        return false;
    }
    const int fd = file.Get();
    bool ok = true;
    if (opened.st_dev != before.st_dev || opened.st_ino != before.st_ino) {
        error = cannot + "it was replaced while being opened";
        ok = false;
    }
    // Read to the end, one byte beyond the bound at most: a file that grows is cut off, not followed.
    text.clear();
    char block[65536];
    while (ok) {
        const ssize_t n = ::read(fd, block, sizeof block);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            error = cannot + std::strerror(errno);
            ok = false;
        } else if (n == 0) {
            break;
        } else if (text.size() + std::size_t(n) > MaxRecordingBytes) {
            error = TooLong(path);
            ok = false;
        } else {
            text.append(block, std::size_t(n));
        }
    }
    return ok;
}

}  // namespace

std::optional<Recording> ReadRecording(const std::string& path, std::string& error) {
    std::string text;
    if (!ReadBounded(path, text, error))
        return std::nullopt;
    std::optional<Recording> recording = ParseRecording(text, error);
    if (!recording)
        error = "the recording " + path + ": " + error;
    return recording;
}
