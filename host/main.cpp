// larkhost: runs the Windows launcher through Wine inside this process.
#include "HostApp.h"

int main(int argc, char** argv) { return larkhost::RunHost(argc, argv); }
