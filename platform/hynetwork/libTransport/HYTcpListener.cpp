// The parts of the listener that are the same on every platform; listening and accepting are in
// posix/ and win/.
#include "HYTcpListener.h"

#include "LogMessage.h"

HYTcpListener::~HYTcpListener() { Close(); }

void HYTcpListener::OnError(int mask) {
    HY_LOG(LL_Warning, "PLAT_NET", "HYTcpListener::OnError", "listener dropped (mask:%d)", mask);
}
