// The repair server reading a client: the fuzz input is the client's whole side of the
// conversation (its version and its summary), answered from a small reference installation.
// Whatever it says, the server answers or hangs up, and only that connection ends.
#include <memory>
#include <string>
#include <thread>

#include "repair/data_buffer_tcp.h"
#include "repair/tcp_socket.h"
#include "tests/fuzz/fuzz_support.h"
#include "tools/zephrepaird/client_session.h"
#include "tools/zephrepaird/reference_tree.h"

namespace {

using namespace ZephUtil;

// A small reference (whole segments would make each run slow): files in a folder and at the
// top, and an empty one.
std::string MakeReference() {
    const std::string root = orvik_fuzz::FreshFolder("reference");
    std::filesystem::create_directories(root + "/bin");
    std::string program(3000, '\0');
    for (size_t i = 0; i < program.size(); ++i)
        program[i] = static_cast<char>(i * 2654435761u >> 24);
    auto write = [](const std::string& path, const std::string& bytes) {
        orvik_fuzz::WriteBytes(path, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    };
    write(root + "/bin/Velmor.exe", program);
    write(root + "/readme.txt", "Velmor train simulator\n");
    write(root + "/empty.dat", "");
    return root;
}

struct Server {
    SocketManagerHold sockets;
    CPSocketManager* manager = sockets.Get();
    std::unique_ptr<TCPSocket> listening = std::make_unique<TCPSocket>();
    ZephRepairServer::ReferenceTree tree{MakeReference()};

    Server() {
        FUZZ_CHECK(listening->Create(manager) && listening->Bind({0x7F000001, 0}, 0) == 0 &&
                   listening->Listen(16) == 0);
    }

    std::unique_ptr<TCPSocket> Accept() {
        auto socket = std::make_unique<TCPSocket>();
        FUZZ_CHECK(socket->Create(manager));
        UserlandOperation scope(*socket, USERLAND_CLASS_READ);
        IOOperation operation;
        socket->StartAccept(*listening, operation);
        operation.Wait();
        FUZZ_CHECK(operation.m_error == ZEPHRESULT_OK);
        return socket;
    }
};

int Connect(uint16_t port) {
    const int connection = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    FUZZ_CHECK(connect(connection, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0);
    return connection;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Server server;
    std::thread peer([&] {
        orvik_fuzz::SendAllThenDrain(Connect(server.listening->LocalAddress().port), data, size);
    });
    {
        // The pool's steps, one after the other on this thread; both answers, raw and
        // compressed, from the same inputs.
        ZephRepairServer::Client client{
            std::make_unique<ZephUtil::ZephDataBufferTCP>(server.Accept())};
        const ZephRepairServer::SessionLimits limits{.compress = size % 2 == 1};
        while (ZephRepairServer::ServeStep(client, server.tree, limits)) {
        }
    }
    peer.join();
    return 0;
}
