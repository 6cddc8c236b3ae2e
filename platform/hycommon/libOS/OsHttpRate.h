// How the HTTP implementations share the process's download rate limit among the transfers
// running at the same moment. A transfer counts itself while it runs and applies its share
// whenever the generation has moved since it last looked.
#pragma once

#include <cstdint>

namespace HY_OS {

// The transfer has started or ended (each called once per transfer).
void RateTransferStarted();
void RateTransferEnded();
// Changes whenever the limit or the number of running transfers changes.
uint64_t RateGeneration();
// One running transfer's share of the limit in bytes per second; 0 when there is no limit.
uint64_t RateShareBytesPerSecond();
// The share each would have with `more` transfers added to those running.
uint64_t RateShareIncluding(uint32_t more);

}  // namespace HY_OS
