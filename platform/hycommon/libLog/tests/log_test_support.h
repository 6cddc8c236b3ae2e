// Helpers shared by the logging tests: reading the lines of a log file.
#pragma once

#include <string>
#include <vector>

#include "LogCapture.h"
#include "TempDir.h"

namespace logtest {

using CaptureReactor = hytest::LogCapture;
using hytest::TempDir;

std::vector<std::string> ReadLines(const std::string& path);

// Everything after the date and time ("mm/dd/yy hh:mm:ss ") of a log line.
std::string AfterTimestamp(const std::string& line);

}  // namespace logtest
