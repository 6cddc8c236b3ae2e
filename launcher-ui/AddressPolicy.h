// Which addresses the launcher window may show: http and https pages, the pages of the bank's
// "web" folder and the library's own resource pages ("res:"). Anything else (a "javascript:"
// address, a file outside the web folder, text that is not an address) is refused.
#pragma once

#include <string>

namespace LarkUi {

// The address the web view is to load for `address`, or empty when it is refused. `webRoot` is
// the bank's web folder; a path or "file:" address must name an existing file inside it (a path
// may use backslashes, as the launcher writes them).
std::string AdmitAddress(const std::string& address, const std::string& webRoot);

// The scheme under which the library serves its own pages.
constexpr const char* kResourceScheme = "res";

}  // namespace LarkUi
