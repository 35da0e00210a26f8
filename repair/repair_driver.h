// The repair run as the patch session sees it: find the server, run the job, show its stages
// and progress, and turn its outcome into messages and a success flag.
#pragma once

#include <string>
#include <string_view>

#include "kernel/reporter.h"
#include "net/data_buffer_tcp.h"

namespace ZephPatch {

// The built-in repair server; the product key's "RepairServer" value overrides it.
inline constexpr char kDefaultRepairServer[] = "repair.velmorsim.net";

// The gauge's range while the repair receives segments: the job's progress in permille.
inline constexpr int kRepairGaugeRange = 1000;

struct RepairRequest {
    std::string installPath;
    std::string server;           // "host" or "host:port"; empty for kDefaultRepairServer
    int pollMilliseconds = 1000;  // how often the gauge moves and the cancel is looked for
    // A server that sends or takes nothing for this long has failed the repair.
    int stallMilliseconds = ZephUtil::kDefaultStallLimit;
};

// The "RepairServer" value (host or host:port) of the product's registry key, or empty when
// it has none: what RepairRequest::server takes.
[[nodiscard]] std::string RepairServerOverride(std::string_view productKey);

// The first IPv4 address of "host" or "host:port" (port 6000 when none). False when the port
// is not a number from 1 to 65535 or the name has no IPv4 address.
[[nodiscard]] bool ResolveRepairServer(const std::string& server,
                                       ZephUtil::SocketEndpoint* endpoint);

enum class RepairResult {
    kRepaired,
    kCancelled,
    kServerUnreachable,  // no address, no connection, or the connection lost before the segments
    kFailed,             // scanning or writing failed, or the segments stopped coming
};

// Runs one repair of the installation to its end (or to the user's cancel, which waits for the
// job to stop). Reports the stages and the outcome (levels 1 and 3) on the calling thread; the
// gauge follows the repair once the segments arrive. Nothing on disk is touched when the server
// cannot be found. Clearing the interrupted-patch mark after a success is the caller's.
[[nodiscard]] RepairResult RunRepairDriver(const RepairRequest& request, ProgressSink& sink);

}  // namespace ZephPatch
