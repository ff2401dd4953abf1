#include "cli/resume_mode.h"

#include "cli/bounded_output.h"

namespace tv {

bool resume_usage(const BurnOptions& options, std::string* error) {
  if (!options.resume) return true;
  if (options.sections || options.sysfont)
    *error = "--resume burns what the failed burn's log owes: --sections and --sysfont do not go with it";
  else if (!options.backup.empty() || options.compare || options.info)
    *error = "--resume goes alone, without --backup, --compare or --info";
  else
    return true;
  return false;
}

std::vector<PortResume> find_port_resumes(const BurnOptions& options, const std::string& sha256) {
  const std::string dir = log_folder(options);
  std::vector<PortResume> resumes;
  for (const std::string& port : options.ports) {
    PortResume resume;
    resume.port = port;
    resume.found = find_resume_plan(dir, port, sha256, &resume.plan, &resume.why);
    resumes.push_back(resume);
  }
  return resumes;
}

std::string report_nothing_to_resume(const std::vector<PortResume>& resumes) {
  std::string all;
  for (const PortResume& resume : resumes) {
    if (resume.found) continue;
    const std::string line = resume.port + ": nothing to resume (" + resume.why + ")";
    say(line);
    all += (all.empty() ? "" : "; ") + line;
  }
  return all;
}

}  // namespace tv
