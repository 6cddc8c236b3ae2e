// Running the development servers' roles in one process: login, patch (list replies and the
// repository over HTTP), or both, on the calling thread until asked to stop.
#pragma once

#include <atomic>
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>

// The roles one process serves; a role is on when its port is given.
struct ServeConfig {
    std::string listen = "127.0.0.1";
    std::string data;
    std::string logFile = "LarkServer.Log.txt";
    std::optional<uint16_t> loginPort;
    std::string accounts;
    std::optional<uint16_t> patchPort;
    std::string repository;
    uint16_t httpPort = 0;
    std::string urlHost;
    std::string urlSuffix;
};

// Prints one "larkserver: <role> server listening on ADDRESS:PORT" line per role once every role
// listens, then runs until `stop` is set. 0, or 1 (2 for a bad address) after a message on `err`.
int RunServers(const ServeConfig& config, std::ostream& out, std::ostream& err,
               const std::atomic<bool>& stop);
