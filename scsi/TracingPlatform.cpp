#include "scsi/TracingPlatform.h"

#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstring>

TracingPlatform::TracingPlatform(Platform& inner, LineSink sink) : ForwardingPlatform(inner), Sink_(std::move(sink)) {}

std::unique_ptr<TracingPlatform> TracingPlatform::ToFile(Platform& inner, const std::string& path,
                                                         std::string& error) {
    std::FILE* file = std::fopen(path.c_str(), "w");
    if (file == nullptr) {
        error = "cannot write the trace file " + path + ": " + std::strerror(errno);
        return nullptr;
    }
    std::shared_ptr<std::FILE> shared(file, [](std::FILE* f) { std::fclose(f); });
    return std::make_unique<TracingPlatform>(inner, [shared](const std::string& line) {
        std::fputs(line.c_str(), shared.get());
        std::fputc('\n', shared.get());
        std::fflush(shared.get());
    });
}

std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
        } else if (c >= 0x20 && c < 0x7F) {
            out += char(c);
        } else {
            // Control characters, and 8-bit bytes read as Latin-1, so the line stays valid JSON.
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        }
    }
    return out + "\"";
}

std::string TracingPlatform::FormatLine(const std::string& device, const uint8_t cdb[12], uint8_t direction,
                                        uint32_t length, const CommandOutcome& outcome, double milliseconds) {
    char hex[25];
    for (int i = 0; i < 12; ++i)
        std::snprintf(hex + 2 * i, 3, "%02x", cdb[i]);
    // The time with two decimals and a point whatever the locale (the window sets the locale
    // from the environment): to_chars rounds exactly as printf's "%.2f" does in the C locale.
    char ms[64];
    const auto written = std::to_chars(ms, ms + sizeof ms - 1, milliseconds, std::chars_format::fixed, 2);
    *(written.ec == std::errc() ? written.ptr : ms) = '\0';
    char rest[256];
    std::snprintf(rest, sizeof rest,
                  ", \"cdb\": \"%s\", \"dir\": \"%s\", \"len\": %u, \"status\": %u, \"sense\": [%u, %u, %u], "
                  "\"error\": %d, \"ms\": %s}",
                  hex, direction == DirectionIn ? "in" : "out", length, outcome.Status, outcome.Sense[2],
                  outcome.Sense[12], outcome.Sense[13], outcome.Error, ms);
    return "{\"device\": " + JsonString(device) + rest;
}

PlatformHandle TracingPlatform::Open(const DriveAddress& address) {
    const PlatformHandle handle = Inner_.Open(address);
    if (handle != NoHandle)
        Devices_[handle] = Inner_.DevicePath(address);
    return handle;
}

bool TracingPlatform::Send(PlatformHandle handle, const uint8_t cdb[12], uint8_t direction, uint8_t* buffer,
                           uint32_t length, uint16_t timeoutSeconds, CommandOutcome& outcome) {
    const auto start = std::chrono::steady_clock::now();
    const bool ok = Inner_.Send(handle, cdb, direction, buffer, length, timeoutSeconds, outcome);
    const std::chrono::duration<double, std::milli> elapsed = std::chrono::steady_clock::now() - start;
    const auto device = Devices_.find(handle);
    Sink_(FormatLine(device != Devices_.end() ? device->second : std::string(), cdb, direction, length, outcome,
                     elapsed.count()));
    return ok;
}

void TracingPlatform::Close(PlatformHandle handle) {
    Inner_.Close(handle);
    Devices_.erase(handle);
}
