// Command packets and echoes of the programming port, against a scripted box.
#include <gtest/gtest.h>

#include "link/box_link.h"
#include "link/packets.h"
#include "link_fixture.h"

namespace {

using linktest::Bytes;
using linktest::elapsed_since;
using linktest::LinkTest;
using linktest::ScriptedBox;

Bytes bytes(std::initializer_list<int> values) {
  Bytes out;
  for (int v : values) out.push_back(static_cast<uint8_t>(v));
  return out;
}

Bytes with_data(const Bytes& echo, const Bytes& data) {
  Bytes out = echo;
  out.insert(out.end(), data.begin(), data.end());
  return out;
}

using Primitives = LinkTest;

TEST_F(Primitives, OsdReadSendsItsPacketAndReturnsTheFourDataBytes) {
  ScriptedBox box(peer, 12, [](const Bytes& p, int) {
    return with_data(p, bytes({0xDE, 0xAD, 0xBE, 0xEF}));
  });
  uint8_t out[4] = {};
  EXPECT_EQ(link.osd_read(0x1234, out), 0);
  box.stop();
  ASSERT_EQ(box.packets().size(), 1u);
  EXPECT_EQ(box.packets()[0], bytes({0x90, 0x6F, 0, 0, 0x52, 0x12, 0x34, 0, 0x33, 0, 0, 0x0D}));
  EXPECT_EQ(Bytes(out, out + 4), bytes({0xDE, 0xAD, 0xBE, 0xEF}));
}

// The data come in the echo's burst: two of four, and the read ends about
// 100 ms later as an answer cut short.
TEST_F(Primitives, ReadDataThatStopsShortTimesOutWhenTheBurstIsOver) {
  ScriptedBox box(peer, 12, [](const Bytes& p, int) { return with_data(p, bytes({0x01, 0x02})); });
  uint8_t out[4] = {};
  int64_t start = tv::monotonic_ms();
  EXPECT_EQ(link.osd_flashR(0x123456, out), tv::kEchoTimeout);
  int64_t took = elapsed_since(start);
  EXPECT_GE(took, 100);
  EXPECT_LT(took, 600);
  EXPECT_EQ(link.last_fault(), tv::LinkFault::CutShort);
  box.stop();
  EXPECT_EQ(box.packets()[0], bytes({0x99, 0x66, 0, 0, 0x52, 0x12, 0x34, 0x56, 0, 0, 0, 0x0D}));
}

// A writer that steps back into a lower sector must not write into old
// contents: each sector is erased before its first write, in any order, and
// only once until the erased set is forgotten.
TEST_F(Primitives, FlashWriteErasesEachSectorBeforeItsFirstWriteInAnyOrder) {
  link.reset_flash_sector();
  ScriptedBox box(peer, 12);
  EXPECT_EQ(link.osd_flashW(0x12345, "A1B2C3D4"), 0);
  EXPECT_EQ(link.osd_flashW(0x12FFC, "00000000"), 0);
  EXPECT_EQ(link.osd_flashW(0x13000, "00000000"), 0);
  EXPECT_EQ(link.osd_flashW(0x11000, "00000000"), 0);
  EXPECT_EQ(link.osd_flashW(0x12000, "00000000"), 0);
  box.stop();
  auto sent = box.packets();
  ASSERT_EQ(sent.size(), 8u);
  EXPECT_EQ(sent[0], bytes({0x99, 0x66, 0, 0, 0x65, 0, 0, 0x12, 0, 0, 0, 0x0D}));
  EXPECT_EQ(sent[1], bytes({0x99, 0x66, 0, 0xA1, 0x57, 0x01, 0x23, 0x45, 0xB2, 0xC3, 0xD4, 0x0D}));
  EXPECT_EQ(sent[2][4], 0x57);  // 0x12FFC: same sector, no erase
  EXPECT_EQ(sent[3], bytes({0x99, 0x66, 0, 0, 0x65, 0, 0, 0x13, 0, 0, 0, 0x0D}));
  EXPECT_EQ(sent[4][4], 0x57);
  EXPECT_EQ(sent[5], bytes({0x99, 0x66, 0, 0, 0x65, 0, 0, 0x11, 0, 0, 0, 0x0D}));  // below: erased too
  EXPECT_EQ(sent[6][4], 0x57);
  EXPECT_EQ(sent[7][4], 0x57);  // back in 0x12: erased once already
}

TEST_F(Primitives, RefusedEraseIsGivenUpAfterFiveAttemptsWithoutWriting) {
  link.reset_flash_sector();
  ScriptedBox box(peer, 12, [](Bytes p, int) {
    p[5] ^= 0xFF;  // the box misread the sector number
    return p;
  });
  EXPECT_EQ(link.osd_flashW(0x4000, "01020304"), tv::kEchoMismatch);
  box.stop();
  auto sent = box.packets();
  ASSERT_EQ(sent.size(), 5u);
  for (const Bytes& packet : sent) EXPECT_EQ(packet[4], 0x65) << "a write went out after the refused erase";
  // The refused sector is not taken as erased: the next write asks again.
  EXPECT_FALSE(link.sector_erased(0x4000));
}

TEST_F(Primitives, WriteRunningIntoTheNextSectorErasesThatSectorFirst) {
  link.reset_flash_sector();
  ScriptedBox box(peer, 12);
  EXPECT_EQ(link.osd_flashW(0x0FFE, "01020304"), 0);  // bytes at 0x0FFE..0x1001
  EXPECT_EQ(link.osd_flashW(0x1002, "05060708"), 0);  // sector 1 is erased already
  box.stop();
  auto sent = box.packets();
  ASSERT_EQ(sent.size(), 4u);
  EXPECT_EQ(sent[0], bytes({0x99, 0x66, 0, 0, 0x65, 0, 0, 0x00, 0, 0, 0, 0x0D}));
  EXPECT_EQ(sent[1], bytes({0x99, 0x66, 0, 0, 0x65, 0, 0, 0x01, 0, 0, 0, 0x0D}));
  EXPECT_EQ(sent[2][4], 0x57);
  EXPECT_EQ(sent[3][4], 0x57);
}

TEST_F(Primitives, EchoRulesStrayBytesAndUncomparedEnds) {
  ScriptedBox box(peer, 12, [](const Bytes& p, int index) {
    Bytes echo = p;
    if (index == 0) {
      echo.insert(echo.begin(), {0x55, 0x44});  // stray bytes ahead of the echo
      return echo;
    }
    echo[0] = 0x00;  // bytes 0 and 11 are not compared
    echo[11] = 0xEE;
    return echo;
  });
  EXPECT_EQ(link.osd_wrt(0x0102, 0x7E), 0);
  EXPECT_EQ(link.osd_wrt_fnt(0x0304, 0x11), 0);
  box.stop();
  auto sent = box.packets();
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0], bytes({0x99, 0x6F, 0, 0, 0x77, 0x01, 0x02, 0x7E, 0x33, 0, 0, 0x0D}));
  EXPECT_EQ(sent[1], bytes({0x90, 0x6F, 0, 0, 0x77, 0xB4, 0x32, 0x03, 0x04, 0x11, 0, 0x0D}));
}

TEST_F(Primitives, MisEchoIsFour) {
  ScriptedBox box(peer, 12, [](Bytes p, int) {
    p[10] ^= 0x01;
    return p;
  });
  EXPECT_EQ(link.osd_clr_fnt_page(0x0200, 0xFF), tv::kEchoMismatch);
  EXPECT_EQ(link.osd_clr_sysfnt_page(0x0300, 0xFF), tv::kEchoMismatch);
  box.stop();
  auto sent = box.packets();
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0], bytes({0x90, 0x6F, 0, 0, 0x77, 0xB4, 0xAA, 0x02, 0x00, 0xFF, 0, 0x0D}));
  EXPECT_EQ(sent[1], bytes({0x90, 0x6F, 0, 0, 0x77, 0xB4, 0x54, 0x03, 0x00, 0xFF, 0, 0x0D}));
}

TEST_F(Primitives, SilentBoxTimesOutAfterThreeSeconds) {
  int64_t start = tv::monotonic_ms();
  EXPECT_EQ(link.osd_wrt(0x10, 1), tv::kEchoTimeout + tv::kEchoMismatch);
  int64_t took = elapsed_since(start);
  EXPECT_GE(took, 3000);
  EXPECT_LT(took, 4500);
}

TEST_F(Primitives, VanishedBoxIsAFailingReadNotAHang) {
  std::thread box([this] {
    peer.read_bytes(12, 3000);
    peer.close_master();
  });
  int64_t start = tv::monotonic_ms();
  int result = link.osd_wrt(0x10, 1);
  box.join();
  EXPECT_TRUE(result == tv::kEchoReadFailed || result == tv::kEchoReadFailed + tv::kEchoMismatch) << result;
  EXPECT_LT(elapsed_since(start), 2500);
}

TEST_F(Primitives, HexDataTextTwoCharactersPerByte) {
  ScriptedBox box(peer, 12);
  EXPECT_EQ(link.osd_wrt4(0xABCD, "ZZ1G0a7F"), 0);
  EXPECT_EQ(link.osd_wrt4(0x0001, "AB"), 0);  // a short text leaves the rest 0
  box.stop();
  auto sent = box.packets();
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0], bytes({0x90, 0x6F, 0, 0, 0x57, 0xAB, 0xCD, 0x00, 0x01, 0x0A, 0x7F, 0x0D}));
  EXPECT_EQ(sent[1], bytes({0x90, 0x6F, 0, 0, 0x57, 0x00, 0x01, 0xAB, 0, 0, 0, 0x0D}));
}

TEST_F(Primitives, Write16PacketAndItsSixByteAnswer) {
  ScriptedBox box(peer, 26, [](const Bytes&, int index) {
    if (index == 0) return bytes({0x11, 0x6F, 0x57, 0x00, 0x20, 0x00});
    return bytes({0x11, 0x22, 0x6F, 0x57, 0x00, 0x20, 0x10});  // stray byte, then a wrong address
  });
  const char* data = "000102030405060708090A0B0C0D0E0F";
  EXPECT_EQ(link.osd_wrt16(0x2000, data, tv::kTargetOsd), 0);
  EXPECT_EQ(link.osd_wrt16(0x2000, data, tv::kTargetOsd), tv::kEchoMismatch);
  box.stop();
  auto sent = box.packets();
  ASSERT_EQ(sent.size(), 2u);
  Bytes expected = bytes({0x90, 0x6F, 0x6F, 0x00, 0x57, 0x00, 0x20, 0x00});
  for (int i = 0; i < 16; ++i) expected.push_back(static_cast<uint8_t>(i));
  expected.push_back(0x00);
  expected.push_back(0x0D);
  EXPECT_EQ(sent[0], expected);
}

TEST_F(Primitives, Write16ToFlashErasesTheSectorFirst) {
  link.reset_flash_sector();
  Bytes erase, write;
  std::thread box([&] {
    erase = peer.read_bytes(12, 3000);
    peer.write_bytes(erase);
    write = peer.read_bytes(26, 3000);
    peer.write_bytes(bytes({0x00, 0x66, 0x57, 0x00, 0x50, 0x10}));
  });
  EXPECT_EQ(link.osd_wrt16(0x5010, "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF", tv::kTargetFlash), 0);
  box.join();
  EXPECT_EQ(erase, bytes({0x99, 0x66, 0, 0, 0x65, 0, 0, 0x05, 0, 0, 0, 0x0D}));
  ASSERT_EQ(write.size(), 26u);
  EXPECT_EQ(Bytes(write.begin(), write.begin() + 8), bytes({0x99, 0x66, 0x66, 0, 0x57, 0x00, 0x50, 0x10}));
  EXPECT_EQ(write[8], 0xFF);
}

TEST_F(Primitives, OsdClearSendsItsConstantPacket) {
  ScriptedBox box(peer, 12);
  link.osd_clr();
  box.stop();
  ASSERT_EQ(box.packets().size(), 1u);
  EXPECT_EQ(box.packets()[0], bytes({0x8C, 0x73, 0, 0x73, 0x77, 0, 0, 0, 0, 0, 0x0D, 0x0D}));
}

TEST_F(Primitives, ClosedPortChecksReturnAtOnceOthersFail) {
  port.close();
  uint8_t out[4] = {};
  EXPECT_EQ(link.osd_read(0x1234, out), 0);
  EXPECT_EQ(link.osd_flashR(0x1234, out), 0);
  link.reset_flash_sector();
  EXPECT_EQ(link.osd_flashW(0x1234, "00000000"), 0);
  EXPECT_EQ(link.osd_wrt(0x1234, 1), tv::kEchoReadFailed + tv::kEchoMismatch);
  EXPECT_EQ(link.osd_wrt16(0x1234, "00", tv::kTargetOsd), tv::kEchoReadFailed + tv::kEchoMismatch);
  EXPECT_TRUE(peer.read_until_quiet(50, 200).empty());
}

}  // namespace
