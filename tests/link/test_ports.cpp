// Opening, naming and reading the serial ports.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "link/packets.h"
#include "link/serial_port.h"
#include "link_fixture.h"
#include "support/temp_dir.h"

namespace {

using linktest::Bytes;
using linktest::elapsed_since;
using linktest::LinkTest;

using testsupport::ScopedEnv;

TEST(PortNames, ComNamesMapToTheSystemsPorts) {
  ScopedEnv env("TVBOX_PORT_DIR", nullptr);
  EXPECT_EQ(tv::port_device_path("com3"), "/dev/ttyS2");
  EXPECT_EQ(tv::port_device_path("COM1"), "/dev/ttyS0");
  EXPECT_EQ(tv::port_device_path("Com12"), "/dev/ttyS11");
  EXPECT_EQ(tv::port_device_path("/dev/pts/7"), "/dev/pts/7");
  EXPECT_EQ(tv::port_device_path("com"), "com");
  EXPECT_EQ(tv::port_device_path("com3x"), "com3x");
  EXPECT_EQ(tv::port_device_path("ttyUSB0"), "ttyUSB0");
}

TEST(PortNames, PortDirectoryTakesLowerCaseComNames) {
  ScopedEnv env("TVBOX_PORT_DIR", "/tmp/ports");
  EXPECT_EQ(tv::port_device_path("COM5"), "/tmp/ports/com5");
  EXPECT_EQ(tv::port_device_path("com3"), "/tmp/ports/com3");
  EXPECT_EQ(tv::port_device_path("./here/com3"), "./here/com3");
}

TEST(OpenCom, MissingDeviceIsOneAndLeavesThePortClosed) {
  tv::set_trace_enabled(false);
  tv::SerialPort port;
  int reason = 0;
  EXPECT_EQ(tv::open_com(port, "/nonexistent/com7", &reason), tv::kDeviceNotOpened);
  EXPECT_EQ(reason, ENOENT);
  EXPECT_FALSE(port.is_open());
}

TEST(OpenCom, NotATerminalIsTwoAndClosesWhatItOpened) {
  tv::set_trace_enabled(false);
  testsupport::TempDir dir("link");
  std::string file = dir.file("plain");
  int fd = ::open(file.c_str(), O_CREAT | O_WRONLY, 0600);
  ASSERT_GE(fd, 0);
  ::close(fd);
  tv::SerialPort port;
  EXPECT_EQ(tv::open_com(port, file), tv::kLineStateUnread);
  EXPECT_FALSE(port.is_open());
  // Closed, so the lock is gone: another opener gets the file.
  tv::SerialPort other;
  EXPECT_EQ(other.open_device(file), 0);
  other.close();
}

using Ports = LinkTest;

TEST_F(Ports, OpenIsExclusiveUntilClosed) {
  tv::SerialPort second;
  EXPECT_EQ(second.open_device(peer.slave_path()), -1);
  port.close();
  port.close();
  EXPECT_FALSE(port.is_open());
  EXPECT_EQ(second.open_device(peer.slave_path()), 0);
}

// The exclusive mode belongs to the terminal: left set after our close, it
// would refuse a non-root user's reopen while the simulator holds the line.
TEST_F(Ports, CloseLeavesTheLineNoLongerExclusive) {
  // Only root may open a line another holds exclusively, which is what this looks at.
  if (geteuid() != 0) GTEST_SKIP() << "needs root: only root may open a line held in exclusive mode";
  int probe = ::open(peer.slave_path().c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(probe, 0);  // root passes the exclusive mode; others would not
  int exclusive = 0;
  ASSERT_EQ(ioctl(probe, TIOCGEXCL, &exclusive), 0);
  EXPECT_NE(exclusive, 0);
  port.close();
  ASSERT_EQ(ioctl(probe, TIOCGEXCL, &exclusive), 0);
  EXPECT_EQ(exclusive, 0);
  ::close(probe);
}

// Cancelling a burn must not sit out a silent box's time-outs: abandoned
// waits end at once, in progress or to come, and the port works again after.
TEST_F(Ports, AbandonedWaitsEndAtOnceAndTheLineWorksAfterwards) {
  int echo_result = -1;
  int64_t start = tv::monotonic_ms();
  std::thread reader([&] {
    uint8_t out[4];
    echo_result = link.osd_read(0x1234, out);  // the peer never answers: 3 s at most
  });
  port.abandon_waits(true);
  reader.join();
  EXPECT_LT(elapsed_since(start), 1000);
  EXPECT_NE(echo_result, tv::kEchoOk);
  EXPECT_FALSE(port.pause(5000));
  uint8_t byte = 0;
  EXPECT_EQ(port.read(&byte, 1, 2000), -1);
  EXPECT_EQ(link.wait_read(&byte, 1, 1), tv::BoxLink::kReadFailed);
  EXPECT_LT(elapsed_since(start), 1000);

  port.abandon_waits(false);
  ASSERT_TRUE(peer.write_bytes({0x41}));
  EXPECT_EQ(port.read(&byte, 1, 2000), 1);
  EXPECT_EQ(byte, 0x41);
}

TEST_F(Ports, PseudoTerminalHasNoModemLinesButStillOpens) {
  EXPECT_TRUE(port.is_open());
  EXPECT_FALSE(port.set_dtr(true));
}

// The control line runs 2400 baud, 8 data bits, even parity and two stop
// bits: a box that frames its characters in 12 bits reads every byte sent
// with one stop bit less as garbage. A pseudo-terminal keeps the speed and
// the stop bits but drops the parity bit, so the parity shows in the time a
// byte takes on the line, which counts every bit asked for.
TEST_F(Ports, ControlPortOpensThroughThePortDirectoryAt2400EvenParityTwoStopBits) {
  testsupport::TempDir dir("link");
  testsupport::PtyPeer control_peer;
  ASSERT_TRUE(control_peer.ok());
  ASSERT_EQ(symlink(control_peer.slave_path().c_str(), dir.file("com9").c_str()), 0);
  {
    ScopedEnv env("TVBOX_PORT_DIR", dir.path().c_str());
    tv::SerialPort control;
    EXPECT_EQ(tv::xs_open(control, 9), tv::kOpened);
    EXPECT_TRUE(control.is_open());
    termios line{};
    ASSERT_EQ(tcgetattr(control.fd(), &line), 0);
    EXPECT_EQ(cfgetospeed(&line), speed_t(B2400));
    EXPECT_EQ(cfgetispeed(&line), speed_t(B2400));
    EXPECT_EQ(line.c_cflag & CSIZE, tcflag_t(CS8));
    EXPECT_NE(line.c_cflag & CSTOPB, 0u) << "two stop bits";
    EXPECT_EQ(line.c_cflag & CRTSCTS, 0u) << "no hardware flow control: RTS is switched by hand";
    EXPECT_EQ(control.byte_time_us(), 5000) << "start, 8 data, parity and 2 stop bits at 2400 baud";
    // The programming line beside it keeps its own 57600 8N1.
    ASSERT_EQ(tcgetattr(port.fd(), &line), 0);
    EXPECT_EQ(cfgetospeed(&line), speed_t(B57600));
    EXPECT_EQ(line.c_cflag & CSTOPB, 0u);
    EXPECT_EQ(port.byte_time_us(), 174);
    control.close();
    int reason = 0;
    EXPECT_EQ(tv::xs_open(control, 8, &reason), tv::kDeviceNotOpened);  // no such port in the directory
    EXPECT_EQ(reason, ENOENT);
    EXPECT_FALSE(control.is_open());
  }
}

TEST_F(Ports, WaitReadCollectsTheBytesAndZeroesTheRest) {
  uint8_t buffer[8];
  memset(buffer, 0xAA, sizeof buffer);
  ASSERT_TRUE(peer.write_bytes({1, 2, 3}));
  EXPECT_EQ(link.wait_read(buffer, 8, 3), tv::BoxLink::kReadComplete);
  EXPECT_EQ(Bytes(buffer, buffer + 8), Bytes({1, 2, 3, 0, 0, 0, 0, 0}));
}

TEST_F(Ports, WaitReadNeverWritesPastItsBuffer) {
  uint8_t buffer[6];
  memset(buffer, 0xAA, sizeof buffer);
  ASSERT_TRUE(peer.write_bytes({1, 2, 3, 4, 5}));
  EXPECT_EQ(link.wait_read(buffer, 4, 50), tv::BoxLink::kReadComplete);  // count is held to the size
  EXPECT_EQ(Bytes(buffer, buffer + 6), Bytes({1, 2, 3, 4, 0xAA, 0xAA}));
}

TEST_F(Ports, WaitReadGivesUpAfterThreeSilentSeconds) {
  uint8_t buffer[4];
  ASSERT_TRUE(peer.write_bytes({7}));
  int64_t start = tv::monotonic_ms();
  EXPECT_EQ(link.wait_read(buffer, 4, 2), tv::BoxLink::kReadSilent);
  int64_t took = elapsed_since(start);
  EXPECT_GE(took, 3000);
  EXPECT_LT(took, 4500);
  EXPECT_EQ(buffer[0], 7);
}

TEST_F(Ports, WaitReadFailsOnAVanishedOrClosedPort) {
  uint8_t buffer[4];
  peer.close_master();
  int64_t start = tv::monotonic_ms();
  EXPECT_EQ(link.wait_read(buffer, 4, 1), tv::BoxLink::kReadFailed);
  EXPECT_LT(elapsed_since(start), 1000);
  port.close();
  EXPECT_EQ(link.wait_read(buffer, 4, 1), tv::BoxLink::kReadFailed);
}

// Stale bytes, and the garbage a box still sends while the step keeps the
// line quiet (here 200 ms into its 630 ms), are thrown away alike.
TEST_F(Ports, LineRecoveryThrowsAwayUnreadInputAndWhatCameDuringItsPauses) {
  ASSERT_TRUE(peer.write_bytes({9, 9, 9}));
  pollfd waiting{port.fd(), POLLIN, 0};
  ASSERT_EQ(poll(&waiting, 1, 2000), 1);  // the stale bytes have arrived
  tv::set_pause_scale_percent(100);
  std::thread garbage([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // the box's timing
    peer.write_bytes({0x6F, 0x13});
  });
  link.line_recovery();
  garbage.join();
  ASSERT_TRUE(peer.write_bytes({5}));
  uint8_t buffer[1];
  EXPECT_EQ(link.wait_read(buffer, 1, 1), tv::BoxLink::kReadComplete);
  EXPECT_EQ(buffer[0], 5);
}

}  // namespace
