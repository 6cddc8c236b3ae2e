#include "RemoteSession.h"

#include "SessionControl.h"

bool RemoteSession::SendOffer() {
    return TxMessage(BuildOffer(m_record.ownSessionId, m_record.createdSeconds,
                                m_record.createdMilliseconds));
}

bool RemoteSession::SendAccept(uint16_t offeredId) {
    return TxMessage(BuildAccept(m_record.ownSessionId, m_record.createdSeconds,
                                 m_record.createdMilliseconds, offeredId));
}

void RemoteSession::BecomeEstablished() {
    SetState(SS_Established);
    AppSessionEstablished();
}
