// What a session knows about itself and its peer; the application reads the server's session id
// and offer time from it once the session is established.
#pragma once

#include <cstdint>
#include <string>

struct SessionRecord {
    uint16_t ownSessionId = 0;     // 0 for a client
    uint16_t serverSessionId = 0;  // from the offer (a server's own id on the server side)
    std::string name;
    std::string peer = "unknown";  // "address:port" once connected
    uint32_t createdSeconds = 0;   // since 1970 (UTC), when the session object was made
    uint32_t createdMilliseconds = 0;
    uint32_t offerSeconds = 0;  // the offer's time stamp (the client's accept time on a server)
    uint32_t offerMilliseconds = 0;
};
