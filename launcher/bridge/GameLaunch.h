// Starting the game: its command line split into the program and its arguments as the Windows
// launcher's command line is read, and a Windows program started through Wine.
#pragma once

#include <string>
#include <vector>

// The pieces of a command line: text between double quotes is one piece (quotes removed, blanks
// kept), everything else is split at blanks and tabs; a quote may start in the middle of a piece.
std::vector<std::string> SplitCommandLine(const std::string& commandLine);

// The program to start and its arguments for a split command line. A program whose name ends in
// ".exe" (any letter case) runs through Wine: `wine` (the value of LARK_WINE when set, else
// "wine", looked up in PATH) becomes the program and the ".exe" its first argument. False when the
// command line is empty or Wine cannot be found.
bool GameProgramFor(const std::vector<std::string>& pieces, std::string& program,
                    std::vector<std::string>& arguments);

// The full path of a program name: a name with a '/' is taken as it is; otherwise the first
// executable file of that name in the folders of PATH. Empty when none.
std::string FindProgram(const std::string& name);
