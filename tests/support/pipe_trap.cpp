#include "support/pipe_trap.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace testsupport {

bool make_pipe(const std::string& path) { return ::mkfifo(path.c_str(), 0600) == 0; }

// The work runs on the calling thread (GUI work must stay on the GUI thread);
// a watchdog beside it frees the pipes once the deadline has passed.
bool finishes_despite_pipes(const std::function<void()>& work, const std::vector<std::string>& pipes,
                            int deadline_ms) {
  std::mutex mutex;
  std::condition_variable finished;
  bool done = false;
  bool freed = false;
  std::thread watchdog([&] {
    std::unique_lock<std::mutex> lock(mutex);
    if (finished.wait_for(lock, std::chrono::milliseconds(deadline_ms), [&] { return done; })) return;
    freed = true;
    // The work may meet several pipes in turn: keep freeing until it ends.
    while (!finished.wait_for(lock, std::chrono::milliseconds(100), [&] { return done; })) {
      for (const std::string& pipe : pipes) {
        const int fd = ::open(pipe.c_str(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0) ::close(fd);
      }
    }
  });
  work();
  {
    std::lock_guard<std::mutex> lock(mutex);
    done = true;
  }
  finished.notify_all();
  watchdog.join();
  return !freed;
}

}  // namespace testsupport
