// Shared set-up of the link tests: a pseudo-terminal peer opened as the
// programming port, quiet trace, and a scripted box that echoes packets.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "base/clock.h"
#include "base/trace.h"
#include "link/box_link.h"
#include "link/control_frame.h"
#include "link/ports.h"
#include "support/pty_peer.h"

namespace linktest {

using Bytes = std::vector<uint8_t>;

inline int64_t elapsed_since(int64_t start) { return tv::monotonic_ms() - start; }

// A box on the peer that reads packets of `packet_size` bytes and answers
// each with what `answer` returns (the packet's echo by default). It records
// every packet it read.
class ScriptedBox {
 public:
  using Answer = std::function<Bytes(const Bytes& packet, int index)>;

  ScriptedBox(testsupport::PtyPeer& peer, size_t packet_size, Answer answer = nullptr)
      : peer_(peer), packet_size_(packet_size), answer_(std::move(answer)) {
    thread_ = std::thread([this] { serve(); });
  }
  ~ScriptedBox() { stop(); }

  void stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }
  std::vector<Bytes> packets() {
    std::lock_guard<std::mutex> lock(mutex_);
    return packets_;
  }

 private:
  void serve() {
    int index = 0;
    while (!stop_) {
      Bytes packet = peer_.read_bytes(packet_size_, 50);
      while (!stop_ && !packet.empty() && packet.size() < packet_size_) {
        Bytes more = peer_.read_bytes(packet_size_ - packet.size(), 50);
        packet.insert(packet.end(), more.begin(), more.end());
      }
      if (packet.size() < packet_size_) continue;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        packets_.push_back(packet);
      }
      peer_.write_bytes(answer_ ? answer_(packet, index) : packet);
      ++index;
    }
  }

  testsupport::PtyPeer& peer_;
  size_t packet_size_;
  Answer answer_;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::vector<Bytes> packets_;
  std::thread thread_;
};

// A control exchange's sink for tests that do not look at its reports.
class NoControlSink : public tv::ControlSink {
 public:
  void progress(int) override {}
};

class LinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tv::set_trace_enabled(false);
    tv::set_pause_scale_percent(0);
    ASSERT_TRUE(peer.ok());
    ASSERT_EQ(tv::open_com(port, peer.slave_path()), 0);
  }
  void TearDown() override {
    port.close();
    tv::set_pause_scale_percent(100);
  }

  testsupport::PtyPeer peer;
  tv::SerialPort port;  // the programming port, on the peer's line
  tv::BoxLink link{port};
};

}  // namespace linktest
