// The time limits of an answer: its first byte within 3 s of the packet (10 s
// for a 16-byte write, 1 s for a PIC record's echo), the rest in the same
// burst, within the time its bytes take on the line and a margin of 100 ms;
// an answer that breaks off counts like a silent box, and costs a fraction
// of a second.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <future>
#include <thread>

#include "link/box_link.h"
#include "link/packets.h"
#include "link_fixture.h"

namespace {

using linktest::Bytes;
using linktest::LinkTest;

const Bytes kPacket = {0x90, 0x6F, 0, 0, 0x77, 0x12, 0x34, 0x00, 0x56, 0, 0, 0x0D};

class EchoTiming : public LinkTest {
 protected:
  // The box reads the packet, waits, sends the echo's first byte, waits
  // again and sends the rest. The waits are the box's timing, not the
  // test's synchronisation: the outcome is what the program does with them.
  std::future<void> slowBox(int first_after_ms, int rest_after_ms) {
    return std::async(std::launch::async, [this, first_after_ms, rest_after_ms] {
      Bytes got = peer.read_bytes(kPacket.size(), 5000);
      std::this_thread::sleep_for(std::chrono::milliseconds(first_after_ms));
      peer.write_bytes(Bytes(got.begin(), got.begin() + 1));
      std::this_thread::sleep_for(std::chrono::milliseconds(rest_after_ms));
      peer.write_bytes(Bytes(got.begin() + 1, got.end()));
    });
  }
  // The box answers a packet with `pieces` written one after another, each
  // after its own delay: how a slow or busy box spreads one answer out.
  struct Piece {
    int after_ms;
    Bytes bytes;
  };
  using Answer = std::function<std::vector<Piece>(const Bytes& packet)>;
  std::future<void> boxInPieces(Answer answer, size_t packet_size = kPacket.size()) {
    return std::async(std::launch::async, [this, answer, packet_size] {
      Bytes got = peer.read_bytes(packet_size, 5000);
      for (const Piece& piece : answer(got)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(piece.after_ms));
        if (piece.bytes.empty())
          peer.close_master();
        else
          peer.write_bytes(piece.bytes);
      }
    });
  }
  static Bytes part(const Bytes& bytes, size_t from, size_t to) {
    return Bytes(bytes.begin() + long(from), bytes.begin() + long(to));
  }
  int sendAndWait() {
    port.write(kPacket.data(), kPacket.size());
    uint8_t reply[64];
    return link.wait_echo(reply, sizeof reply, kPacket.data(), kPacket[1]);
  }
};

// A slow box keeps its time to begin: 2.5 s, and then the rest at once.
TEST_F(EchoTiming, LateFirstByteIsTakenWhenTheRestFollowsInTheSameBurst) {
  auto box = slowBox(2500, 0);
  EXPECT_EQ(sendAndWait(), tv::kEchoOk);
  box.get();
}

// Well inside 3 s in all, but the rest came 400 ms after the first byte: the
// wait ends before it, as an answer cut short.
TEST_F(EchoTiming, RestOfTheEchoOutsideTheBurstTimesOutAsCutShort) {
  auto box = slowBox(200, 400);
  const int64_t start = tv::monotonic_ms();
  EXPECT_EQ(sendAndWait(), tv::kEchoTimeout + tv::kEchoMismatch);  // and the echo is short
  EXPECT_LT(linktest::elapsed_since(start), 550) << "it gave up once the burst was over";
  EXPECT_EQ(link.last_fault(), tv::LinkFault::CutShort);
  box.get();
}

// A read's echo and its four data bytes in several writes of one burst, with
// a stray byte before the target: every piece is taken in its place, the data
// are the bytes after the echo, and nothing past them is read.
TEST_F(EchoTiming, ReadAnswerInPiecesOfOneBurstIsAccepted) {
  const Bytes data = {0xDE, 0xAD, 0xBE, 0xEF};
  auto box = boxInPieces([&](const Bytes& packet) {
    return std::vector<Piece>{
        {300, part(packet, 0, 1)}, {5, {0x11}},    {5, part(packet, 1, 7)},
        {5, part(packet, 7, 12)},  {0, {data[0]}}, {5, {data[1], data[2], data[3], 0x55}}};
  });
  uint8_t out[4] = {};
  EXPECT_EQ(link.osd_read(0x1234, out), tv::kEchoOk);
  box.get();
  EXPECT_EQ(Bytes(out, out + 4), data);
  uint8_t left[8];
  EXPECT_EQ(port.read(left, sizeof left, 200), 1) << "the byte after the answer stays on the line";
  EXPECT_EQ(left[0], 0x55);
}

// A read's echo that lost a byte is completed by the first data byte behind
// it and so does not match; it is told from a refusal by its shape (the
// packet less one byte), and the data bytes left of its burst are swallowed,
// so that the retry's echo is the first thing on the line. A refusal leaves
// the line to the recovery step.
TEST_F(EchoTiming, ReadEchoShortOfOneByteIsABrokenAnswerNotARefusal) {
  const Bytes data = {0xDE, 0xAD, 0xBE, 0xEF};
  struct Case {
    const char* box;
    size_t drop;  // the echo byte the line loses; 12: none
    bool refuse;  // answer with byte 5 changed
    tv::LinkFault fault;
  };
  const std::vector<Case> cases = {
      {"answers whole", 12, false, tv::LinkFault::None},
      {"loses byte 3 of the echo", 3, false, tv::LinkFault::CutShort},
      {"loses byte 10 of the echo", 10, false, tv::LinkFault::CutShort},
      {"refuses the read", 12, true, tv::LinkFault::Refused},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.box);
    auto box = boxInPieces([&](const Bytes& packet) {
      Bytes answer = packet;
      if (c.refuse) answer[5] ^= 0xFF;
      if (c.drop < answer.size()) answer.erase(answer.begin() + long(c.drop));
      answer.insert(answer.end(), data.begin(), data.end());
      return std::vector<Piece>{{10, answer}, {150, {0x55}}};
    });
    uint8_t out[4] = {};
    EXPECT_EQ(link.osd_read(0x1234, out) == tv::kEchoOk, c.fault == tv::LinkFault::None);
    EXPECT_EQ(link.last_fault(), c.fault);
    uint8_t next = 0;
    EXPECT_EQ(port.read(&next, 1, 1000), 1);
    EXPECT_EQ(next, c.refuse ? data[0] : 0x55) << "the first byte left after the answer";
    if (c.fault == tv::LinkFault::None) EXPECT_EQ(Bytes(out, out + 4), data);
    box.get();
    link.discard_input();
  }
}

// A write's answer that lost any byte but its last is over when that last
// byte has come: the wait ends there as a broken answer, without sitting out
// the burst's margin, and so a byte the box sends 50 ms later is no part of
// it. Without its last byte, an answer looks like one whose last byte is
// still on its way, and that byte, 50 ms late, is still taken.
TEST_F(EchoTiming, WriteAnswerShortOfOneByteEndsWithItsLastByte) {
  const std::string data(32, 'A');
  constexpr size_t kNone = 99;
  struct Case {
    size_t packet_size;  // 12: a 4-byte write and its echo; 26: a 16-byte write
    size_t lost;         // the answer byte the line loses; kNone: the last one comes late
    bool repeats;  // the answer ends in two equal bytes, so that its beginning is also the whole less one
  };
  const std::vector<Case> cases = {{12, 0, false}, {12, 1, false}, {12, 5, false},    {12, 10, false},
                                   {26, 0, false}, {26, 3, false}, {12, kNone, true}, {26, kNone, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.packet_size) + " bytes sent, answer byte lost: " + std::to_string(c.lost));
    auto box = boxInPieces(
        [&c](const Bytes& packet) {
          Bytes answer = packet;
          if (c.packet_size == 26)
            answer = {packet[0], packet[1], packet[4], packet[5], packet[6], packet[7]};
          if (c.lost == kNone)
            return std::vector<Piece>{{10, part(answer, 0, answer.size() - 1)}, {50, {answer.back()}}};
          answer.erase(answer.begin() + long(c.lost));
          return std::vector<Piece>{{10, answer}, {50, {0x55}}};
        },
        c.packet_size);
    const int result = c.packet_size == 12
                           ? link.osd_wrt4(0x1234, c.repeats ? "1122330D" : "11223344")
                           : link.osd_wrt16(c.repeats ? 0x0000 : 0x2000, data.c_str(), tv::kTargetOsd);
    box.get();
    if (c.lost == kNone) {
      EXPECT_EQ(result, tv::kEchoOk);
      continue;
    }
    EXPECT_EQ(result, tv::kEchoTimeout + tv::kEchoMismatch);
    EXPECT_EQ(link.last_fault(), tv::LinkFault::CutShort);
    uint8_t next = 0;
    EXPECT_EQ(port.read(&next, 1, 1000), 1);
    EXPECT_EQ(next, 0x55);
  }
}

// An echo that stops four bytes short is a time-out about 100 ms after its
// first byte, never an echo taken as complete; a line that vanishes after
// the first byte fails at once.
TEST_F(EchoTiming, EchoCutShortTimesOutAndAVanishedLineFailsAtOnce) {
  auto cut = boxInPieces([](const Bytes& packet) {
    return std::vector<Piece>{{50, part(packet, 0, 4)}, {5, part(packet, 4, 8)}};
  });
  int64_t start = tv::monotonic_ms();
  EXPECT_EQ(sendAndWait(), tv::kEchoTimeout + tv::kEchoMismatch);
  EXPECT_GE(linktest::elapsed_since(start), 120);
  EXPECT_LT(linktest::elapsed_since(start), 600);
  cut.get();

  auto vanish = boxInPieces([](const Bytes& packet) {
    return std::vector<Piece>{{50, part(packet, 0, 1)}, {50, {}}};
  });
  start = tv::monotonic_ms();
  const int result = sendAndWait();
  EXPECT_TRUE(result == tv::kEchoReadFailed || result == tv::kEchoReadFailed + tv::kEchoMismatch) << result;
  EXPECT_LT(linktest::elapsed_since(start), 900);
  vanish.get();
}

// A 16-byte write whose answer breaks off after two bytes ends in well under
// a second, not the ten of a silent box; the box was there, so the next write
// still gets its full time to begin (4 s here, past the 3 s a silent box is
// left with).
TEST_F(EchoTiming, Write16AnswerCutShortEndsInABurstAndKeepsTheFullLimitForTheNext) {
  auto answer = [](const Bytes& packet) {
    return Bytes{packet[0], packet[1], packet[4], packet[5], packet[6], packet[7]};
  };
  auto cut = std::async(std::launch::async, [&] {
    Bytes got = peer.read_bytes(26, 5000);
    if (got.size() < 26) return;
    peer.write_bytes(part(answer(got), 0, 2));
    got = peer.read_bytes(26, 12000);
    if (got.size() < 26) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(4000));
    peer.write_bytes(answer(got));
  });
  const std::string data(32, 'A');
  const int64_t start = tv::monotonic_ms();
  EXPECT_EQ(link.osd_wrt16(0x2000, data.c_str(), tv::kTargetOsd), tv::kEchoTimeout + tv::kEchoMismatch);
  EXPECT_LT(linktest::elapsed_since(start), 1000);
  EXPECT_EQ(link.last_fault(), tv::LinkFault::CutShort);
  EXPECT_EQ(link.silent_in_a_row(), 0);
  EXPECT_EQ(link.osd_wrt16(0x2000, data.c_str(), tv::kTargetOsd), tv::kEchoOk);
  cut.get();
}

// A PIC record's echo, read as the loader sends it: at once, in one burst.
// The waits of each box below are its own timing; what is checked is how the
// wait ended and what it took for the echo.
const std::string kRecord = ":08001000A1B2C3D4E5F60718*";

Bytes bytes_of(const std::string& text) { return Bytes(text.begin(), text.end()); }

TEST_F(EchoTiming, RecordEchoEndsByItsBurstNotByThreeSecondsOfSilence) {
  ASSERT_EQ(kRecord.size(), 26u);
  const Bytes record = bytes_of(kRecord);
  struct Case {
    const char* box;
    std::vector<Piece> pieces;
    tv::BoxLink::ReadResult expected;
  };
  std::vector<Piece> noise;
  for (int i = 0; i < 12; ++i) noise.push_back({90, {'?'}});
  noise.push_back({0, record});
  const std::vector<Case> cases = {
      {"answers after a stray byte, in two pieces",
       {{20, {'?'}}, {5, part(record, 0, 10)}, {2, part(record, 10, 26)}},
       tv::BoxLink::kReadComplete},
      {"begins 700 ms after the record", {{700, record}}, tv::BoxLink::kReadComplete},
      {"sends its last byte 600 ms after the rest",
       {{20, part(record, 0, 25)}, {600, part(record, 25, 26)}},
       tv::BoxLink::kReadCutShort},
      {"lost the leading ':'", {{20, part(record, 1, 26)}}, tv::BoxLink::kReadCutShort},
      {"sends noise every 90 ms before the echo", noise, tv::BoxLink::kReadCutShort},
      {"stays silent", {}, tv::BoxLink::kReadSilent},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.box);
    auto box = boxInPieces([&](const Bytes&) { return c.pieces; }, record.size());
    ASSERT_EQ(port.write(record.data(), record.size()), long(record.size()));
    uint8_t echo[27];
    EXPECT_EQ(link.wait_text_echo(echo, sizeof echo, 26, ':'), c.expected);
    if (c.expected == tv::BoxLink::kReadComplete) EXPECT_EQ(Bytes(echo, echo + 26), record);
    box.get();
    uint8_t rest[64];  // what came after the wait ended is not the next case's
    while (port.read(rest, sizeof rest, 100) > 0) {
    }
  }
}

// An echo that broke off is followed by its late rest only after the record
// went again: that rest holds no ':', so it is passed over and the second
// echo is read whole, leaving nothing on the line.
TEST_F(EchoTiming, LateRestOfABrokenRecordEchoIsNotTakenForTheNextEcho) {
  const Bytes record = bytes_of(kRecord);
  auto box = std::async(std::launch::async, [&] {
    if (peer.read_bytes(26, 5000).size() < 26) return;
    peer.write_bytes(part(record, 0, 20));
    if (peer.read_bytes(26, 5000).size() < 26) return;
    Bytes late_rest_then_echo = part(record, 20, 26);
    late_rest_then_echo.insert(late_rest_then_echo.end(), record.begin(), record.end());
    peer.write_bytes(late_rest_then_echo);
  });
  uint8_t echo[27];
  ASSERT_EQ(port.write(record.data(), record.size()), 26);
  EXPECT_EQ(link.wait_text_echo(echo, sizeof echo, 26, ':'), tv::BoxLink::kReadCutShort);
  link.discard_input();
  ASSERT_EQ(port.write(record.data(), record.size()), 26);
  EXPECT_EQ(link.wait_text_echo(echo, sizeof echo, 26, ':'), tv::BoxLink::kReadComplete);
  EXPECT_EQ(Bytes(echo, echo + 26), record);
  box.get();
  uint8_t left[8];
  EXPECT_EQ(port.read(left, sizeof left, 200), 0) << "nothing of either echo is left";
}

}  // namespace
