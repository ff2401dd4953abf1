// Small readers of the files the kernel keeps under /dev and /sys, shared by
// the port list and the adapter details.
#pragma once

#include <string>
#include <vector>

namespace tv {

// The names in a folder, without "." and ".."; none when it cannot be read.
std::vector<std::string> directory_entries(const std::string& dir);
// The device behind a name exists (a link whose adapter was pulled does not).
bool device_present(const std::string& path);
// The path with every link resolved; empty when it leads nowhere.
std::string real_path(const std::string& path);
std::string base_name(const std::string& path);
// The folder `path` is in; empty at the top.
std::string parent_of(const std::string& path);
// The first line of a small sysfs attribute, control bytes dropped, trimmed;
// empty when there is no such file.
std::string read_attribute(const std::string& path);

}  // namespace tv
