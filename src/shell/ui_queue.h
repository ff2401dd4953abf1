// The one ordered queue from worker threads to the GUI thread.
//
// Workers never touch widgets: they post closures here, in the order the user
// must see their effects. The GUI thread drains the whole queue on each
// wake-up (FOX's FXGUISignal merges wake-ups that come close together, so one
// wake-up may stand for many posts).
#pragma once

#include <deque>
#include <functional>
#include <mutex>

namespace tv {

class UiQueue {
 public:
  using Task = std::function<void()>;
  using Waker = std::function<void()>;

  // Called from any thread after each post; the GUI sets it to fire its signal.
  void set_waker(Waker waker);
  void post(Task task);
  // Runs every task posted so far, in order, on the calling (GUI) thread.
  // Returns how many ran.
  int drain();
  bool empty() const;

 private:
  mutable std::mutex mutex_;
  std::deque<Task> tasks_;
  Waker waker_;
};

// The program's queue.
UiQueue& ui_queue();

}  // namespace tv
