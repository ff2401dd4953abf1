// The control line: the receive decoder and the frame exchange on a peer.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <future>
#include <string>

#include "link/control_frame.h"
#include "link_fixture.h"
#include "support/temp_dir.h"

namespace {

using linktest::Bytes;
using linktest::elapsed_since;

Bytes decode(const Bytes& line, size_t capacity = 64) {
  Bytes out(capacity);
  tv::ControlDecoder decoder(out.data(), capacity);
  for (uint8_t b : line) decoder.feed(b);
  out.resize(static_cast<size_t>(decoder.count()));
  return out;
}

TEST(ControlDecoder, OnePayloadByteAfterTheHeader) {
  EXPECT_EQ(decode({0x34, 0xCB, 0x00, 0xFF, 0xFF, 0x00, 0x5A, 0xA5}), Bytes({0x5A}));
}

TEST(ControlDecoder, ResynchronisesAfterALostByte) {
  EXPECT_EQ(decode({0x12, 0xED, 0x34, 0x12, 0xED, 0x34, 0xCB, 0x00, 0xFF, 0xFF, 0x00, 0x5A, 0xA5}),
            Bytes({0x5A}));
}

TEST(ControlDecoder, DoubledHeaderByteSendsTheSearchBack) {
  EXPECT_TRUE(decode({0x34, 0xCB, 0x34, 0xCB, 0x00, 0xFF, 0xFF, 0x00, 0x5A, 0xA5}).empty());
}

TEST(ControlDecoder, BrokenPairsInThePayloadAreDropped) {
  EXPECT_EQ(decode({0x34, 0xCB, 0x00, 0xFF, 0xFF, 0x00, 0x01, 0x00, 0x02, 0xFD}), Bytes({0x02}));
}

TEST(ControlDecoder, NeverStoresMoreThanItsCapacity) {
  Bytes line = {0x34, 0xCB, 0x00, 0xFF, 0xFF, 0x00};
  for (int i = 0; i < 5000; ++i) {
    line.push_back(static_cast<uint8_t>(i));
    line.push_back(static_cast<uint8_t>(~i));
  }
  uint8_t out[16 + 4];
  memset(out, 0xEE, sizeof out);
  tv::ControlDecoder decoder(out, 16);
  for (uint8_t b : line) decoder.feed(b);
  EXPECT_EQ(decoder.count(), 16);
  EXPECT_EQ(out[15], 15);
  for (int i = 16; i < 20; ++i) EXPECT_EQ(out[i], 0xEE);
}

TEST(ControlDecoder, RandomNoiseNeverOverrunsOrCrashes) {
  uint8_t out[8];
  tv::ControlDecoder decoder(out, sizeof out);
  unsigned seed = 12345;
  for (int i = 0; i < 200000; ++i) {
    seed = seed * 1103515245u + 12345u;
    decoder.feed(static_cast<uint8_t>(seed >> 16));
    ASSERT_LE(decoder.count(), 8);
    ASSERT_GE(decoder.state(), 0);
    ASSERT_LE(decoder.state(), 3);
  }
}

const Bytes kReply = {0x34, 0xCB, 0x00, 0xFF, 0xFF, 0x00, 0x5A, 0xA5,
                      0x01, 0xFE, 0x02, 0xFD, 0x03, 0xFC, 0x04, 0xFB};
const uint8_t kQueryRecord[11] = {0x00, 0xFF, 0x00, 0x70, 0, 0, 0, 0, 0, 0, 0};

Bytes expected_frame_on_line() {
  Bytes frame;
  for (int i = 0; i < 21; ++i) frame.insert(frame.end(), {0x12, 0x34});
  frame.insert(frame.end(), kQueryRecord, kQueryRecord + 11);
  Bytes doubled(2 * frame.size());
  tv::double_bytes(frame.data(), frame.size(), doubled.data());
  return doubled;
}

bool is_preamble(const Bytes& line, size_t from) {
  for (size_t i = 0; i < 400; ++i) {
    static const uint8_t group[4] = {0x12, 0xED, 0x34, 0xCB};
    if (line[from + i] != group[i % 4]) return false;
  }
  return true;
}

class ControlExchange : public ::testing::Test {
 protected:
  void SetUp() override {
    tv::set_trace_enabled(false);
    tv::set_pause_scale_percent(0);
    ASSERT_TRUE(peer.ok());
    ASSERT_EQ(symlink(peer.slave_path().c_str(), dir.file("com6").c_str()), 0);
    ASSERT_EQ(tv::xs_open(port, 6), tv::kOpened);
  }
  void TearDown() override {
    port.close();
    tv::set_pause_scale_percent(100);
  }

  // The box: reads the whole frame, then answers.
  std::future<Bytes> answer_after(size_t expected_bytes, Bytes reply) {
    return std::async(std::launch::async, [this, expected_bytes, reply] {
      Bytes line = peer.read_bytes(expected_bytes, 20000);
      peer.write_bytes(reply);
      return line;
    });
  }

  testsupport::PtyPeer peer;
  testsupport::TempDir dir{"ctl"};
  testsupport::ScopedEnv port_dir{"TVBOX_PORT_DIR", dir.path().c_str()};
  tv::SerialPort port;
  // What the exchange reports: its progress, and the keys it is handed.
  struct Sink : tv::ControlSink {
    void progress(int value) override { values.push_back(value); }
    int key() override { return keys.empty() || !keys_allowed ? 0 : next_key(); }
    int next_key() {
      const int key = keys.front();
      keys.erase(keys.begin());
      return key;
    }
    std::vector<int> values;
    std::vector<int> keys;
    std::atomic<bool> keys_allowed{false};
  } sink;
  tv::ControlLink link{port, sink};
};

TEST_F(ControlExchange, SendsPreambleAndDoubledFrameAtLinePaceThenDecodesTheReply) {
  auto box = answer_after(506, kReply);
  uint8_t out[16] = {};
  int64_t start = tv::monotonic_ms();
  int count = link.xs_cmd(kQueryRecord, out, sizeof out, 300, 0);
  int64_t took = elapsed_since(start);
  Bytes line = box.get();
  ASSERT_EQ(line.size(), 506u);
  EXPECT_TRUE(is_preamble(line, 0));
  EXPECT_EQ(Bytes(line.begin() + 400, line.end()), expected_frame_on_line());
  EXPECT_EQ(Bytes(line.end() - 22, line.end() - 14), Bytes({0x00, 0xFF, 0xFF, 0x00, 0x00, 0xFF, 0x70, 0x8F}));
  EXPECT_EQ(count, 5);
  EXPECT_EQ(Bytes(out, out + 5), Bytes({0x5A, 1, 2, 3, 4}));
  EXPECT_GE(took, 506 * 5);  // 2400 baud, 12-bit characters
  EXPECT_EQ(sink.values, std::vector<int>({15, 20, 50, 60, 80}));
}

TEST_F(ControlExchange, MaximumEndsTheListeningEarly) {
  auto box = answer_after(506, kReply);
  uint8_t out[16] = {};
  int64_t start = tv::monotonic_ms();
  int count = link.xs_cmd(kQueryRecord, out, sizeof out, 20000, 3);
  int64_t took = elapsed_since(start);
  box.get();
  EXPECT_EQ(count, 3);
  EXPECT_LT(took, 10000);
}

TEST_F(ControlExchange, ClosedPortReturnsNothingAtOnce) {
  port.close();
  uint8_t out[4];
  int64_t start = tv::monotonic_ms();
  EXPECT_EQ(link.xs_cmd(kQueryRecord, out, sizeof out, 2000, 0), 0);
  EXPECT_LT(elapsed_since(start), 500);
}

// The wake-up ends early when the one who started it says so: the cancel flag
// of the window's Cancel button, or 'q' typed where the sink reads keys
// on the terminal the program was started from.
TEST_F(ControlExchange, QueryWakeUpEndsWhenCancelledOrOnQ) {
  for (const bool by_key : {false, true}) {
    SCOPED_TRACE(by_key ? "q" : "cancel");
    tv::set_pause_scale_percent(20);  // wake-up of 12.4 s unless cut short
    std::atomic<bool> cancel{false};
    sink.keys = {'q'};
    sink.keys_allowed = false;
    auto box = std::async(std::launch::async, [&] {
      Bytes line = peer.read_bytes(400, 10000);
      if (by_key)
        sink.keys_allowed = true;
      else
        cancel = true;
      Bytes rest = peer.read_bytes(506, 10000);
      line.insert(line.end(), rest.begin(), rest.end());
      peer.write_bytes(kReply);
      Bytes extra = peer.read_until_quiet(200, 4000);
      line.insert(line.end(), extra.begin(), extra.end());
      return line;
    });
    uint8_t out[250] = {};
    int64_t start = tv::monotonic_ms();
    int count = link.xs_query(out, sizeof out, &cancel);
    int64_t took = elapsed_since(start);
    Bytes line = box.get();
    ASSERT_EQ(line.size(), 906u);  // one wake-up preamble, then the exchange
    EXPECT_TRUE(is_preamble(line, 0));
    EXPECT_TRUE(is_preamble(line, 400));
    EXPECT_EQ(Bytes(line.begin() + 800, line.end()), expected_frame_on_line());
    EXPECT_EQ(count, 5);
    EXPECT_EQ(out[0], 0x5A);
    EXPECT_LT(took, 12400);
  }
}

TEST_F(ControlExchange, LineTestSendsTheCountingPatternAndTheTestTailAndADeadLineIsNotClean) {
  auto box = std::async(std::launch::async, [this] { return peer.read_bytes(1030, 15000); });
  // The peer never answers: every listening pass reads nothing, and a line
  // that says nothing must not look like a clean loop.
  EXPECT_GT(link.xs_line_test(), 100);
  Bytes line = box.get();
  ASSERT_EQ(line.size(), 1030u);
  for (size_t i = 0; i < 500; ++i) {
    ASSERT_EQ(line[2 * i], i % 255) << i;
    ASSERT_EQ(line[2 * i + 1], static_cast<uint8_t>(~(i % 255))) << i;
  }
  Bytes tail = {0x00, 0xFF, 0xFF, 0x00, 0x00, 0xFF, 0xD0, 0x2F};
  for (int i = 0; i < 11; ++i) tail.insert(tail.end(), {0x00, 0xFF});
  EXPECT_EQ(Bytes(line.begin() + 1000, line.end()), tail);
}

TEST(LineTestCheck, FollowsTheLoopedCountingPatternOnly) {
  EXPECT_TRUE(tv::line_test_byte_fits(0x05, 0xFA));   // the complement
  EXPECT_TRUE(tv::line_test_byte_fits(0xFA, 0x06));   // the next count
  EXPECT_FALSE(tv::line_test_byte_fits(0x00, 0x00));  // a silent line repeats its last byte
  EXPECT_FALSE(tv::line_test_byte_fits(0x05, 0x07));
}

// A window closing during a control exchange must not wait out the line:
// abandoned, the line test and a frame exchange end at once.
TEST_F(ControlExchange, AbandonedExchangesEndAtOnce) {
  port.abandon_waits(true);
  int64_t start = tv::monotonic_ms();
  link.xs_line_test();  // about 11 s on the line when left alone
  uint8_t out[8];
  EXPECT_EQ(link.xs_cmd(kQueryRecord, out, sizeof out, 2500, 0), 0);
  EXPECT_LT(elapsed_since(start), 1000);
  port.abandon_waits(false);
}

}  // namespace
