// How the HTTP implementations share the process's download rate limit. An engine with a
// per-transfer receive-rate option (libcurl) counts each transfer while it runs and gives it its
// share whenever the generation has moved since it last looked. An engine without one (WinINet)
// paces its reads itself against one budget for the whole process (RateReserve).
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

// Books `bytes` just received against the process's one budget and answers the moment, in
// microseconds of RateClockUs, until which the reader must wait before receiving more; 0 when
// there is no limit. Readers on any thread book against the same schedule, so together they
// stay within the limit however many there are; a reader idle for a while gains no credit.
uint64_t RateReserve(uint64_t bytes);
// The monotonic clock that RateReserve's answers are measured on.
uint64_t RateClockUs();
// The most a paced reader should take in one read under the current limit: a tenth of a
// second's worth (at least one byte), so that the pause after each read stays short. 0 when
// there is no limit.
uint64_t RateSliceBytes();

}  // namespace HY_OS
