// The simulator's serving side: two pseudo-terminals, a thread that waits on
// both with ppoll() and feeds a BoxDecoder, and queues of answers that are
// written when due (after an answer delay, at the line rate when pacing).
//
// A pseudo-terminal hands over whatever the program writes at once, while a
// real line delivers one character per character time. When pacing, received
// bytes therefore wait in an inbox and reach the decoder one after the other,
// each a character time after the previous one (or after it was written,
// whichever is later), and the answer is due from the moment the last byte
// of its packet arrived.
#include "boxsim/box_sim.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <deque>

#include "boxsim/box_decoder.h"

namespace boxsim {

namespace {

// 57600 baud with 8N1 is 10 bits a character; the control line runs 2400 baud
// with 8E2, 12 bits a character.
constexpr int64_t kProgrammingByteNs = 1000000000LL * 10 / 57600;
constexpr int64_t kControlByteNs = 1000000000LL * 12 / 2400;
constexpr int64_t kMaxPollNs = 100 * 1000000LL;

int64_t monotonic_ns() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return int64_t(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

std::string errno_text(const std::string& what) { return what + ": " + std::strerror(errno); }

bool make_dirs(const std::string& path, std::string* error) {
  std::string partial;
  size_t pos = 0;
  while (pos != std::string::npos) {
    pos = path.find('/', pos + 1);
    partial = path.substr(0, pos);
    if (partial.empty()) continue;
    if (mkdir(partial.c_str(), 0755) != 0 && errno != EEXIST) {
      if (error) *error = errno_text("cannot create " + partial);
      return false;
    }
  }
  struct stat st;
  if (stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    if (error) *error = path + " is not a directory";
    return false;
  }
  return true;
}

bool write_file(const std::string& path, const std::vector<uint8_t>& bytes, std::string* error) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) {
    if (error) *error = errno_text("cannot write " + path);
    return false;
  }
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  ok = (std::fclose(f) == 0) && ok;
  if (!ok && error) *error = errno_text("cannot write " + path);
  return ok;
}

// The whole file, which must be exactly as large as the memory it fills.
bool read_file(const std::string& path, std::vector<uint8_t>* bytes, std::string* error) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) {
    if (error) *error = errno_text("cannot read " + path);
    return false;
  }
  std::vector<uint8_t> read(bytes->size() + 1);
  const size_t got = std::fread(read.data(), 1, read.size(), f);
  std::fclose(f);
  if (got != bytes->size()) {
    if (error)
      *error = path + " holds " + std::to_string(got) + (got > bytes->size() ? " or more" : "") +
               " bytes, not " + std::to_string(bytes->size());
    return false;
  }
  read.resize(got);
  *bytes = std::move(read);
  return true;
}

struct Chunk {
  int64_t due_ns;
  std::vector<uint8_t> bytes;
  size_t sent = 0;
};

struct Incoming {
  int64_t due_ns;  // when the byte has fully crossed the line
  uint8_t byte;
};

struct Port {
  int master = -1;
  int inner_slave = -1;  // keeps the line up while the program has it closed
  std::string slave_path;
  std::string link_path;
  std::deque<Chunk> outbox;
  int64_t line_free_ns = 0;
  std::deque<Incoming> inbox;   // received, not yet across the line
  int64_t line_in_free_ns = 0;  // when the incoming line is free again
  bool blocked = false;         // the program is not reading: wait for POLLOUT
  // Behind a USB adapter: the bytes across the line that it still holds,
  // and when its latency timer runs out for them.
  std::vector<uint8_t> held;
  int64_t held_until_ns = 0;

  void close_all() {
    if (master >= 0) ::close(master);
    if (inner_slave >= 0) ::close(inner_slave);
    master = inner_slave = -1;
    outbox.clear();
    inbox.clear();
    held.clear();
  }
  // Removes the symlink, but only while it still leads to this line.
  void remove_link() {
    if (link_path.empty()) return;
    char target[4096];
    ssize_t n = readlink(link_path.c_str(), target, sizeof target - 1);
    if (n >= 0 && std::string(target, size_t(n)) == slave_path) unlink(link_path.c_str());
  }
};

// When the next byte of `chunk` has crossed the line (byte_ns 0: no pacing).
int64_t arrival_ns(const Port& port, const Chunk& chunk, int64_t byte_ns) {
  if (!byte_ns) return chunk.due_ns;
  return std::max(chunk.due_ns, port.line_free_ns) + byte_ns;
}

bool open_line(Port* port, speed_t speed, std::string* error) {
  port->master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (port->master < 0) {
    *error = errno_text("posix_openpt");
    return false;
  }
  char name[256];
  if (grantpt(port->master) != 0 || unlockpt(port->master) != 0 ||
      ptsname_r(port->master, name, sizeof name) != 0) {
    *error = errno_text("pseudo-terminal setup");
    return false;
  }
  port->slave_path = name;
  fcntl(port->master, F_SETFL, fcntl(port->master, F_GETFL) | O_NONBLOCK);
  port->inner_slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (port->inner_slave < 0) {
    *error = errno_text("open " + port->slave_path);
    return false;
  }
  termios tio;
  if (tcgetattr(port->inner_slave, &tio) != 0) {
    *error = errno_text("tcgetattr " + port->slave_path);
    return false;
  }
  cfmakeraw(&tio);
  cfsetispeed(&tio, speed);
  cfsetospeed(&tio, speed);
  tcsetattr(port->inner_slave, TCSANOW, &tio);
  return true;
}

bool link_line(Port* port, const std::string& link_path, std::string* error) {
  struct stat st;
  if (lstat(link_path.c_str(), &st) == 0) {
    if (!S_ISLNK(st.st_mode)) {
      *error = link_path + " exists and is not a symlink; not replacing it";
      return false;
    }
    unlink(link_path.c_str());  // stale, from an earlier run
  }
  if (symlink(port->slave_path.c_str(), link_path.c_str()) != 0) {
    *error = errno_text("symlink " + link_path);
    return false;
  }
  port->link_path = link_path;
  return true;
}

}  // namespace

bool write_memory_images(const Memories& memories, const std::string& dir, std::string* error) {
  if (!make_dirs(dir, error)) return false;
  return write_file(dir + "/flash.bin", memories.flash, error) &&
         write_file(dir + "/osd.bin", memories.osd, error) &&
         write_file(dir + "/font.bin", memories.font, error) &&
         write_file(dir + "/pic.bin", memories.pic, error);
}

bool read_memory_images(const std::string& dir, Memories* memories, std::string* error) {
  Memories read;
  if (!read_file(dir + "/flash.bin", &read.flash, error) || !read_file(dir + "/osd.bin", &read.osd, error) ||
      !read_file(dir + "/font.bin", &read.font, error) || !read_file(dir + "/pic.bin", &read.pic, error))
    return false;
  read.i2c = memories->i2c;
  *memories = std::move(read);
  return true;
}

struct BoxSimulator::Impl {
  mutable std::mutex mu;  // guards everything below up to the ports
  BoxDecoder decoder;
  std::vector<uint8_t> received;
  std::vector<uint8_t> control_received;
  std::vector<uint8_t> raw_to_send;
  int control_turnaround_ms = 700;
  bool vanished = false;

  // Touched by the serving thread only while it runs.
  Port prog;
  Port ctrl;
  int wake[2] = {-1, -1};
  std::thread thread;
  std::atomic<bool> stopping{false};

  void poke() {
    if (wake[1] >= 0) {
      ssize_t ignored = write(wake[1], "x", 1);
      (void)ignored;
    }
  }
  void serve();
  int64_t next_event_ns(const Faults& faults);
  void take_in(Port* port, int64_t now_ns, int64_t byte_ns);
  void deliver_programming(int64_t now_ns, const Faults& faults);
  void deliver_control(int64_t now_ns, const Faults& faults);
  void flush(Port* port, int64_t now_ns, int64_t byte_ns, int64_t latency_ns = 0);
  long hand_over(Port* port, const uint8_t* bytes, size_t count, int64_t arrived_ns, int64_t latency_ns);
  void release_held(Port* port, int64_t now_ns);
  void vanish_programming_line();
  void close_everything();
};

int64_t BoxSimulator::Impl::next_event_ns(const Faults& faults) {
  int64_t next = monotonic_ns() + kMaxPollNs;
  for (Port* port : {&prog, &ctrl}) {
    if (port->outbox.empty() || port->blocked) continue;
    int64_t byte_ns = !faults.pace ? 0 : port == &prog ? kProgrammingByteNs : kControlByteNs;
    next = std::min(next, arrival_ns(*port, port->outbox.front(), byte_ns));
  }
  for (Port* port : {&prog, &ctrl}) {
    if (!port->inbox.empty()) next = std::min(next, port->inbox.front().due_ns);
    if (!port->held.empty() && !port->blocked) next = std::min(next, port->held_until_ns);
  }
  std::lock_guard<std::mutex> lock(mu);
  int64_t deadline_ms = decoder.next_deadline_ms();
  if (deadline_ms >= 0) next = std::min<int64_t>(next, deadline_ms * 1000000LL);
  return next;
}

// Takes what the program wrote into the inbox. Without pacing (byte_ns 0)
// every byte is across the line at once.
void BoxSimulator::Impl::take_in(Port* port, int64_t now_ns, int64_t byte_ns) {
  uint8_t buf[4096];
  ssize_t n = read(port->master, buf, sizeof buf);
  for (ssize_t i = 0; i < n; ++i) {
    int64_t due = now_ns;
    if (byte_ns) {
      due = std::max(now_ns, port->line_in_free_ns) + byte_ns;
      port->line_in_free_ns = due;
    }
    port->inbox.push_back({due, buf[i]});
  }
}

// Feeds the decoder every byte that has arrived by `now_ns`, at the time it
// arrived; an answer is due from its last byte on, however late this runs.
void BoxSimulator::Impl::deliver_programming(int64_t now_ns, const Faults& faults) {
  std::lock_guard<std::mutex> lock(mu);
  while (!prog.inbox.empty() && prog.inbox.front().due_ns <= now_ns) {
    Incoming in = prog.inbox.front();
    prog.inbox.pop_front();
    received.push_back(in.byte);
    std::vector<uint8_t> out;
    decoder.feed(in.byte, in.due_ns / 1000000, &out);
    if (!out.empty()) prog.outbox.push_back({in.due_ns + faults.answer_delay_ms * 1000000LL, std::move(out)});
  }
}

void BoxSimulator::Impl::deliver_control(int64_t now_ns, const Faults& faults) {
  std::lock_guard<std::mutex> lock(mu);
  int64_t delay_ns = (control_turnaround_ms + faults.answer_delay_ms) * 1000000LL;
  while (!ctrl.inbox.empty() && ctrl.inbox.front().due_ns <= now_ns) {
    Incoming in = ctrl.inbox.front();
    ctrl.inbox.pop_front();
    control_received.push_back(in.byte);
    std::vector<uint8_t> out;
    decoder.feed_control(in.byte, &out);
    if (!out.empty()) ctrl.outbox.push_back({in.due_ns + delay_ns, std::move(out)});
  }
}

// Writes what is due; when pacing, one byte per character time, each handed
// over once its last bit has crossed the line. A late turn of the serving
// thread sends what the line would have carried meanwhile, as a receiver's
// buffer would hold it, so the rate is kept on average. Behind an adapter
// (latency_ns > 0) the bytes go through its buffer instead of straight out.
void BoxSimulator::Impl::flush(Port* port, int64_t now_ns, int64_t byte_ns, int64_t latency_ns) {
  release_held(port, now_ns);
  while (port->master >= 0 && !port->outbox.empty() && !port->blocked) {
    Chunk& chunk = port->outbox.front();
    int64_t ready = arrival_ns(*port, chunk, byte_ns);
    if (ready > now_ns) return;
    size_t count = byte_ns ? 1 : chunk.bytes.size() - chunk.sent;
    const long taken = hand_over(port, chunk.bytes.data() + chunk.sent, count, ready, latency_ns);
    if (taken < 0) {
      port->outbox.clear();  // the line is gone; nobody will read it
      return;
    }
    if (taken == 0) {
      port->blocked = true;
      return;
    }
    chunk.sent += size_t(taken);
    if (byte_ns) port->line_free_ns = ready;
    if (chunk.sent == chunk.bytes.size()) port->outbox.pop_front();
    release_held(port, now_ns);
  }
}

// Bytes that have crossed the line at `arrived_ns`: to the program at once,
// or into the adapter's buffer, whose timer starts with its first byte.
// Returns the count taken: 0 while the program's side is full, -1 when the
// line is gone.
long BoxSimulator::Impl::hand_over(Port* port, const uint8_t* bytes, size_t count, int64_t arrived_ns,
                                   int64_t latency_ns) {
  if (latency_ns > 0) {
    if (port->held.empty()) port->held_until_ns = arrived_ns + latency_ns;
    port->held.insert(port->held.end(), bytes, bytes + count);
    return long(count);
  }
  ssize_t written = write(port->master, bytes, count);
  if (written < 0) return errno == EAGAIN || errno == EWOULDBLOCK ? 0 : -1;
  return long(written);
}

// The adapter sends a full USB packet as soon as it has one, and whatever it
// holds once its timer has run out.
void BoxSimulator::Impl::release_held(Port* port, int64_t now_ns) {
  while (port->master >= 0 && !port->held.empty() && !port->blocked) {
    const bool full = port->held.size() >= kAdapterPacketBytes;
    if (!full && port->held_until_ns > now_ns) return;
    const size_t count = std::min(port->held.size(), kAdapterPacketBytes);
    ssize_t written = write(port->master, port->held.data(), count);
    if (written < 0) {
      if (errno == EAGAIN || errno == EWOULDBLOCK)
        port->blocked = true;
      else
        port->held.clear();
      return;
    }
    port->held.erase(port->held.begin(), port->held.begin() + written);
  }
}

void BoxSimulator::Impl::vanish_programming_line() {
  prog.close_all();
  prog.remove_link();
  std::lock_guard<std::mutex> lock(mu);
  vanished = true;
}

void BoxSimulator::Impl::serve() {
  // The line's timing is the model: the kernel's default slack of 50 us on
  // every timed wake-up would add up over the thousands of exchanges of a
  // burn and make the box slower than its line.
  prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0);
  while (!stopping.load()) {
    Faults faults;
    {
      std::lock_guard<std::mutex> lock(mu);
      faults = decoder.faults();
    }
    int64_t wait_ns = std::max<int64_t>(0, next_event_ns(faults) - monotonic_ns());
    timespec timeout{time_t(wait_ns / 1000000000LL), long(wait_ns % 1000000000LL)};
    pollfd fds[3] = {{wake[0], POLLIN, 0},
                     {prog.master, short(POLLIN | (prog.blocked ? POLLOUT : 0)), 0},
                     {ctrl.master, short(POLLIN | (ctrl.blocked ? POLLOUT : 0)), 0}};
    if (ppoll(fds, 3, &timeout, nullptr) < 0 && errno != EINTR) break;
    if (fds[0].revents & POLLIN) {
      char drain[64];
      while (read(wake[0], drain, sizeof drain) > 0) {
      }
    }
    if (fds[1].revents & POLLOUT) prog.blocked = false;
    if (fds[2].revents & POLLOUT) ctrl.blocked = false;
    int64_t now = monotonic_ns();
    if (fds[1].revents & POLLIN) take_in(&prog, now, faults.pace ? kProgrammingByteNs : 0);
    if (fds[2].revents & POLLIN) take_in(&ctrl, now, faults.pace ? kControlByteNs : 0);
    deliver_programming(now, faults);
    deliver_control(now, faults);

    bool vanish_now = false;
    {
      std::lock_guard<std::mutex> lock(mu);
      std::vector<uint8_t> out;
      decoder.idle(now / 1000000, &out);
      if (!out.empty()) prog.outbox.push_back({now + faults.answer_delay_ms * 1000000LL, out});
      if (!raw_to_send.empty() && prog.master >= 0) prog.outbox.push_back({now, raw_to_send});
      raw_to_send.clear();
      vanish_now = decoder.vanished() && !vanished;
    }
    flush(&prog, now, faults.pace ? kProgrammingByteNs : 0, faults.adapter_latency_ms * 1000000LL);
    flush(&ctrl, now, faults.pace ? kControlByteNs : 0);
    // The line goes once the last answer is out (or nobody reads it anyway).
    if (vanish_now && prog.master >= 0 && ((prog.outbox.empty() && prog.held.empty()) || prog.blocked))
      vanish_programming_line();
  }
}

void BoxSimulator::Impl::close_everything() {
  for (Port* port : {&prog, &ctrl}) {
    port->close_all();
    port->remove_link();
  }
  for (int& fd : wake) {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
}

BoxSimulator::BoxSimulator() : impl_(new Impl) {}

BoxSimulator::~BoxSimulator() { stop(); }

bool BoxSimulator::start(const std::string& port_dir, std::string* error, const std::string& programming_name,
                         const std::string& control_name) {
  std::string message;
  if (!error) error = &message;
  if (impl_->thread.joinable()) {
    *error = "the simulator is already running";
    return false;
  }
  bool ok = make_dirs(port_dir, error) && open_line(&impl_->prog, B57600, error) &&
            open_line(&impl_->ctrl, B2400, error) &&
            link_line(&impl_->prog, port_dir + "/" + programming_name, error) &&
            link_line(&impl_->ctrl, port_dir + "/" + control_name, error);
  if (ok && pipe2(impl_->wake, O_NONBLOCK | O_CLOEXEC) != 0) {
    *error = errno_text("pipe");
    ok = false;
  }
  if (!ok) {
    impl_->close_everything();
    return false;
  }
  impl_->stopping = false;
  impl_->thread = std::thread([this] { impl_->serve(); });
  return true;
}

void BoxSimulator::stop() {
  if (!impl_->thread.joinable()) return;
  impl_->stopping = true;
  impl_->poke();
  impl_->thread.join();
  impl_->close_everything();
}

std::string BoxSimulator::programming_path() const { return impl_->prog.link_path; }
std::string BoxSimulator::control_path() const { return impl_->ctrl.link_path; }

void BoxSimulator::set_faults(const Faults& faults) {
  std::lock_guard<std::mutex> lock(impl_->mu);
  impl_->decoder.set_faults(faults);
}

void BoxSimulator::set_control_reply(const std::vector<uint8_t>& payload) {
  std::lock_guard<std::mutex> lock(impl_->mu);
  impl_->decoder.set_control_reply(payload);
}

void BoxSimulator::set_control_turnaround_ms(int ms) {
  std::lock_guard<std::mutex> lock(impl_->mu);
  impl_->control_turnaround_ms = std::max(0, ms);
}

void BoxSimulator::set_control_wake_up_pairs(int pairs) {
  std::lock_guard<std::mutex> lock(impl_->mu);
  impl_->decoder.set_control_wake_up_pairs(pairs);
}

void BoxSimulator::send_raw(const std::vector<uint8_t>& bytes) {
  {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->raw_to_send.insert(impl_->raw_to_send.end(), bytes.begin(), bytes.end());
  }
  impl_->poke();
}

Memories BoxSimulator::memories() const {
  std::lock_guard<std::mutex> lock(impl_->mu);
  return impl_->decoder.memories();
}

void BoxSimulator::set_memories(const Memories& memories) {
  std::lock_guard<std::mutex> lock(impl_->mu);
  impl_->decoder.memories() = memories;
}

Stats BoxSimulator::stats() const {
  std::lock_guard<std::mutex> lock(impl_->mu);
  return impl_->decoder.stats();
}

std::vector<uint8_t> BoxSimulator::received() const {
  std::lock_guard<std::mutex> lock(impl_->mu);
  return impl_->received;
}

void BoxSimulator::clear_received() {
  std::lock_guard<std::mutex> lock(impl_->mu);
  impl_->received.clear();
}

std::vector<uint8_t> BoxSimulator::control_received() const {
  std::lock_guard<std::mutex> lock(impl_->mu);
  return impl_->control_received;
}

bool BoxSimulator::vanished() const {
  std::lock_guard<std::mutex> lock(impl_->mu);
  return impl_->vanished;
}

bool BoxSimulator::write_images(const std::string& dir) const { return write_memory_images(memories(), dir); }

}  // namespace boxsim
