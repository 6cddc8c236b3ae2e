// The parts of the TCP socket that are the same on every platform; the socket calls themselves
// are in posix/ and win/.
#include "HYTcpSocket.h"

#include "LogMessage.h"

HYTcpSocket::~HYTcpSocket() { Close(true); }

long HYTcpSocket::Write(const void* bytes, size_t length) {
    iovec piece{const_cast<void*>(bytes), length};
    return Write(&piece, 1);
}

int HYTcpSocket::OnReadable() { return m_observer ? m_observer->OnSocketReadable(*this) : -1; }

int HYTcpSocket::OnWritable() { return m_observer ? m_observer->OnSocketWritable(*this) : -1; }

void HYTcpSocket::OnError(int mask) {
    if (m_observer) m_observer->OnSocketError(*this, mask);
}

void HYTcpSocket::Dump() const {
    const char* function = "HYTcpSocket::Dump";
    HY_LOG(LL_Status, "PLAT_NET", function, "HYTcpSocket:: this=%p", static_cast<const void*>(this));
    HY_LOG(LL_Status, "PLAT_NET", function, "  localAddr : %s", m_local.ToText(true).c_str());
    HY_LOG(LL_Status, "PLAT_NET", function, "  remotAddr : %s", m_remote.ToText(true).c_str());
    HY_LOG(LL_Status, "PLAT_NET", function, "   m_handle : %p",
           reinterpret_cast<void*>(static_cast<intptr_t>(Handle())));
}
