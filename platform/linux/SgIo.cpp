// SPDX-License-Identifier: Apache-2.0
#include "platform/linux/SgIo.h"

#include <sys/ioctl.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/Sense.h"

int SystemSgIoctl(int fd, sg_io_hdr_t& hdr) {
    return ::ioctl(fd, SG_IO, &hdr) < 0 ? errno : 0;
}

void BuildSgIoRequest(SgIoRequest& request, const uint8_t cdb[12], uint8_t direction, uint8_t* buffer,
                      uint32_t length, uint16_t timeoutSeconds) {
    std::memset(&request.Header, 0, sizeof request.Header);
    std::memcpy(request.Cdb, cdb, SgCdbLength);
    std::memset(request.SenseBuffer, 0, sizeof request.SenseBuffer);

    sg_io_hdr_t& h = request.Header;
    h.interface_id = 'S';
    if (length == 0)
        h.dxfer_direction = SG_DXFER_NONE;
    else
        h.dxfer_direction = direction == DirectionIn ? SG_DXFER_FROM_DEV : SG_DXFER_TO_DEV;
    h.cmd_len = SgCdbLength;
    h.mx_sb_len = SgSenseLength;
    h.dxfer_len = length;
    h.dxferp = length == 0 ? nullptr : buffer;
    h.cmdp = request.Cdb;
    h.sbp = request.SenseBuffer;
    h.timeout = unsigned(timeoutSeconds) * 1000u;
}

namespace {

// The errno that best names a host or driver failure without sense.
int ErrnoForTransportFailure(const sg_io_hdr_t& h) {
    switch (h.host_status) {
    case SgHost::TimeOut:
        return ETIMEDOUT;
    case SgHost::NoConnect:
        return ENODEV;
    case SgHost::BadTarget:
        return ENXIO;
    case SgHost::Ok:
        break;
    default:
        return EIO;
    }
    if ((h.driver_status & SgDriver::ErrorMask) == SgDriver::Timeout)
        return ETIMEDOUT;
    return EIO;
}

CommandOutcome Failed(int error, uint8_t status) {
    CommandOutcome outcome;
    outcome.PlatformOk = false;
    outcome.Error = error;
    outcome.Status = status;
    return outcome;
}

}  // namespace

CommandOutcome InterpretSgIo(int ioctlError, const sg_io_hdr_t& h, const uint8_t* senseBuffer) {
    if (ioctlError != 0)
        return Failed(ioctlError, 0);

    const std::size_t senseLength = std::min<std::size_t>(h.sb_len_wr, std::min<std::size_t>(h.mx_sb_len, SgSenseLength));
    CommandOutcome outcome;
    Sense::Normalise(senseBuffer, senseLength, outcome.Sense);
    outcome.Status = h.status;
    outcome.Residual = h.resid > 0 ? uint32_t(h.resid) : 0;

    const bool transportFailed = h.host_status != SgHost::Ok || (h.driver_status & SgDriver::ErrorMask) != 0;
    if (transportFailed && outcome.Sense[2] == 0) {
        // The drive did not say what went wrong (timed out, reset, gone): the call failed.
        CommandOutcome failed = Failed(ErrnoForTransportFailure(h), h.status);
        failed.Residual = outcome.Residual;
        failed.TransportFailed = true;
        return failed;
    }
    if (h.status == ScsiStatusCheckCondition && senseLength == 0) {
        // The drive reported an error but its sense data was lost: never a success.
        CommandOutcome failed = Failed(EIO, h.status);
        failed.Residual = outcome.Residual;
        return failed;
    }
    outcome.PlatformOk = true;
    outcome.Error = 0;
    return outcome;
}

bool SendSgIo(int fd, const IoctlFn& ioctl, const uint8_t cdb[12], uint8_t direction, uint8_t* buffer,
              uint32_t length, uint16_t timeoutSeconds, CommandOutcome& outcome) {
    SgIoRequest request;
    BuildSgIoRequest(request, cdb, direction, buffer, length, timeoutSeconds);
    const int error = ioctl ? ioctl(fd, request.Header) : SystemSgIoctl(fd, request.Header);
    outcome = InterpretSgIo(error, request.Header, request.SenseBuffer);
    return outcome.PlatformOk;
}
