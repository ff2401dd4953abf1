#include "shell/page_worker.h"

#include "link/serial_port.h"
#include "shell/ui_queue.h"

namespace tv {

void PageWorker::finished() {
  if (thread_.joinable()) thread_.join();
}

void PageWorker::stop() {
  cancel_ = true;
  if (!thread_.joinable()) return;
  port_.abandon_waits(true);
  thread_.join();
  port_.abandon_waits(false);
  ui_queue().drain();
}

}  // namespace tv
