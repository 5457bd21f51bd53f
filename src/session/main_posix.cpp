// Entry point of the Linux build: the desktop stand-in and the simulated handheld.
int main() { return 0; }
