// One client's repair, start to end, on the connection's own thread.
#pragma once

#include <memory>

#include "repair/data_buffer_tcp.h"
#include "tools/zephrepaird/reference_tree.h"

namespace ZephRepairServer {

// Answers the version, reads the client's summary and sends what it needs. A client that
// sends another version, a summary that does not parse, or goes away ends only its own
// connection. Closes the connection when done.
void ServeClient(ZephUtil::ZephDataBufferTCP& connection, ReferenceTree& tree, bool compress);

}  // namespace ZephRepairServer
