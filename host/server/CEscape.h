// C-style escaping of a text (GLib's g_strescape / g_strcompress), so tabs, line ends and any byte
// survive a one-line record: the helper socket's requests and the stored recent items use it.
#pragma once

#include <string>

std::string CEscape(const std::string& text);
std::string CUnescape(const std::string& text);
