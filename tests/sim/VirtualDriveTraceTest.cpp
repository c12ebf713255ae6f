// SPDX-License-Identifier: Apache-2.0
// The command trace: its line format, and a real run through the drive class.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <fstream>
#include <regex>
#include <string>
#include <unistd.h>
#include <vector>

#include "scsi/CDDrive.h"
#include "scsi/CDDrives.h"
#include "platform/DriveId.h"
#include "platform/TracingPlatform.h"
#include "sim/VirtualDrive.h"

namespace {

VirtualDriveConfig Config(const std::string& options) {
    std::string error;
    auto config = ParseVirtualDriveOptions(options, VirtualDriveConfig{}, error);
    EXPECT_TRUE(config) << error;
    return config.value_or(VirtualDriveConfig{});
}

// Everything but the timing, which varies.
std::string WithoutTime(const std::string& line) {
    static const std::regex ms(", \"ms\": [0-9]+\\.[0-9]{2}(, \"schema\": \"flashutil-trace/1\")?\\}$");
    static const std::regex durationMs("\"duration_ms\": [0-9]+\\.[0-9]{2}, ");
    EXPECT_TRUE(std::regex_search(line, ms)) << line;
    return std::regex_replace(std::regex_replace(line, ms, "}"), durationMs, "");
}

std::vector<std::string> ReadLines(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

}  // namespace

TEST(TraceLine, HasTheDocumentedShape) {
    const uint8_t cdb[12] = {0x3B, 0x05, 0x01, 0x00, 0x40, 0x00, 0x00, 0x40, 0x00, 0x00, 0x00, 0x00};
    CommandOutcome outcome;
    outcome.PlatformOk = true;
    EXPECT_EQ(TracingPlatform::FormatLine("/dev/sg1", cdb, DirectionOut, 16384, outcome, 1.25),
              "{\"device\": \"/dev/sg1\", \"cdb\": \"3b0501004000004000000000\", \"dir\": \"out\", \"len\": 16384, "
              "\"status\": 0, \"sense\": null, \"system_error\": 0, \"duration_ms\": 1.25, \"error\": 0, "
              "\"ms\": 1.25}");

    // Any direction but 1 is out; the sense is its key (low four bits), ASC and ASCQ in numbers
    // and words; the error is the platform's.
    outcome.Status = 2;
    outcome.Sense[2] = 0x22;
    outcome.Sense[12] = 0x3A;
    outcome.Sense[13] = 0x01;
    outcome.Error = ETIMEDOUT;
    const std::string line = TracingPlatform::FormatLine("virtual:0", cdb, 2, 0, outcome, 0.004);
    EXPECT_NE(line.find("\"dir\": \"out\""), std::string::npos);
    EXPECT_NE(line.find("\"status\": 2, \"sense\": {\"key\": 2, \"asc\": 58, \"ascq\": 1, \"words\": \""),
              std::string::npos)
        << line;
    EXPECT_NE(line.find("\"system_error\": 110, \"duration_ms\": 0.00, \"error\": 110, \"ms\": 0.00}"), std::string::npos)
        << line;
    EXPECT_NE(TracingPlatform::FormatLine("x", cdb, DirectionIn, 0, outcome, 0).find("\"dir\": \"in\""),
              std::string::npos);
}

// The window sets the locale from the environment; a trace line must stay JSON, and the same
// bytes, where the decimal separator is a comma.
TEST(TraceLine, IsTheSameInEveryLocale) {
    const uint8_t cdb[12] = {0x3C, 0x02};
    CommandOutcome outcome;
    const double times[] = {0, 0.004, 0.005, 1.25, 2.675, 59999.999, 1234567.891};
    std::vector<std::string> inC;
    for (double ms : times) {
        inC.push_back(TracingPlatform::FormatLine("/dev/sg1", cdb, DirectionIn, 16384, outcome, ms));
        char twoDecimals[64];  // the C library's rounding, which the trace has always had
        std::snprintf(twoDecimals, sizeof twoDecimals, "\"ms\": %.2f}", ms);
        EXPECT_TRUE(inC.back().ends_with(twoDecimals)) << inC.back();
    }
    EXPECT_NE(inC[3].find("\"ms\": 1.25}"), std::string::npos) << inC[3];
    EXPECT_NE(inC[6].find("\"ms\": 1234567.89}"), std::string::npos) << inC[6];

    const std::string before = std::setlocale(LC_ALL, nullptr);
    const char* comma = nullptr;
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "de_DE", "fr_FR.UTF-8", "fr_FR.utf8"})
        if (std::setlocale(LC_ALL, name) != nullptr && std::string(std::localeconv()->decimal_point) == ",") {
            comma = name;
            break;
        }
    if (comma == nullptr) {
        std::setlocale(LC_ALL, before.c_str());
        GTEST_SKIP() << "no locale with a decimal comma is installed (scripts/install-deps.sh generates de_DE.UTF-8)";
    }
    for (std::size_t i = 0; i < std::size(times); ++i)
        EXPECT_EQ(TracingPlatform::FormatLine("/dev/sg1", cdb, DirectionIn, 16384, outcome, times[i]), inC[i])
            << "in " << comma;
    std::setlocale(LC_ALL, before.c_str());
}

TEST(TraceLine, AnyDevicePathGivesALineThatReadsBackAsJson) {
    const uint8_t cdb[12] = {};
    const CommandOutcome outcome;
    // Quotes, backslashes, control characters and 8-bit bytes (read as Latin-1).
    const std::string path = "/dev/a\"b\\c\n\x01\xE9";
    const std::string line = TracingPlatform::FormatLine(path, cdb, DirectionIn, 0, outcome, 0);
    EXPECT_EQ(line.find('\n'), std::string::npos) << line;
    const nlohmann::json read = nlohmann::json::parse(line);
    EXPECT_EQ(read["device"], "/dev/a\"b\\c\n\x01\u00e9");
    EXPECT_EQ(line.rfind("{\"device\": ", 0), 0u) << line;
}

TEST(TracingPlatformRun, RecordsEveryCommandOfARealRunThroughTheDriveClass) {
    VirtualPlatform drives(Config("count=2,timeout=3,fail=4:02/3A/00"));
    std::vector<std::string> lines;
    TracingPlatform tracing(drives, [&lines](const std::string& line) { lines.push_back(line); });
    {
        CDDrives list(tracing);  // one INQUIRY per drive
        ASSERT_EQ(list.Count(), 2);
        CDDrive& drive = *list.Item(1);
        drive.Execute(Commands::WriteChunk(0x4000, 0x4000));
        drive.Execute(Commands::TestUnitReady());  // times out
        drive.Execute(Commands::TestUnitReady());  // fails 02/3A
    }

    // Each drive is named as it is opened, before its commands, by its id and serial.
    ASSERT_EQ(lines.size(), 7u);
    std::vector<nlohmann::json> named;
    for (const std::size_t at : {0u, 2u}) {
        named.push_back(nlohmann::json::parse(lines[at]));
        EXPECT_EQ(named.back().value("record", ""), "drive") << lines[at];
        EXPECT_FALSE(named.back().contains("cdb")) << lines[at];
    }
    EXPECT_EQ(named[1]["device"], "virtual:1");
    EXPECT_EQ(named[1]["serial"], "VIRTUAL-1");
    EXPECT_EQ(named[1]["device_id"], *DriveIdOf(drives.EnumerateOpticalDrives().at(1)));
    EXPECT_NE(named[0]["device_id"], named[1]["device_id"]);
    lines.erase(lines.begin() + 2);
    lines.erase(lines.begin());
    EXPECT_EQ(WithoutTime(lines[0]),
              "{\"device\": \"virtual:0\", \"cdb\": \"120000008000000000000000\", \"dir\": \"in\", \"len\": 128, "
              "\"status\": 0, \"sense\": null, \"system_error\": 0, \"error\": 0}");
    EXPECT_EQ(lines[1].rfind("{\"device\": \"virtual:1\", \"cdb\": \"1200", 0), 0u);
    EXPECT_EQ(WithoutTime(lines[2]),
              "{\"device\": \"virtual:1\", \"cdb\": \"3b0501004000004000000000\", \"dir\": \"out\", \"len\": 16384, "
              "\"status\": 0, \"sense\": null, \"system_error\": 0, \"error\": 0}");
    EXPECT_EQ(WithoutTime(lines[3]),
              "{\"device\": \"virtual:1\", \"cdb\": \"000000000000000000000000\", \"dir\": \"in\", \"len\": 0, "
              "\"status\": 0, \"sense\": null, \"system_error\": 110, \"error\": 110}");
    EXPECT_EQ(WithoutTime(lines[4]),
              "{\"device\": \"virtual:1\", \"cdb\": \"000000000000000000000000\", \"dir\": \"in\", \"len\": 0, "
              "\"status\": 2, \"sense\": {\"key\": 2, \"asc\": 58, \"ascq\": 0, \"words\": \"Not Ready, Medium not present\"}, "
              "\"system_error\": 0, \"error\": 0}");
    // The drive saw what the trace says it saw.
    EXPECT_EQ(drives.Drive(1).Commands().size(), 4u);
}

TEST(TracingPlatformRun, FileHoldsEachLineAsSoonAsTheCommandHasAnswered) {
    char path[] = "/tmp/flashutil-trace-XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);

    VirtualPlatform drives(Config(""));
    std::string error;
    auto tracing = TracingPlatform::ToFile(drives, path, error, nullptr);
    ASSERT_TRUE(tracing) << error;
    const PlatformHandle handle = tracing->Open(drives.Drive(0).Address()).Handle;
    const uint8_t cdb[12] = {0x4E};
    CommandOutcome outcome;
    EXPECT_TRUE(tracing->Send(handle, cdb, DirectionIn, nullptr, 0, 60, outcome));
    // Still open: the line must already be in the file, after the drive's. Opened without an
    // enumeration, the drive is not known by an id or a serial: null, never a made-up one.
    std::vector<std::string> lines = ReadLines(path);
    ASSERT_EQ(lines.size(), 2u);
    const nlohmann::json drive = nlohmann::json::parse(lines[0]);
    EXPECT_TRUE(drive["device_id"].is_null() && drive["serial"].is_null()) << lines[0];
    EXPECT_EQ(lines[1].rfind("{\"device\": \"virtual:0\", \"cdb\": \"4e00", 0), 0u);
    tracing->Send(handle, cdb, DirectionIn, nullptr, 0, 60, outcome);
    EXPECT_EQ(ReadLines(path).size(), 3u);
    tracing->Close(handle);
    tracing.reset();
    std::remove(path);

    EXPECT_FALSE(TracingPlatform::ToFile(drives, "/nonexistent-dir/trace.jsonl", error, nullptr));
    EXPECT_NE(error.find("/nonexistent-dir/trace.jsonl"), std::string::npos);
    EXPECT_NE(error.find("No such file"), std::string::npos);
}
