// zephrepaird: serves a reference installation to repair clients over TCP.
#include <cstdio>
#include <memory>

#include "kernel/log/system_log.h"
#include "kernel/system/version.h"
#include "kernel/threads/thread.h"
#include "net/data_buffer_tcp.h"
#include "net/tcp_socket.h"
#include "tools/zephrepaird/client_pool.h"
#include "tools/zephrepaird/client_session.h"
#include "tools/zephrepaird/process_setup.h"
#include "tools/zephrepaird/reference_tree.h"
#include "tools/zephrepaird/server_options.h"

namespace {

using namespace ZephRepairServer;
using ZephUtil::Print;

constexpr int kExitCannotListen = 1;
constexpr int kExitUsage = 2;

// Blocks until a client connects; null when the accept failed.
std::unique_ptr<ZephUtil::TCPSocket> Accept(ZephUtil::TCPSocket& listening,
                                            ZephUtil::CPSocketManager* manager) {
    auto socket = std::make_unique<ZephUtil::TCPSocket>();
    if (!socket->Create(manager))
        return nullptr;
    ZephUtil::UserlandOperation scope(*socket, ZephUtil::USERLAND_CLASS_READ);
    ZephUtil::IOOperation operation;
    socket->StartAccept(listening, operation);
    operation.Wait();
    if (operation.m_error != ZephUtil::ZEPHRESULT_OK) {
        Print("zephrepaird> accept failed (%d)", operation.m_error);
        return nullptr;
    }
    return socket;
}

// Reads the reference tree once before the first client; --quiet keeps its per-segment lines
// to itself.
void ReadReferenceTree(ReferenceTree& tree, bool quiet) {
    if (quiet)
        ZephUtil::RouteConsoleLines(false, -1);
    (void)tree.Refresh();  // warms the summary; each client gets a fresh state
    ZephUtil::RouteConsoleLines(true, -1);
}

int Serve(const ServerOptions& options) {
    ReferenceTree tree(options.root);
    ReadReferenceTree(tree, options.quiet);
    RaiseDescriptorLimit();

    const ZephUtil::SocketManagerHold sockets;
    ZephUtil::CPSocketManager* manager = sockets.Get();
    ZephUtil::TCPSocket listening;
    if (!listening.Create(manager, options.listen.protocol()) ||
        listening.Bind(options.listen, 2) != 0 || listening.Listen(SOMAXCONN) != 0) {
        const int error = listening.LastSystemError();
        fprintf(stderr, "zephrepaird: cannot listen on %s: %s\n",
                EndpointText(options.listen).c_str(),
                error ? asio::error_code(error, asio::system_category()).message().c_str()
                      : "no socket for this address family");
        return kExitCannotListen;
    }
    asio::ip::tcp::endpoint local = options.listen;
    local.port(listening.LocalAddress().port);
    const SessionLimits limits{options.compress, 5 * options.timeoutMilliseconds};
    ClientPool clients(options.clients, options.timeoutMilliseconds,
                       [&](Client& client) { return ServeStep(client, tree, limits); });
    Print("zephrepaird> listening on %s", EndpointText(local).c_str());
    for (;;) {
        std::unique_ptr<ZephUtil::TCPSocket> socket = Accept(listening, manager);
        if (!socket) {
            OS::Sleep(100);  // out of descriptors, say: let connections end first
            continue;
        }
        auto connection = std::make_unique<ZephUtil::ZephDataBufferTCP>(std::move(socket));
        connection->SetStallLimit(options.timeoutMilliseconds);
        clients.Add(std::move(connection));
    }
}

}  // namespace

int main(int argc, char** argv) {
    ServerOptions options;
    std::string error;
    if (!ParseServerOptions(argc, argv, &options, &error)) {
        fprintf(stderr, "zephrepaird: %s\n%s", error.c_str(), kServerUsage);
        return kExitUsage;
    }
    if (options.help || options.version) {
        const std::string text =
            options.help ? kServerUsage : ZephUtil::VersionLine("zephrepaird") + "\n";
        fputs(text.c_str(), stdout);
        return 0;
    }
    StopOnRequest();
    return Serve(options);
}
