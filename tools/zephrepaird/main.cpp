// zephrepaird: serves a reference installation to repair clients over TCP.
#include <cstdio>
#include <memory>

#include "kernel/system_log.h"
#include "kernel/thread.h"
#include "repair/data_buffer_tcp.h"
#include "repair/tcp_socket.h"
#include "tools/zephrepaird/client_session.h"
#include "tools/zephrepaird/reference_tree.h"
#include "tools/zephrepaird/server_options.h"

namespace {

using namespace ZephRepairServer;
using ZephUtil::Print;

struct Connection {
    std::unique_ptr<ZephUtil::ZephDataBufferTCP> buffer;
    ReferenceTree* tree;
    bool compress;
};

int ServeConnection(void* argument) {
    std::unique_ptr<Connection> connection(static_cast<Connection*>(argument));
    ServeClient(*connection->buffer, *connection->tree, connection->compress);
    return 0;
}

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

}  // namespace

int main(int argc, char** argv) {
    ServerOptions options;
    std::string error;
    if (!ParseServerOptions(argc, argv, &options, &error)) {
        fprintf(stderr,
                "zephrepaird: %s\nusage: zephrepaird --root REFERENCE_TREE "
                "[--listen ADDR:PORT] [--compress]\n",
                error.c_str());
        return 2;
    }
    ReferenceTree tree(options.root);
    tree.Refresh();

    ZephUtil::CPSocketManager* manager = ZephUtil::CPSocketManager::Acquire();
    ZephUtil::TCPSocket listening;
    if (!listening.Create(manager) || listening.Bind(options.listen, 2) != 0 ||
        listening.Listen(64) != 0) {
        fprintf(stderr, "zephrepaird: cannot listen on the requested address\n");
        return 1;
    }
    const ZephUtil::SocketEndpoint local = listening.LocalAddress();
    Print("zephrepaird> listening on %u.%u.%u.%u:%u", local.address >> 24,
          (local.address >> 16) & 0xFF, (local.address >> 8) & 0xFF, local.address & 0xFF,
          local.port);
    for (;;) {
        std::unique_ptr<ZephUtil::TCPSocket> socket = Accept(listening, manager);
        if (!socket) {
            OS::Sleep(100);  // out of descriptors, say: let connections end first
            continue;
        }
        auto connection = std::make_unique<Connection>(
            Connection{std::make_unique<ZephUtil::ZephDataBufferTCP>(std::move(socket)), &tree,
                       options.compress});
        // Each client on a thread of its own; the thread owns the connection.
        OS::StartThread(0, ServeConnection, connection.release());
    }
}
