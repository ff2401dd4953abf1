// Command packets of the programming port and the primitives built on them.
//
// The box listens for 12-byte command packets and echoes each back; bytes 1 to
// 10 of the echo must equal the packet's. Result codes, shared by the family:
//   0    the echo (or answer) arrived and matched
//   1    a read from the port failed (the line vanished)
//   100  time-out (3 s for the first byte, 10 s for the answer of a 16-byte
//        write; the rest of an answer follows its first byte in one burst)
//   +4   added when the bytes compared do not match (so 4, 5 and 104 occur)
// None of the primitives retries; the callers repeat a failed one with the line
// recovery step between attempts.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/hex_field.h"

namespace tv {

constexpr int kEchoOk = 0;
constexpr int kEchoReadFailed = 1;
constexpr int kEchoTimeout = 100;
constexpr int kEchoMismatch = 4;

constexpr uint8_t kTargetFlash = 0x66;  // 'f'
constexpr uint8_t kTargetOsd = 0x6F;    // 'o'
constexpr uint8_t kTargetI2c = 0x63;    // 'c'
constexpr uint8_t kTargetSystem = 0x73; // 's', OSD clear only

constexpr size_t kPacketSize = 12;
using Packet = uint8_t[kPacketSize];

// Waits for the 12-byte echo of `packet` and compares bytes 1..10.
int wait_echo(uint8_t* reply, size_t size, const uint8_t* packet, uint8_t expected);

// 0 when the box echoed the clear; the OSD memory is then being cleared.
int osd_clr();
int osd_read(int address, uint8_t* out4);
int osd_flashR(int address, uint8_t* out4);
int osd_wrt(int address, uint8_t value);
int osd_wrt_fnt(int address, uint8_t value);
int osd_clr_fnt_page(int page_address, uint8_t operand);
int osd_clr_sysfnt_page(int page_address, uint8_t operand);
int osd_wrt4(int address, const char* hex8);
int osd_flashClr(int address);
int osd_flashW(int address, const char* hex8);
int osd_wrt16(int address, const char* hex32, uint8_t target);

// The primitives above run on the window's programming link
// (programming_link() in box_link.h); a burn of its own uses a BoxLink.

// Start address of the flash sector erased last on the window's link, -1 when
// none. reset_flash_sector() also forgets which sectors were erased, so that
// every sector is erased again before its first write (each Flash stage
// begins with it).
extern int& osd_flashStrAdr;
void reset_flash_sector();

}  // namespace tv
