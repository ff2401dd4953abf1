// Who talks on the programming port. While a burn worker owns the port, the
// register console must not send anything: two threads writing packets on one
// line would garble both exchanges.
#pragma once

namespace tv {

void set_burn_owns_programming_port(bool owns);
bool burn_owns_programming_port();

// A control-line exchange drives the progress bar for more than a minute; a
// burn must not start meanwhile, or both would move the same bar.
void set_control_exchange_running(bool running);
bool control_exchange_running();

}  // namespace tv
