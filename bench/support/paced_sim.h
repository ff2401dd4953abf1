// The box simulator as a process of its own, for the benchmarks: started with
// its lines paced at the line rate, so that what a benchmark measures is the
// program against a box that is no faster than the real one.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace benchsupport {

// The build folder this benchmark runs from (the folder above bench/).
std::string build_dir();

struct SimProcess {
  pid_t pid = -1;
  int output = -1;  // its standard output
};

// Starts `program` with its ports in DIR/ports and its memory images written
// to DIR/images when it ends; true once it has said it is ready (10 s at most).
// `faults` are more options of the simulator ("--drop-every", "1000").
bool start_sim(const std::string& program, const std::string& dir, SimProcess* sim,
               const std::vector<std::string>& faults = {});

// Asks the simulator to end (it writes its memory images first) and waits for
// it, at most `timeout_ms`; then it is killed.
void stop_sim(SimProcess* sim, int timeout_ms);

// True when the file holds exactly `expected`.
bool file_equals(const std::string& path, const std::vector<uint8_t>& expected);

}  // namespace benchsupport
