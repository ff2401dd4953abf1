#include "shell/ui_queue_pump.h"

#include "shell/ui_queue.h"

using namespace FX;

namespace tv {

// clang-format off
FXDEFMAP(UiQueuePump) UiQueuePumpMap[] = {
    FXMAPFUNC(SEL_IO_READ, UiQueuePump::ID_DRAIN, UiQueuePump::onDrain),
};
// clang-format on
FXIMPLEMENT(UiQueuePump, FXObject, UiQueuePumpMap, ARRAYNUMBER(UiQueuePumpMap))

UiQueuePump::UiQueuePump(FXApp* app) : link_(std::make_shared<Link>()) {
  link_->signal = new FXGUISignal(app, this, ID_DRAIN);
  std::weak_ptr<Link> weak = link_;
  ui_queue().set_waker([weak] {
    if (auto link = weak.lock()) {
      std::lock_guard<std::mutex> lock(link->mutex);
      if (link->signal) link->signal->signal();
    }
  });
}

UiQueuePump::~UiQueuePump() {
  if (!link_) return;  // made by the metaclass, never connected
  ui_queue().set_waker({});
  std::lock_guard<std::mutex> lock(link_->mutex);
  delete link_->signal;
  link_->signal = nullptr;
}

long UiQueuePump::onDrain(FXObject*, FXSelector, void*) {
  ui_queue().drain();
  return 1;
}

}  // namespace tv
