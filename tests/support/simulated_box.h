// The box simulator in a scratch port folder, as most tests against "a box"
// need it: TVBOX_PORT_DIR points at the folder while the object lives, so the
// program finds the box as "com3" (programming) and "com5" (control).
// On destruction the box is stopped before the folder goes; the test's own
// ports should be closed first, so the box never sees a half-closed line.
#pragma once

#include <string>

#include "boxsim/box_sim.h"
#include "support/temp_dir.h"

namespace tv {
class SerialPort;
}

namespace testsupport {

class SimulatedBox {
 public:
  explicit SimulatedBox(const std::string& tag = "box");
  ~SimulatedBox();
  SimulatedBox(const SimulatedBox&) = delete;
  SimulatedBox& operator=(const SimulatedBox&) = delete;

  // Brings the box up on its lines; faults and reply settings may be given to
  // sim() before. False with a message in `error` when it cannot.
  bool start(std::string* error = nullptr, const std::string& programming_name = "com3",
             const std::string& control_name = "com5");
  // tv::open_com(port, "com3"): 0 when `port` is open on the box's
  // programming line.
  int open_programming_port(tv::SerialPort& port);

  boxsim::BoxSimulator& sim() { return sim_; }
  const TempDir& dir() const { return dir_; }

 private:
  TempDir dir_;
  ScopedEnv port_dir_;
  boxsim::BoxSimulator sim_;
};

}  // namespace testsupport
