#include "support/simulated_box.h"

#include "link/ports.h"

namespace testsupport {

SimulatedBox::SimulatedBox(const std::string& tag)
    : dir_(tag), port_dir_("TVBOX_PORT_DIR", dir_.path().c_str()) {}

SimulatedBox::~SimulatedBox() { sim_.stop(); }

bool SimulatedBox::start(std::string* error, const std::string& programming_name,
                         const std::string& control_name) {
  return sim_.start(dir_.path(), error, programming_name, control_name);
}

int SimulatedBox::open_programming_port(tv::SerialPort& port) { return tv::open_com(port, "com3"); }

}  // namespace testsupport
