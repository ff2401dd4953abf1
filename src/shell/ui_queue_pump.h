// The GUI side of the UI queue (ui_queue.h): a FOX signal that wakes the GUI
// thread when a worker posts, and drains the queue there. The window makes
// one for its whole life.
#pragma once

#include <fox-1.6/fx.h>

#include <memory>
#include <mutex>

namespace tv {

// Wakes the GUI thread when a worker posts to the UI queue and drains the
// queue there. The waker may run on any thread at any time, so it reaches
// the signal through a shared, locked link that the pump cuts when it goes.
class UiQueuePump : public FX::FXObject {
  FXDECLARE(UiQueuePump)

 public:
  enum { ID_DRAIN = 1 };

  explicit UiQueuePump(FX::FXApp* app);
  ~UiQueuePump();
  long onDrain(FX::FXObject*, FX::FXSelector, void*);

 private:
  UiQueuePump() {}

  struct Link {
    std::mutex mutex;
    FX::FXGUISignal* signal = nullptr;
  };
  std::shared_ptr<Link> link_;
};

}  // namespace tv
