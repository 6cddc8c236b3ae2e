// larkserver: the development servers the launcher is run and tested against (ServerCommands.h).
#include <csignal>
#include <iostream>

#include "ServerCommands.h"

namespace {
std::atomic<bool> g_stop{false};
void OnStopSignal(int) { g_stop.store(true); }
}  // namespace

int main(int argc, char** argv) {
    std::signal(SIGINT, OnStopSignal);
    std::signal(SIGTERM, OnStopSignal);
    std::vector<std::string> args(argv + 1, argv + argc);
    return RunLarkServer(args, std::cin, std::cout, std::cerr, g_stop);
}
