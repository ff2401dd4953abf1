// Who talks on the programming port. While a burn worker owns the port, the
// register console must not send anything: two threads writing packets on one
// line would garble both exchanges.
#pragma once

namespace tv {

void set_burn_owns_programming_port(bool owns);
bool burn_owns_programming_port();

}  // namespace tv
