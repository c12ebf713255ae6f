// SPDX-License-Identifier: Apache-2.0
#pragma once
// Sense data and SCSI status in the words sg3_utils uses for them, so that an error line can
// say what the drive meant rather than show its numbers.

#include <cstdint>
#include <string>

// "Illegal Request, Invalid field in cdb": the sense key (low four bits of byte 2 of fixed
// sense) and the additional sense code with its qualifier.
std::string SenseInWords(uint8_t senseKey, uint8_t asc, uint8_t ascq);

// "Busy", "Reservation Conflict", ...: a SCSI status byte.
std::string StatusInWords(uint8_t status);
