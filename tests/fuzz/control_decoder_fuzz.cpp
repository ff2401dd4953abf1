// Feeds arbitrary bytes to the control-line receive decoder. The first byte
// sets the payload capacity; the buffer is exactly that big, so a store past
// it is caught by AddressSanitizer even where the count looks right.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "link/control_frame.h"

namespace {

void require(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const size_t capacity = data[0] % 40;
  std::unique_ptr<uint8_t[]> out(capacity ? new uint8_t[capacity] : nullptr);
  tv::ControlDecoder decoder(out.get(), capacity);
  for (size_t i = 1; i < size; ++i) {
    const int before = decoder.count();
    const bool stored = decoder.feed(data[i]);
    require(decoder.count() == before + (stored ? 1 : 0));
    require(decoder.count() >= 0 && static_cast<size_t>(decoder.count()) <= capacity);
    require(decoder.state() >= 0 && decoder.state() <= 3);
    if (stored) {
      require(decoder.pair_completed());
      require(out[decoder.count() - 1] == decoder.pair_value());
      require(static_cast<uint8_t>(decoder.pair_value() ^ 0xFF) == data[i]);
    }
    if (decoder.pair_completed()) require(!decoder.has_first());
  }
  return 0;
}
