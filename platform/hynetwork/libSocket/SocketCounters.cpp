#include "SocketCounters.h"

SocketCounters& ProcessSocketCounters() {
    static SocketCounters counters;
    return counters;
}
