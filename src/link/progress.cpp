#include "link/progress.h"

#include <mutex>

namespace tv {
namespace {

std::mutex& handler_mutex() {
  static std::mutex mutex;
  return mutex;
}

ProgressHandler& handler() {
  static ProgressHandler instance;
  return instance;
}

}  // namespace

void set_progress_handler(ProgressHandler new_handler) {
  std::lock_guard<std::mutex> lock(handler_mutex());
  handler() = std::move(new_handler);
}

void set_progress(int value) {
  if (value < 0) value = 0;
  if (value > 100) value = 100;
  ProgressHandler copy;
  {
    std::lock_guard<std::mutex> lock(handler_mutex());
    copy = handler();
  }
  if (copy) copy(value);
}

}  // namespace tv
