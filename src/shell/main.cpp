// Entry point of the TV Box service tool.
#include "shell/startup.h"

int main(int argc, char** argv) { return tv::run_program(argc, argv); }
