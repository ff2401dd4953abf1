#include "base/clock.h"

#include <atomic>

namespace tv {
namespace {
std::atomic<int> scale_percent{100};
}

void set_pause_scale_percent(int percent) { scale_percent = percent < 0 ? 0 : percent; }
int pause_scale_percent() { return scale_percent; }
void protocol_pause_ms(int64_t ms) { sleep_ms(ms * scale_percent / 100); }

}  // namespace tv
