// SPDX-License-Identifier: Apache-2.0
#pragma once
// One command as a Linux SCSI generic request (the SG_IO ioctl): the request header
// the command becomes, and what the kernel's answer means for the drive class.
// Only the ioctl call itself is replaceable, so tests see the exact header.

#include <scsi/sg.h>

#include <cstdint>
#include <functional>

#include "platform/Platform.h"

// Runs SG_IO on fd with hdr. Returns 0 when the ioctl returned 0, else the errno it set.
using IoctlFn = std::function<int(int fd, sg_io_hdr_t& hdr)>;

// The real ioctl.
int SystemSgIoctl(int fd, sg_io_hdr_t& hdr);

// Kernel status values (host_status and driver_status of the request header).
namespace SgHost {
constexpr uint16_t Ok = 0x00;
constexpr uint16_t NoConnect = 0x01;
constexpr uint16_t BusBusy = 0x02;
constexpr uint16_t TimeOut = 0x03;
constexpr uint16_t BadTarget = 0x04;
constexpr uint16_t Abort = 0x05;
constexpr uint16_t Error = 0x07;
constexpr uint16_t Reset = 0x08;
}  // namespace SgHost
namespace SgDriver {
constexpr uint16_t ErrorMask = 0x07;  // the low bits name a driver error; 0x08 only says sense came back
constexpr uint16_t Timeout = 0x06;
constexpr uint16_t Sense = 0x08;
}  // namespace SgDriver

constexpr uint8_t ScsiStatusCheckCondition = 0x02;
constexpr uint8_t SgCdbLength = 12;
constexpr uint8_t SgSenseLength = 32;

// A request header with the storage it points at.
struct SgIoRequest {
    sg_io_hdr_t Header{};
    uint8_t Cdb[SgCdbLength] = {};
    uint8_t SenseBuffer[SgSenseLength] = {};

    SgIoRequest() = default;
    SgIoRequest(const SgIoRequest&) = delete;  // the header points into the object itself
    SgIoRequest& operator=(const SgIoRequest&) = delete;
};

// Fills request for one command: 12-byte CDB, direction from the drive (1) or to it (any
// other value), no data phase when length is 0, timeout in milliseconds.
void BuildSgIoRequest(SgIoRequest& request, const uint8_t cdb[12], uint8_t direction, uint8_t* buffer,
                      uint32_t length, uint16_t timeoutSeconds);

// What the kernel's answer means. ioctlError is 0 when the ioctl returned 0, else its errno.
// - ioctl failed: a failed platform call with that errno, sense 0.
// - host or driver error and no sense key from the drive (timeout, reset, device gone): a failed
//   platform call with ETIMEDOUT, ENODEV, ENXIO or EIO, sense 0.
// - CHECK CONDITION without any sense data: a failed platform call with EIO.
// - otherwise: a completed call with the SCSI status and the normalised sense.
CommandOutcome InterpretSgIo(int ioctlError, const sg_io_hdr_t& header, const uint8_t* senseBuffer);

// Builds the request, runs it through ioctl and interprets the answer.
bool SendSgIo(int fd, const IoctlFn& ioctl, const uint8_t cdb[12], uint8_t direction, uint8_t* buffer,
              uint32_t length, uint16_t timeoutSeconds, CommandOutcome& outcome);
