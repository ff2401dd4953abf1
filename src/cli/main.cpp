// Entry point of tvbox-burn, the command-line burner.
#include "cli/burn_command.h"

int main(int argc, char** argv) { return tv::tvbox_burn_main(argc, argv); }
