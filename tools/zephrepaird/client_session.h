// One client's repair, a step at a time on the threads of the server's pool.
#pragma once

#include "tools/zephrepaird/client_pool.h"
#include "tools/zephrepaird/reference_tree.h"

namespace ZephRepairServer {

struct SessionLimits {
    bool compress = false;
    // The whole summary must have arrived this long after its first bytes: a client that
    // trickles it would otherwise hold a thread of the pool for as long as it likes.
    int summaryMilliseconds = 300000;
};

// The next step of the client's conversation, its bytes arriving: first the version is
// answered (true: the summary comes next), then the summary is read and what the client needs
// is sent (false: done). A client that sends another version or a summary that does not parse
// or is too big, or goes away, ends only its own connection.
[[nodiscard]] bool ServeStep(Client& client, ReferenceTree& tree, const SessionLimits& limits);

}  // namespace ZephRepairServer
