#include "base/trace.h"

#include <errno.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>

namespace tv {
namespace {

// About two thousand burn lines: enough to ride out a slow terminal, small
// enough that a pipe nobody reads costs nothing worth noticing.
constexpr size_t kQueueLimitBytes = 256 * 1024;
constexpr int kWritablePollMs = 1000;

bool initially_enabled() {
  const char* value = std::getenv("TVBOX_TRACE");
  return !(value && std::strcmp(value, "0") == 0);
}

std::atomic<bool>& enabled_flag() {
  static std::atomic<bool> flag{initially_enabled()};
  return flag;
}

std::atomic<int> g_destination_fd{STDOUT_FILENO};

struct QueuedLine {
  int fd;
  std::string text;
};

// The queue and its writer. Made once and never destroyed: the writer thread
// may still sit in a write to a pipe nobody reads when the program exits, and
// it must not find its state gone.
struct TraceQueue {
  std::mutex mutex;
  std::condition_variable has_lines;
  std::condition_variable emptied;
  std::deque<QueuedLine> lines;
  size_t queued_bytes = 0;
  bool writing = false;  // the writer holds a line taken off the queue
  bool writer_started = false;
  uint64_t dropped = 0;     // all lines lost, for trace_dropped_lines()
  uint64_t reported = 0;    // of those, how many the trace has owned up to
  std::mutex direct_mutex;  // one direct write at a time, lines unmixed
};

TraceQueue& queue() {
  static TraceQueue* instance = new TraceQueue;
  return *instance;
}

// Writes everything or gives up on a failed line (a closed pipe, a vanished
// terminal). Only the writer thread and direct writes to files get here.
bool write_all(int fd, const char* data, size_t size) {
  while (size > 0) {
    ssize_t written = ::write(fd, data, size);
    if (written > 0) {
      data += written;
      size -= size_t(written);
    } else if (written < 0 && errno == EINTR) {
      continue;
    } else if (written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      // Someone made the description non-blocking; wait for room here, on
      // the writer's own time.
      pollfd p{fd, POLLOUT, 0};
      if (poll(&p, 1, kWritablePollMs) < 0 && errno != EINTR) return false;
    } else {
      return false;
    }
  }
  return true;
}

void count_dropped() {
  TraceQueue& q = queue();
  std::lock_guard<std::mutex> lock(q.mutex);
  ++q.dropped;
}

void writer_loop() {
  // Signals belong to the program's own threads. A write to a closed pipe
  // raises SIGPIPE in the writing thread: blocked here, it only makes the
  // write fail with EPIPE, also in a program that did not ignore it.
  sigset_t all;
  sigfillset(&all);
  pthread_sigmask(SIG_BLOCK, &all, nullptr);
  TraceQueue& q = queue();
  std::unique_lock<std::mutex> lock(q.mutex);
  for (;;) {
    q.has_lines.wait(lock, [&q] { return !q.lines.empty(); });
    QueuedLine line = std::move(q.lines.front());
    q.lines.pop_front();
    q.queued_bytes -= line.text.size();
    q.writing = true;
    uint64_t missed = q.dropped - q.reported;
    q.reported = q.dropped;
    lock.unlock();
    bool ok = true;
    if (missed > 0) {
      char note[96];
      int length =
          std::snprintf(note, sizeof note, "### trace: %llu lines dropped, the reader was too slow\n",
                        static_cast<unsigned long long>(missed));
      ok = write_all(line.fd, note, size_t(length));
    }
    ok = ok && write_all(line.fd, line.text.data(), line.text.size());
    lock.lock();
    if (!ok) ++q.dropped;
    q.writing = false;
    if (q.lines.empty()) q.emptied.notify_all();
  }
}

void enqueue(int fd, std::string text) {
  TraceQueue& q = queue();
  std::lock_guard<std::mutex> lock(q.mutex);
  if (q.queued_bytes + text.size() > kQueueLimitBytes) {
    ++q.dropped;
    return;
  }
  if (!q.writer_started) {
    try {
      std::thread(writer_loop).detach();
    } catch (const std::system_error&) {
      ++q.dropped;  // no thread to be had: the trace is lost, the program is not
      return;
    }
    q.writer_started = true;
  }
  q.queued_bytes += text.size();
  q.lines.push_back({fd, std::move(text)});
  q.has_lines.notify_one();
}

// A regular file, or a device that is not a terminal (/dev/null), takes a
// write at once; a pipe, a socket or a terminal may make it wait.
bool never_waits(int fd) {
  struct stat info;
  if (fstat(fd, &info) != 0) return false;
  return S_ISREG(info.st_mode) || (S_ISCHR(info.st_mode) && !isatty(fd));
}

std::string format_line(const char* format, va_list args) {
  char small[512];
  va_list copy;
  va_copy(copy, args);
  int length = std::vsnprintf(small, sizeof small, format, copy);
  va_end(copy);
  if (length < 0) return std::string();
  if (size_t(length) < sizeof small) return std::string(small, size_t(length));
  std::string text(size_t(length) + 1, '\0');
  std::vsnprintf(&text[0], text.size(), format, args);
  text.resize(size_t(length));
  return text;
}

void append_escaped(std::string* out, unsigned char byte) {
  char code[5];
  std::snprintf(code, sizeof code, "\\x%02X", byte);
  out->append(code);
}

// The length of the well-formed UTF-8 sequence at `at` that is not a C1
// control, or 0.
size_t printable_utf8_length(const std::string& text, size_t at) {
  const auto byte = [&text](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  size_t length = lead >= 0xF0 && lead <= 0xF4 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 && lead <= 0xDF ? 2 : 0;
  if (length == 0 || at + length > text.size()) return 0;
  for (size_t i = 1; i < length; ++i)
    if ((byte(at + i) & 0xC0) != 0x80) return 0;
  const unsigned char second = byte(at + 1);
  if (lead == 0xC2 && second < 0xA0) return 0;                                       // U+0080..U+009F
  if ((lead == 0xE0 && second < 0xA0) || (lead == 0xF0 && second < 0x90)) return 0;  // overlong
  if ((lead == 0xED && second >= 0xA0) || (lead == 0xF4 && second >= 0x90))
    return 0;  // surrogates, past U+10FFFF
  return length;
}

}  // namespace

std::string trace_safe_text(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t at = 0; at < text.size();) {
    const unsigned char byte = static_cast<unsigned char>(text[at]);
    if (byte >= 0x80) {
      const size_t length = printable_utf8_length(text, at);
      if (length > 0) {
        out.append(text, at, length);
        at += length;
        continue;
      }
      append_escaped(&out, byte);
    } else if ((byte < 0x20 && byte != '\n' && byte != '\t') || byte == 0x7F) {
      append_escaped(&out, byte);
    } else {
      out.push_back(char(byte));
    }
    ++at;
  }
  return out;
}

void set_trace_enabled(bool enabled) { enabled_flag() = enabled; }
bool trace_enabled() { return enabled_flag(); }

void set_trace_destination(TraceDestination destination) {
  g_destination_fd = destination == TraceDestination::StandardError ? STDERR_FILENO : STDOUT_FILENO;
}

uint64_t trace_dropped_lines() {
  TraceQueue& q = queue();
  std::lock_guard<std::mutex> lock(q.mutex);
  return q.dropped;
}

bool trace_flush(int timeout_ms) {
  TraceQueue& q = queue();
  std::unique_lock<std::mutex> lock(q.mutex);
  return q.emptied.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                            [&q] { return q.lines.empty() && !q.writing; });
}

void ignore_broken_pipe_signal() { signal(SIGPIPE, SIG_IGN); }

void trace(const char* format, ...) {
  if (!trace_enabled()) return;
  va_list args;
  va_start(args, format);
  std::string text = trace_safe_text(format_line(format, args));
  va_end(args);
  if (text.empty()) return;
  const int fd = g_destination_fd;
  if (!never_waits(fd)) {
    enqueue(fd, std::move(text));
    return;
  }
  std::lock_guard<std::mutex> lock(queue().direct_mutex);
  if (!write_all(fd, text.data(), text.size())) count_dropped();
}

}  // namespace tv
