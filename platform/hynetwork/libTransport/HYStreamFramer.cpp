#include "HYStreamFramer.h"

#include "HYTcpSocket.h"

template class HYStreamFramer<HYTcpSocket>;
