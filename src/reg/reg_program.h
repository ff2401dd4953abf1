// tvbox-reg, the register console from a script: opens the programming port
// exclusively, runs each command (its packets built by the console's own
// functions), prints what the box answered, and exits 0, 1, 2 or 128+N.
#pragma once

namespace tv {

int tvbox_reg_main(int argc, char** argv);

}  // namespace tv
