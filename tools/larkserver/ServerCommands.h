// The commands of the larkserver program:
//
//   larkserver login --port N --data DIR --accounts FILE [--listen ADDRESS] [--log FILE]
//       Serves sign-ins on ADDRESS (default 127.0.0.1) and port N (0 picks a free port); prints
//       "larkserver: login server listening on ADDRESS:PORT" once listening, then runs until
//       `stop` is set. DIR holds the message modules (Root.wad or the loose .xml files). The log
//       goes to FILE (default "LarkServer.Log.txt"). The accounts file is read once, at start;
//       pass keys live in memory only, so a restart refuses earlier pass keys. A launcher on this
//       machine reaches a server on 127.0.0.1 when it runs with HY_HOSTNAME=localhost (otherwise
//       it turns 127.0.0.1 into the machine's own address); --listen 0.0.0.0 serves both.
//
//   larkserver patch --port N --data DIR --repository REPO [--http-port N] [--listen ADDRESS]
//                    [--url-host HOST] [--url-suffix TEXT] [--log FILE]
//       Answers latest-file-list requests with the list of the repository REPO (larkpublish's
//       Repository.h) and serves REPO over HTTP on --http-port (0, the default, picks one).
//       Prints "larkserver: patch server listening on ADDRESS:PORT" and
//       "larkserver: http server listening on ADDRESS:PORT" once listening.
//
//   larkserver serve --data DIR [--login-port N --accounts FILE] [--patch-port N --repository REPO
//                    [--http-port N]] [...]
//       Both roles in one process; each role is on when its port is given.
//
//   larkserver add-account --accounts FILE --name NAME [--id N] [--paying N] [--outcome NAME]
//                          [--ban TEXT]
//       Reads the password as one line from standard input and adds the account with the hash of
//       it (creating the file when missing). Outcomes are those of LoginAccounts.h.
#pragma once

#include <atomic>
#include <iosfwd>
#include <string>
#include <vector>

// Exit codes: 0 success, 2 bad command line, 1 any other failure (a message says which).
int RunLoginCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                    const std::atomic<bool>& stop);
int RunPatchCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                    const std::atomic<bool>& stop);
int RunServeCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                    const std::atomic<bool>& stop);
int RunAddAccountCommand(const std::vector<std::string>& args, std::istream& in,
                         std::ostream& out, std::ostream& err);
// Dispatches on args[0]; prints the usage for anything else.
int RunLarkServer(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
                  std::ostream& err, const std::atomic<bool>& stop);
