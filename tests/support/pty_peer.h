// A pseudo-terminal standing in for the box in link tests: the test holds the
// master side, the code under test opens the slave path like a serial port.
// The peer reads what was sent (with a deadline) and writes answers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

class PtyPeer {
 public:
  PtyPeer();  // opens the pair; check ok()
  ~PtyPeer();
  PtyPeer(const PtyPeer&) = delete;
  PtyPeer& operator=(const PtyPeer&) = delete;

  bool ok() const { return master_ >= 0; }
  const std::string& slave_path() const { return slave_path_; }

  // Reads until `count` bytes arrived or `timeout_ms` passed; returns what came.
  std::vector<uint8_t> read_bytes(size_t count, int timeout_ms);
  // Reads whatever arrives until the line has been quiet for `quiet_ms`
  // (at most `timeout_ms` in all).
  std::vector<uint8_t> read_until_quiet(int quiet_ms, int timeout_ms);
  bool write_bytes(const std::vector<uint8_t>& bytes);

  // The box vanishes: the code's side sees a hang-up.
  void close_master();

 private:
  int master_ = -1;
  int slave_ = -1;  // held open so the line settings survive between opens
  std::string slave_path_;
};

}  // namespace testsupport
