// The ports of the boxes the window's burn station keeps between runs, as its
// settings file holds them: the first box's port under "comm" (as it always
// was, so an older file and an older program still agree on it) and every
// box's under "ports". tvbox-burn without -p burns the same boxes.
#pragma once

#include <string>
#include <vector>

namespace tv {

// `comm` first, then the others of `ports` ("com3,com4,com5") in their order,
// each once; empty names are skipped. Empty when both are. A `comm` other
// than the list's first replaces it: the first port was changed by a program
// or a hand that knows only "comm".
std::vector<std::string> saved_box_ports(const std::string& comm, const std::string& ports);

// The value of "ports" for these boxes.
std::string box_ports_setting(const std::vector<std::string>& ports);

}  // namespace tv
