// The box model fed byte by byte: every exchange the program relies on, the
// flash's NOR rule, resynchronisation, the injected faults and the control line.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "boxsim/box_decoder.h"

namespace {

using boxsim::BoxDecoder;
using Bytes = std::vector<uint8_t>;

Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

Bytes concat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

Bytes flash_erase(uint32_t sector) {
  return {0x99, 0x66, 0, 0, 'e', uint8_t(sector >> 16), uint8_t(sector >> 8), uint8_t(sector), 0, 0, 0, 0x0D};
}
Bytes flash_write(uint32_t a, uint8_t d0, uint8_t d1, uint8_t d2, uint8_t d3) {
  return {0x99, 0x66, 0, d0, 'W', uint8_t(a >> 16), uint8_t(a >> 8), uint8_t(a), d1, d2, d3, 0x0D};
}
Bytes flash_read(uint32_t a) {
  return {0x99, 0x66, 0, 0, 'R', uint8_t(a >> 16), uint8_t(a >> 8), uint8_t(a), 0, 0, 0, 0x0D};
}
Bytes osd_read(uint16_t a) {
  return {0x90, 0x6F, 0, 0, 'R', uint8_t(a >> 8), uint8_t(a), 0, 0x33, 0, 0, 0x0D};
}
Bytes osd_wrt(uint16_t a, uint8_t v) {
  return {0x99, 0x6F, 0, 0, 'w', uint8_t(a >> 8), uint8_t(a), v, 0x33, 0, 0, 0x0D};
}
Bytes osd_wrt4(uint16_t a, Bytes d) {
  return {0x90, 0x6F, 0, 0, 'W', uint8_t(a >> 8), uint8_t(a), d[0], d[1], d[2], d[3], 0x0D};
}
Bytes osd_cmd(uint8_t op, uint8_t slave, uint8_t cmd, uint16_t a, uint8_t v) {
  return {0x90, 0x6F, 0, 0, op, slave, cmd, uint8_t(a >> 8), uint8_t(a), v, 0, 0x0D};
}
Bytes i2c_cmd(uint8_t op, uint8_t slave, uint8_t reg, uint8_t v) {
  return {0x9C, 0x63, 0, 0, op, reg, v, slave, 0, 0, 0, 0x0D};
}
const Bytes kOsdClear = {0x8C, 0x73, 0x00, 0x73, 0x77, 0, 0, 0, 0, 0, 0x0D, 0x0D};
const Bytes kProbe = {0x05, 0xFA, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x0D};

Bytes write16(uint8_t target, uint32_t a, uint8_t first_value) {
  Bytes p = {uint8_t(~target), target, target, 0, 'W', uint8_t(a >> 16), uint8_t(a >> 8), uint8_t(a)};
  for (int i = 0; i < 16; ++i) p.push_back(uint8_t(first_value + i));
  p.push_back(0);
  p.push_back(0x0D);
  return p;
}

std::string pic_record(int address, const Bytes& data) {
  char buf[32];
  std::snprintf(buf, sizeof buf, ":08%04X00", address);
  std::string s = buf;
  for (uint8_t b : data) {
    std::snprintf(buf, sizeof buf, "%02X", b);
    s += buf;
  }
  return s + "*";
}

// Runs the loader hand-shake as the burn does: "Z" and its quiet, the two-Z
// line, "*", the four-Z line, "*". Returns everything the box said.
Bytes handshake(BoxDecoder& box, int64_t* now) {
  Bytes out;
  box.feed('Z', *now, &out);
  *now += 3000;
  box.idle(*now, &out);
  for (const char* part : {"ZZ        \r", "*", "ZZZZ       \r", "*"}) {
    *now += 2000;
    Bytes said = box.feed(text(part), *now);
    out.insert(out.end(), said.begin(), said.end());
  }
  return out;
}

TEST(BoxDecoderPackets, ProbeIsSilentUnlessTheBoxIsUnsupported) {
  BoxDecoder box;
  EXPECT_TRUE(box.feed(kProbe, 0).empty());
  boxsim::Faults f;
  f.unsupported = true;
  box.set_faults(f);
  EXPECT_FALSE(box.feed(kProbe, 10).empty());
  EXPECT_EQ(box.stats().probes, 2u);
  EXPECT_EQ(box.stats().packets, 0u);
}

TEST(BoxDecoderPackets, FlashFollowsTheNorRule) {
  BoxDecoder box;
  // Erased chip: a write lands exactly.
  EXPECT_EQ(box.feed(flash_write(0x12345, 0xA1, 0xB2, 0xC3, 0xD4), 0),
            flash_write(0x12345, 0xA1, 0xB2, 0xC3, 0xD4));
  EXPECT_EQ(box.memories().flash[0x12345], 0xA1);
  EXPECT_EQ(box.memories().flash[0x12348], 0xD4);
  // Writing over it without an erase can only clear bits.
  box.feed(flash_write(0x12345, 0x5E, 0xFF, 0x00, 0x0F), 1);
  EXPECT_EQ(box.memories().flash[0x12345], 0xA1 & 0x5E);
  EXPECT_EQ(box.memories().flash[0x12346], 0xB2);
  EXPECT_EQ(box.memories().flash[0x12347], 0x00);
  EXPECT_EQ(box.memories().flash[0x12348], 0xD4 & 0x0F);
  // Erasing sector 0x12 restores 0xFF across exactly 0x12000..0x12FFF.
  box.memories().flash[0x11FFF] = 0x00;
  box.memories().flash[0x13000] = 0x00;
  box.memories().flash[0x12FFF] = 0x00;
  EXPECT_EQ(box.feed(flash_erase(0x12), 2), flash_erase(0x12));
  EXPECT_EQ(box.memories().flash[0x12345], 0xFF);
  EXPECT_EQ(box.memories().flash[0x12FFF], 0xFF);
  EXPECT_EQ(box.memories().flash[0x11FFF], 0x00);
  EXPECT_EQ(box.memories().flash[0x13000], 0x00);
  box.feed(flash_write(0x12345, 0x5E, 0x01, 0x02, 0x03), 3);
  EXPECT_EQ(box.memories().flash[0x12345], 0x5E);
  EXPECT_EQ(box.stats().sector_erases, 1u);
}

TEST(BoxDecoderPackets, EraseOfASectorPastTheChipIsNotEchoed) {
  BoxDecoder box;
  EXPECT_TRUE(box.feed(flash_erase(0x1000), 0).empty());
  EXPECT_EQ(box.stats().unknown, 1u);
  EXPECT_EQ(box.stats().sector_erases, 0u);
}

TEST(BoxDecoderPackets, ReadsSendFourDataBytesAfterTheEcho) {
  BoxDecoder box;
  auto& m = box.memories();
  m.flash[0xFFFFFE] = 1;
  m.flash[0xFFFFFF] = 2;
  m.flash[0] = 3;
  m.flash[1] = 4;
  EXPECT_EQ(box.feed(flash_read(0xFFFFFE), 0), concat(flash_read(0xFFFFFE), {1, 2, 3, 4}));
  m.osd[0x1234] = 0x11;
  m.osd[0x1235] = 0x22;
  m.osd[0x1236] = 0x33;
  m.osd[0x1237] = 0x44;
  EXPECT_EQ(box.feed(osd_read(0x1234), 1), concat(osd_read(0x1234), {0x11, 0x22, 0x33, 0x44}));
}

TEST(BoxDecoderPackets, OsdMemoryWritesAndClear) {
  BoxDecoder box;
  EXPECT_EQ(box.feed(osd_wrt(0xB432, 0x7E), 0), osd_wrt(0xB432, 0x7E));
  EXPECT_EQ(box.memories().osd[0xB432], 0x7E);
  EXPECT_EQ(box.memories().font[0x7E33], 0x00) << "osd_wrt must not be taken for a font write";
  box.feed(osd_wrt4(0x2000, {1, 2, 3, 4}), 1);
  EXPECT_EQ(Bytes(box.memories().osd.begin() + 0x2000, box.memories().osd.begin() + 0x2004),
            Bytes({1, 2, 3, 4}));
  EXPECT_EQ(box.feed(kOsdClear, 2), kOsdClear);
  EXPECT_EQ(box.memories().osd[0xB432], 0x00);
  EXPECT_EQ(box.memories().osd[0x2001], 0x00);
  EXPECT_EQ(box.stats().osd_clears, 1u);
}

TEST(BoxDecoderPackets, FontByteWritesAndPageClears) {
  BoxDecoder box;
  box.feed(osd_cmd('w', 0xB4, 0x32, 0x0924, 0xA5), 0);
  EXPECT_EQ(box.memories().font[0x0924], 0xA5);
  box.feed(osd_cmd('w', 0xB4, 0xAA, 0x2400, 0xFF), 1);
  EXPECT_EQ(box.memories().font[0x2400], 0xFF);
  EXPECT_EQ(box.memories().font[0x25FF], 0xFF);
  EXPECT_EQ(box.memories().font[0x23FF], 0x00);
  EXPECT_EQ(box.memories().font[0x2600], 0x00);
  box.feed(osd_cmd('w', 0xB4, 0x54, 0x3600, 0x5A), 2);
  EXPECT_EQ(box.memories().font[0x37FF], 0x5A);
  EXPECT_EQ(box.stats().font_page_clears, 2u);
}

TEST(BoxDecoderPackets, RegisterConsoleAccesses) {
  BoxDecoder box;
  Bytes w = osd_cmd('w', 0x10, 0x20, 0x1234, 0x5A);
  EXPECT_EQ(box.feed(w, 0), w);
  EXPECT_EQ(box.osd_register(0x10, 0x20, 0x1234), 0x5A);
  Bytes r = osd_cmd('r', 0x10, 0x20, 0x1234, 0);
  EXPECT_EQ(box.feed(r, 1), concat(r, {0x5A}));
  EXPECT_EQ(box.memories().font[0x1234], 0x00);

  Bytes iw = i2c_cmd('w', 0xFE, 0xD0, 0x42);
  EXPECT_EQ(box.feed(iw, 2), iw);
  EXPECT_EQ(box.memories().i2c[0xFE][0xD0], 0x42);
  Bytes ir = i2c_cmd('r', 0xFE, 0xD0, 0);
  EXPECT_EQ(box.feed(ir, 3), concat(ir, {0x42}));
  Bytes unset = i2c_cmd('r', 0x20, 0x01, 0);
  EXPECT_EQ(box.feed(unset, 4), concat(unset, {0x00}));
}

TEST(BoxDecoderPackets, SixteenByteWrites) {
  BoxDecoder box;
  Bytes osd = write16(0x6F, 0x2000, 0x10);
  EXPECT_EQ(box.feed(osd, 0), Bytes({0x90, 0x6F, 'W', 0x00, 0x20, 0x00}));
  EXPECT_EQ(box.memories().osd[0x2000], 0x10);
  EXPECT_EQ(box.memories().osd[0x200F], 0x1F);
  // Flash: the NOR rule again, at a 24-bit address.
  box.memories().flash[0x345678] = 0x0F;
  EXPECT_EQ(box.feed(write16(0x66, 0x345670, 0xF0), 1), Bytes({0x99, 0x66, 'W', 0x34, 0x56, 0x70}));
  EXPECT_EQ(box.memories().flash[0x345670], 0xF0);
  EXPECT_EQ(box.memories().flash[0x345678], 0x0F & 0xF8);
  EXPECT_EQ(box.stats().packets, 2u);
}

TEST(BoxDecoderPackets, UnknownPacketsAreIgnored) {
  BoxDecoder box;
  EXPECT_TRUE(box.feed({0x99, 0x66, 0, 0, 'Q', 0, 0, 0, 0, 0, 0, 0x0D}, 0).empty());
  EXPECT_TRUE(box.feed({0x88, 0x77, 0, 0, 'w', 0, 0, 0, 0, 0, 0, 0x0D}, 1).empty());
  EXPECT_EQ(box.stats().unknown, 2u);
}

TEST(BoxDecoderFraming, TornPacketIsDroppedAfterTheIdleTime) {
  BoxDecoder box;
  Bytes w = osd_wrt(0x0100, 0x77);
  Bytes torn(w.begin(), w.begin() + 5);
  EXPECT_TRUE(box.feed(torn, 0).empty());
  // 630 ms later (the program's recovery step) a whole packet is decoded alone.
  Bytes good = osd_wrt(0x0200, 0x55);
  EXPECT_EQ(box.feed(good, 630), good);
  EXPECT_EQ(box.memories().osd[0x0200], 0x55);
  EXPECT_EQ(box.memories().osd[0x0100], 0x00);
  // A packet whose bytes are a little apart is still one packet.
  Bytes out;
  for (size_t i = 0; i < w.size(); ++i) box.feed(w[i], 1000 + int64_t(i) * 150, &out);
  EXPECT_EQ(out, w);
}

TEST(BoxDecoderFraming, IdleDeadlineDropsAPartialPacket) {
  BoxDecoder box;
  Bytes out;
  box.feed(0x99, 100, &out);
  EXPECT_GT(box.next_deadline_ms(), 100 + boxsim::kResyncIdleMs);
  box.idle(box.next_deadline_ms(), &out);
  EXPECT_EQ(box.next_deadline_ms(), -1);
  EXPECT_TRUE(out.empty());
}

TEST(BoxDecoderPic, HandshakeRecordsAndEnd) {
  BoxDecoder box;
  int64_t now = 0;
  std::string rec = pic_record(0x0010, {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF});
  EXPECT_EQ(box.feed(text(rec), now), text("?\r\n")) << "no records before the hand-shake";
  EXPECT_EQ(box.memories().pic[0x10], 0xFF);

  Bytes said = handshake(box, &now);
  EXPECT_EQ(said, text("PIC LOADER 1.0\r\n>>OK\r\n"));

  EXPECT_EQ(box.feed(text(rec), now), text(rec));
  EXPECT_EQ(box.memories().pic[0x10], 0x01);
  EXPECT_EQ(box.memories().pic[0x17], 0xEF);
  EXPECT_EQ(box.memories().pic[0x18], 0xFF);
  EXPECT_EQ(box.stats().pic_records, 1u);

  EXPECT_EQ(box.feed(text(":00020001"), now), text(":00020001"));
  // The closing four-Z line of a burn gets no answer.
  EXPECT_TRUE(box.feed(text("ZZZZ       \r"), now + 10).empty());
}

TEST(BoxDecoderPic, MalformedRecordsAreRejected) {
  BoxDecoder box;
  int64_t now = 0;
  handshake(box, &now);
  std::string lower = pic_record(0x20, {0xAB, 0, 0, 0, 0, 0, 0, 0});
  lower[9] = 'a';
  EXPECT_EQ(box.feed(text(lower), now), text("?\r\n"));
  EXPECT_EQ(box.feed(text(":08002000AB*"), now + 1), text("?\r\n"));
  EXPECT_EQ(box.memories().pic[0x20], 0xFF);
  EXPECT_EQ(box.stats().pic_records, 0u);
}

TEST(BoxDecoderFaults, DropEveryNthByte) {
  BoxDecoder box;
  boxsim::Faults f;
  f.drop_every = 5;
  box.set_faults(f);
  Bytes w = osd_wrt(0x0001, 0x02);
  Bytes expected = w;
  expected.erase(expected.begin() + 9);
  expected.erase(expected.begin() + 4);
  EXPECT_EQ(box.feed(w, 0), expected);
}

TEST(BoxDecoderFaults, CorruptEchoStillWrites) {
  BoxDecoder box;
  boxsim::Faults f;
  f.corrupt_echo_every = 2;
  box.set_faults(f);
  Bytes first = osd_wrt(0x0001, 0x11), second = osd_wrt(0x0002, 0x22);
  EXPECT_EQ(box.feed(first, 0), first);
  Bytes echo = box.feed(second, 1);
  ASSERT_EQ(echo.size(), 12u);
  EXPECT_NE(Bytes(echo.begin() + 1, echo.begin() + 11), Bytes(second.begin() + 1, second.begin() + 11));
  EXPECT_EQ(box.memories().osd[0x0002], 0x22);
  EXPECT_EQ(box.stats().refused, 1u);
}

TEST(BoxDecoderFaults, RefuseFirstAttemptsOfEachPacket) {
  BoxDecoder box;
  boxsim::Faults f;
  f.refuse_first = 2;
  box.set_faults(f);
  Bytes w = osd_wrt(0x0040, 0x99);
  for (int attempt = 0; attempt < 2; ++attempt) {
    Bytes echo = box.feed(w, attempt * 700);
    ASSERT_EQ(echo.size(), 12u);
    EXPECT_EQ(echo[5], uint8_t(~w[5]));
    EXPECT_EQ(box.memories().osd[0x0040], 0x00);
  }
  EXPECT_EQ(box.feed(w, 2000), w);
  EXPECT_EQ(box.memories().osd[0x0040], 0x99);
  // A different packet has its own count; a read sends no data when refused.
  Bytes r = osd_read(0x0040);
  EXPECT_EQ(box.feed(r, 3000).size(), 12u);

  Bytes w16 = write16(0x66, 0x100, 0);
  EXPECT_EQ(box.feed(w16, 4000)[3], 0xFF);
  EXPECT_EQ(box.memories().flash[0x101], 0xFF);
}

TEST(BoxDecoderFaults, RefusePicRecords) {
  BoxDecoder box;
  int64_t now = 0;
  handshake(box, &now);
  boxsim::Faults f;
  f.refuse_first = 1;
  box.set_faults(f);
  std::string rec = pic_record(0x0000, {1, 2, 3, 4, 5, 6, 7, 8});
  Bytes echo = box.feed(text(rec), now);
  EXPECT_EQ(echo.size(), rec.size());
  EXPECT_NE(echo, text(rec));
  EXPECT_EQ(box.memories().pic[0], 0xFF);
  EXPECT_EQ(box.feed(text(rec), now + 1), text(rec));
  EXPECT_EQ(box.memories().pic[0], 1);
}

TEST(BoxDecoderFaults, RefuseOneAddressForever) {
  BoxDecoder box;
  boxsim::Faults f;
  f.refuse_always_address = 0x2010;
  box.set_faults(f);
  for (int attempt = 0; attempt < 5; ++attempt)
    EXPECT_NE(box.feed(write16(0x6F, 0x2010, 0x40), attempt * 700)[3], 0x00);
  EXPECT_EQ(box.memories().osd[0x2010], 0x00);
  EXPECT_EQ(box.feed(write16(0x6F, 0x2020, 0x40), 5000), Bytes({0x90, 0x6F, 'W', 0x00, 0x20, 0x20}));
}

TEST(BoxDecoderFaults, SilentAndVanishAfterN) {
  BoxDecoder silent;
  boxsim::Faults f;
  f.silent_after = 2;
  silent.set_faults(f);
  EXPECT_FALSE(silent.feed(osd_wrt(1, 1), 0).empty());
  EXPECT_FALSE(silent.feed(osd_wrt(2, 2), 1).empty());
  EXPECT_TRUE(silent.feed(osd_wrt(3, 3), 2).empty());
  EXPECT_EQ(silent.memories().osd[3], 0x00);

  BoxDecoder vanishing;
  boxsim::Faults g;
  g.vanish_after = 2;
  vanishing.set_faults(g);
  vanishing.feed(osd_wrt(1, 1), 0);
  EXPECT_FALSE(vanishing.vanished());
  EXPECT_FALSE(vanishing.feed(osd_wrt(2, 2), 1).empty()) << "the last exchange is still answered";
  EXPECT_TRUE(vanishing.vanished());
  EXPECT_TRUE(vanishing.feed(osd_wrt(3, 3), 2).empty());
}

// What the program puts on the control line for a query: the wake-up
// preamble, then the doubled frame.
// A control query as the program sends it: the wake-up (one preamble here),
// then the exchange's own preamble and the doubled frame.
Bytes control_query_on_the_line() {
  Bytes line;
  for (int i = 0; i < 200; ++i) line = concat(line, {0x12, 0xED, 0x34, 0xCB});
  Bytes frame;
  for (int i = 0; i < 21; ++i) frame = concat(frame, {0x12, 0x34});
  frame = concat(frame, {0x00, 0xFF, 0x00, 0x70, 0, 0, 0, 0, 0, 0, 0});
  return concat(line, boxsim::doubled(frame));
}

TEST(BoxDecoderControl, QueryGetsTheDoubledReply) {
  BoxDecoder box;
  Bytes out;
  for (uint8_t b : control_query_on_the_line()) box.feed_control(b, &out);
  EXPECT_EQ(box.stats().control_frames, 1u);
  EXPECT_EQ(box.last_control_command(), Bytes({0x00, 0x70, 0, 0, 0, 0, 0, 0, 0}));
  ASSERT_GE(out.size(), 8u);
  EXPECT_EQ(Bytes(out.end() - 8, out.end()), Bytes({0x34, 0xCB, 0x00, 0xFF, 0xFF, 0x00, 0x5A, 0xA5}));
  for (size_t i = 0; i + 1 < out.size(); i += 2) EXPECT_EQ(out[i] ^ 0xFF, out[i + 1]);
}

// The box sleeps between frames: a frame with only its own exchange's
// preamble before it is heard but not answered, and the next one needs its
// own wake-up again.
TEST(BoxDecoderControl, FrameWithoutTheWakeUpIsNotAnswered) {
  BoxDecoder box;
  const Bytes query = control_query_on_the_line();
  const Bytes bare(query.begin() + 400, query.end());  // one preamble and the frame
  Bytes out;
  for (uint8_t b : bare) box.feed_control(b, &out);
  EXPECT_TRUE(out.empty());
  for (uint8_t b : query) box.feed_control(b, &out);
  EXPECT_FALSE(out.empty());
  out.clear();
  for (uint8_t b : bare) box.feed_control(b, &out);
  EXPECT_TRUE(out.empty()) << "the wake-up of the last query does not carry over";
  EXPECT_EQ(box.stats().control_frames, 3u);
  EXPECT_EQ(box.stats().control_frames_asleep, 2u);
}

TEST(BoxDecoderControl, BrokenPairsResyncAndCustomPayload) {
  BoxDecoder box;
  box.set_control_reply({0x01, 0x02});
  Bytes line = control_query_on_the_line();
  line.erase(line.begin() + 403);  // one complement lost inside the sync pattern
  Bytes out;
  for (uint8_t b : line) box.feed_control(b, &out);
  EXPECT_EQ(box.stats().control_frames, 1u);
  EXPECT_EQ(Bytes(out.end() - 4, out.end()), Bytes({0x01, 0xFE, 0x02, 0xFD}));
  // The line test's counting pattern is not a frame.
  Bytes test_pattern;
  for (int i = 0; i < 500; ++i) test_pattern = concat(test_pattern, {uint8_t(i % 255), uint8_t(~(i % 255))});
  out.clear();
  for (uint8_t b : test_pattern) box.feed_control(b, &out);
  EXPECT_TRUE(out.empty());
}

}  // namespace

namespace {

// Line noise of every kind: the box must neither crash nor grow, and must still
// answer a clean packet once the line has been quiet.
TEST(BoxDecoderFraming, SurvivesRandomBytes) {
  BoxDecoder box;
  boxsim::Faults f;
  f.refuse_first = 1;
  f.corrupt_echo_every = 3;
  box.set_faults(f);
  uint32_t seed = 12345;
  auto next = [&] { return seed = seed * 1103515245u + 12345u, uint8_t(seed >> 16); };
  int64_t now = 0;
  Bytes out;
  for (int i = 0; i < 200000; ++i) {
    uint8_t b = next();
    if (i % 7 == 0) b = ":*Z0123456789ABCDEF\r"[b % 20];
    now += (b % 50 == 0) ? 300 : 1;
    box.feed(b, now, &out);
    box.feed_control(next(), &out);
  }
  EXPECT_EQ(box.memories().flash.size(), boxsim::kFlashSize);
  EXPECT_EQ(box.memories().osd.size(), boxsim::kOsdSize);
  EXPECT_EQ(box.memories().font.size(), boxsim::kFontSize);
  EXPECT_EQ(box.memories().pic.size(), boxsim::kPicSize);
  box.set_faults(boxsim::Faults());
  Bytes w = {0x99, 0x6F, 0, 0, 'w', 0x01, 0x02, 0x03, 0x33, 0, 0, 0x0D};
  EXPECT_EQ(box.feed(w, now + 1000), w);
}

}  // namespace
