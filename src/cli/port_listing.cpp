#include "cli/port_listing.h"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "cli/burn_display.h"

namespace tv {
namespace {

using Json = nlohmann::ordered_json;

constexpr size_t kLineWidth = 80;
constexpr size_t kDriverWidth = 10;
constexpr size_t kLatencyWidth = 9;
constexpr size_t kGap = 2;
// Below this an adapter's description is not cut, however long the paths.
constexpr size_t kAdapterWidthMin = 40;

std::string padded(const std::string& text, size_t width) {
  return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}

std::string latency_text(int ms) { return ms < 0 ? "-" : std::to_string(ms) + " ms"; }

std::string or_dash(const std::string& text) { return text.empty() ? "-" : text; }

Json text_or_null(const std::string& text) { return text.empty() ? Json() : Json(text); }

// The adapter as the line shows it: the device column names its node already.
std::string adapter_text(const SerialPortInfo& port) {
  const std::string adapter = adapter_description(port.adapter);
  return or_dash(adapter.empty() ? port.description : adapter);
}

}  // namespace

std::string port_listing_text(const std::vector<SerialPortInfo>& ports) {
  size_t device = 0, adapter = 0;
  for (const SerialPortInfo& port : ports) {
    device = std::max(device, port.device.size() + kGap);
    adapter = std::max(adapter, adapter_text(port).size() + kGap);
  }
  const size_t room = kLineWidth - std::min(kLineWidth, device + kDriverWidth + kLatencyWidth);
  adapter = std::min(adapter, std::max(kAdapterWidthMin, room));
  std::string text;
  for (const SerialPortInfo& port : ports) {
    std::string line = padded(port.device, device) + padded(or_dash(port.adapter.driver), kDriverWidth) +
                       padded(latency_text(port.adapter.latency_timer_ms), kLatencyWidth) +
                       padded(shortened_in_the_middle(adapter_text(port), adapter - kGap), adapter) +
                       port.adapter.by_id;
    while (!line.empty() && line.back() == ' ') line.pop_back();
    text += line + "\n";
  }
  return text;
}

std::string port_listing_json(const std::vector<SerialPortInfo>& ports) {
  Json list = Json::array();
  for (const SerialPortInfo& port : ports) {
    const AdapterInfo& adapter = port.adapter;
    list.push_back(
        {{"path", port.device},
         {"by_id", text_or_null(adapter.by_id)},
         {"driver", text_or_null(adapter.driver)},
         {"manufacturer", text_or_null(adapter.manufacturer)},
         {"product", text_or_null(adapter.product)},
         {"serial", text_or_null(adapter.serial)},
         {"latency_timer_ms", adapter.latency_timer_ms < 0 ? Json() : Json(adapter.latency_timer_ms)},
         {"description", text_or_null(port.description)}});
  }
  Json object = json_head("list-ports");
  object["ports"] = list;
  // Strings from a device need not be UTF-8: json_text makes such a byte U+FFFD.
  return json_text(object);
}

std::vector<std::string> port_listing_warnings(const std::vector<SerialPortInfo>& ports) {
  std::vector<std::string> warnings;
  for (const SerialPortInfo& port : ports)
    if (port.adapter.latency_timer_ms > kLatencyTimerWarnMs)
      warnings.push_back(latency_warning(port.device, port.adapter.latency_timer_ms, port.adapter.driver));
  return warnings;
}

}  // namespace tv
