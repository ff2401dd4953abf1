#include "shell/ui_queue.h"

namespace tv {

void UiQueue::set_waker(Waker waker) {
  std::lock_guard<std::mutex> lock(mutex_);
  waker_ = std::move(waker);
}

void UiQueue::post(Task task) {
  Waker waker;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    tasks_.push_back(std::move(task));
    waker = waker_;
  }
  if (waker) waker();
}

int UiQueue::drain() {
  std::deque<Task> batch;
  int ran = 0;
  // Tasks may post further tasks; keep going until the queue stays empty.
  for (;;) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (tasks_.empty()) return ran;
      batch.swap(tasks_);
    }
    for (auto& task : batch) {
      task();
      ++ran;
    }
    batch.clear();
  }
}

bool UiQueue::empty() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return tasks_.empty();
}

UiQueue& ui_queue() {
  static UiQueue queue;
  return queue;
}

}  // namespace tv
