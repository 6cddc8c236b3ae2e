// The larkpublish command line (its --help text says it all). Exit codes: 0 published,
// 2 bad command line, 1 any other failure, with a message on `err`.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace larkpublish {

int RunLarkPublish(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace larkpublish
