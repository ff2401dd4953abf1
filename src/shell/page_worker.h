// A page's one worker thread: the burn and the control-line exchange each run
// on one, and both are guarded the same way.
//
// The thread is never detached. It ends either by itself, handing its last
// report to the GUI thread (which then calls finished()), or because the page
// stops it: stop() cancels, frees the worker from any wait on its port, joins
// it and runs what it posted to the UI queue, so that its last reports land
// while the page's widgets still exist and nothing of it is left behind.
#pragma once

#include <atomic>
#include <thread>
#include <utility>

namespace tv {

class SerialPort;

class PageWorker {
 public:
  // The port the worker waits on; stop() cuts those waits short.
  explicit PageWorker(SerialPort& port) : port_(port) {}
  ~PageWorker() { stop(); }
  PageWorker(const PageWorker&) = delete;
  PageWorker& operator=(const PageWorker&) = delete;

  // GUI thread. The caller has checked that no worker runs.
  template <typename Work>
  void start(Work work) {
    cancel_ = false;
    thread_ = std::thread(std::move(work));
  }

  // True from start() until finished() or stop().
  bool running() const { return thread_.joinable(); }

  // The flag the work reads at its packet boundaries.
  const std::atomic<bool>& cancelFlag() const { return cancel_; }
  void requestCancel() { cancel_ = true; }

  // GUI thread, from the worker's last report: the worker has nothing left
  // to do but return, so this waits only for that.
  void finished();

  // GUI thread: cancels, cuts the port's waits short (a silent box would
  // otherwise hold the worker in its time-outs), joins, gives the port its
  // waits back and drains the UI queue.
  void stop();

 private:
  SerialPort& port_;
  std::thread thread_;
  std::atomic<bool> cancel_{false};
};

}  // namespace tv
