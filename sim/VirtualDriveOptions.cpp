// SPDX-License-Identifier: Apache-2.0
#include "sim/VirtualDriveOptions.h"

#include <cerrno>
#include <cstring>
#include <utility>

namespace {

constexpr std::pair<const char*, int> ErrorNames[] = {
    {"EPERM", EPERM},   {"ENOENT", ENOENT}, {"EIO", EIO},       {"ENXIO", ENXIO},
    {"EBADF", EBADF},   {"EAGAIN", EAGAIN}, {"ENOMEM", ENOMEM}, {"EACCES", EACCES},
    {"EBUSY", EBUSY},   {"ENODEV", ENODEV}, {"EINVAL", EINVAL}, {"ENOSPC", ENOSPC},
    {"EROFS", EROFS},   {"EINTR", EINTR},   {"ENOTTY", ENOTTY}, {"EOVERFLOW", EOVERFLOW},
    {"ETIMEDOUT", ETIMEDOUT}, {"ENOMEDIUM", ENOMEDIUM},
};

bool IsPrintable(const std::string& text) {
    for (unsigned char c : text)
        if (c < 0x20 || c > 0x7E)
            return false;
    return true;
}

// A decimal number without sign, at most maximum.
std::optional<uint32_t> ParseCount(const std::string& text, uint32_t maximum) {
    if (text.empty() || text.size() > 9)
        return std::nullopt;
    uint32_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + uint32_t(c - '0');
    }
    if (value > maximum)
        return std::nullopt;
    return value;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Exactly two hex digits.
std::optional<uint8_t> ParseHexByte(const std::string& text) {
    if (text.size() != 2 || HexDigit(text[0]) < 0 || HexDigit(text[1]) < 0)
        return std::nullopt;
    return uint8_t(HexDigit(text[0]) * 16 + HexDigit(text[1]));
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos)
            return parts;
        start = end + 1;
    }
}

std::string Padded(std::string text, std::size_t width) {
    text.resize(width, ' ');
    return text;
}

class Parser {
public:
    Parser(const VirtualDriveConfig& defaults, std::string& error) : Config_(defaults), Error_(error) {}

    bool Apply(const std::string& item);
    VirtualDriveConfig& Config() { return Config_; }

private:
    bool Fail(const std::string& message) {
        Error_ = message;
        return false;
    }
    bool Revision(const std::string& key, const std::string& value, std::string& target);
    bool AddFault(const std::string& key, const std::string& value);

    VirtualDriveConfig Config_;
    std::string& Error_;
};

bool Parser::Revision(const std::string& key, const std::string& value, std::string& target) {
    if (value.size() != VirtualDriveConfig::RevisionLength || !IsPrintable(value))
        return Fail(key + "=" + value + ": the revision is 4 printable characters");
    target = value;
    return true;
}

bool Parser::AddFault(const std::string& key, const std::string& value) {
    const std::string option = key + "=" + value;
    VirtualFault fault;
    std::string detail;
    if (key == "fail" || key == "status" || key == "error") {
        const std::size_t colon = value.find(':');
        if (colon == std::string::npos)
            return Fail(option + ": expected " + key + "=N:" +
                        (key == "fail" ? "KK/AA/QQ" : key == "status" ? "SS" : "ERRNO"));
        detail = value.substr(colon + 1);
        const auto number = ParseCount(value.substr(0, colon), 0xFFFFFFF);
        if (!number || *number == 0)
            return Fail(option + ": the command number counts from 1");
        fault.Command = *number;
    } else {
        const auto number = ParseCount(value, 0xFFFFFFF);
        if (!number || *number == 0)
            return Fail(option + ": the command number counts from 1");
        fault.Command = *number;
    }

    if (key == "fail") {
        const std::vector<std::string> bytes = Split(detail, '/');
        std::optional<uint8_t> k, a, q;
        if (bytes.size() == 3) {
            k = ParseHexByte(bytes[0]);
            a = ParseHexByte(bytes[1]);
            q = ParseHexByte(bytes[2]);
        }
        if (!k || !a || !q)
            return Fail(option + ": the sense triple is three two-digit hex bytes, KK/AA/QQ");
        fault.Kind = VirtualFaultKind::Sense;
        fault.Key = *k;
        fault.Asc = *a;
        fault.Ascq = *q;
    } else if (key == "status") {
        const auto status = ParseHexByte(detail);
        if (!status)
            return Fail(option + ": the status byte is two hex digits");
        fault.Kind = VirtualFaultKind::Status;
        fault.Status = *status;
    } else if (key == "error") {
        const auto code = ParseErrorNumber(detail);
        if (!code || *code == 0)
            return Fail(option + ": unknown error number '" + detail + "'");
        fault.Kind = VirtualFaultKind::PlatformError;
        fault.Error = *code;
    } else if (key == "timeout") {
        fault.Kind = VirtualFaultKind::Timeout;
        fault.Error = ETIMEDOUT;
    } else {
        fault.Kind = VirtualFaultKind::Corrupt;
    }

    for (const VirtualFault& other : Config_.Faults)
        if (other.Command == fault.Command)
            return Fail(option + ": command " + std::to_string(fault.Command) + " already has a fault");
    Config_.Faults.push_back(fault);
    return true;
}

bool Parser::Apply(const std::string& item) {
    const std::size_t eq = item.find('=');
    if (item.empty())
        return Fail("empty option (two commas in a row?)");
    if (eq == std::string::npos)
        return Fail("option '" + item + "' needs a value (key=value)");
    const std::string key = item.substr(0, eq);
    const std::string value = item.substr(eq + 1);

    if (key == "inquiry") {
        if (value.empty() || value.size() > VirtualDriveConfig::InquiryLength || !IsPrintable(value))
            return Fail(item + ": the inquiry text is 1 to 24 printable characters");
        Config_.Inquiry = Padded(value, VirtualDriveConfig::InquiryLength);
        return true;
    }
    if (key == "rev")
        return Revision(key, value, Config_.Revision);
    if (key == "newrev")
        return Revision(key, value, Config_.NewRevision);
    if (key == "chip") {
        if (value.size() != 8)
            return Fail(item + ": the chip identity is 8 hex digits");
        for (std::size_t i = 0; i < 4; ++i) {
            const auto byte = ParseHexByte(value.substr(i * 2, 2));
            if (!byte)
                return Fail(item + ": the chip identity is 8 hex digits");
            Config_.ChipId[i] = *byte;
        }
        return true;
    }
    if (key == "disc") {
        if (value != "0" && value != "1")
            return Fail(item + ": disc is 0 or 1");
        Config_.Disc = value == "1";
        return true;
    }
    if (key == "ready") {
        const auto n = ParseCount(value, 1000000);
        if (!n)
            return Fail(item + ": ready takes a number of polls");
        Config_.ReadyPolls = *n;
        return true;
    }
    if (key == "count") {
        const auto n = ParseCount(value, VirtualDriveConfig::MaxCount);
        if (!n)
            return Fail(item + ": count takes a number from 0 to " + std::to_string(VirtualDriveConfig::MaxCount));
        Config_.Count = *n;
        return true;
    }
    if (key == "commit-ms") {
        const auto n = ParseCount(value, 600000);
        if (!n)
            return Fail(item + ": commit-ms takes milliseconds, at most 600000");
        Config_.CommitMilliseconds = *n;
        return true;
    }
    if (key == "unplug") {
        const auto n = ParseCount(value, 0xFFFFFFF);
        if (!n || *n == 0)
            return Fail(item + ": unplug takes the number of the last command answered, counting from 1");
        Config_.UnplugAfter = *n;
        return true;
    }
    if (key == "open-error") {
        const auto code = ParseErrorNumber(value);
        if (!code)
            return Fail(item + ": unknown error number '" + value + "'");
        Config_.OpenError = *code;
        return true;
    }
    if (key == "fail" || key == "status" || key == "error" || key == "timeout" || key == "corrupt")
        return AddFault(key, value);
    // Known, but only as the whole text: the file name may hold commas.
    if (key == "replay")
        return Fail("replay=FILE goes alone: --virtual-drive=replay=FILE plays the recording's drive, with no "
                    "other option");
    return Fail("unknown option '" + key + "' (known: inquiry, rev, newrev, chip, disc, ready, count, fail, "
                "status, error, timeout, corrupt, commit-ms, unplug, open-error, replay)");
}

}  // namespace

std::optional<int> ParseErrorNumber(const std::string& text) {
    for (const auto& [name, code] : ErrorNames)
        if (text == name)
            return code;
    if (const auto n = ParseCount(text, 4095))
        return int(*n);
    return std::nullopt;
}

std::optional<VirtualDriveConfig> ParseVirtualDriveOptions(const std::string& text,
                                                           const VirtualDriveConfig& defaults,
                                                           std::string& error) {
    Parser parser(defaults, error);
    if (text.empty())
        return parser.Config();
    // A replay is the whole text: the file name may hold commas, and no other option applies.
    if (text.rfind("replay=", 0) == 0) {
        if (text.size() == 7) {
            error = "replay= needs the recording's file name";
            return std::nullopt;
        }
        parser.Config().ReplayFile = text.substr(7);
        return parser.Config();
    }
    for (const std::string& item : Split(text, ','))
        if (!parser.Apply(item))
            return std::nullopt;
    return parser.Config();
}

VirtualDriveConfig VirtualDefaultsFor(const IdentityBlock& block) {
    VirtualDriveConfig config;
    if (block.IsBlankCopy())
        return config;
    // "--" accepts any drive: keep the fixed virtual product.
    if (!block.AnyProduct())
        config.Inquiry = Padded(block.Inquiry().substr(0, VirtualDriveConfig::InquiryLength),
                                VirtualDriveConfig::InquiryLength);
    config.Revision = block.AnyFirmware() ? "0000"
                                          : Padded(block.FwRange().substr(0, 4), VirtualDriveConfig::RevisionLength);
    config.NewRevision = Padded(block.NewFwName().substr(0, 4), VirtualDriveConfig::RevisionLength);
    return config;
}
