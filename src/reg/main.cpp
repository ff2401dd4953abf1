// Entry point of tvbox-reg, the register console from a script.
#include "reg/reg_program.h"

int main(int argc, char** argv) { return tv::tvbox_reg_main(argc, argv); }
