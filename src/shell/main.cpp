// Entry point of the TV Box service tool.
int main(int, char**) { return 0; }
