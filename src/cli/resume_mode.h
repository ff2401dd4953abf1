// tvbox-burn --resume: each port continues the last burn its saved log tells
// of, when that was a burn of this very file that failed or was stopped. A
// port without such a log is told "nothing to resume", and nothing is sent
// to its box.
#pragma once

#include <string>
#include <vector>

#include "burn/burn_log_file.h"
#include "burn/burn_sequence.h"
#include "burn/resume_plan.h"
#include "cli/burn_options.h"

namespace tv {

struct PortResume {
  std::string port;
  bool found = false;
  ResumePlan plan;
  std::string why;  // when not found
};

// The usage rules of --resume: the stages come from the log, so --sections
// and --sysfont do not go with it, nor do the read modes.
bool resume_usage(const BurnOptions& options, std::string* error);

// One entry per port of the options, in their order.
std::vector<PortResume> find_port_resumes(const BurnOptions& options, const std::string& sha256);

// "tvbox-burn: com3: nothing to resume (...)" for each port that has none;
// returns the same lines joined by "; " for the JSON's error (empty: every
// port has a burn to resume).
std::string report_nothing_to_resume(const std::vector<PortResume>& resumes);

}  // namespace tv
