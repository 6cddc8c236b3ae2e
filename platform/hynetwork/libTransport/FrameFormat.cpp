#include "FrameFormat.h"

#include "LogMessage.h"

void LogFrameAllocationFailure(uint32_t size) {
    HY_LOG(LL_Warning, "PLAT_NET", "HYStreamFramer::ReadCurrent",
           "Unable to allocate rx buffer of size %u", size);
}
