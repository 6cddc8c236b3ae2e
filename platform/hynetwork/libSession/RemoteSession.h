// A session with a peer on another machine: the handshake both sides share. The server offers
// a session (its id and its creation time), the client accepts (its own id, its creation time
// and the offered id), and both sides are then established.
#pragma once

#include "TcpSession.h"

class RemoteSession : public TcpSession {
public:
    using TcpSession::TcpSession;

protected:
    // The offer of this session: its own id and creation time.
    bool SendOffer();
    // The accept of an offer of `offeredId`: own id, creation time, offered id.
    bool SendAccept(uint16_t offeredId);
    // State 4, then AppSessionEstablished.
    void BecomeEstablished();
};
