// Shared by the socket tests and the tests above them: random contents, a free loopback port and
// a scripted server on one.
#pragma once

#include <gtest/gtest.h>

#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>

#include <cstdint>
#include <functional>
#include <memory>
#include <random>
#include <vector>

#include "kernel/threads/thread.h"
#include "net/data_buffer_tcp.h"
#include "net/tcp_socket.h"

namespace NetTest {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t kLoopback = 0x7F000001;
constexpr size_t kMiB = 1 << 20;

[[nodiscard]] inline Bytes RandomBytes(size_t size, uint32_t seed) {
    std::mt19937 generator(seed);
    Bytes bytes(size);
    for (size_t i = 0; i < size; i += 4) {
        const uint32_t word = generator();
        for (size_t k = 0; k < 4 && i + k < size; ++k)
            bytes[i + k] = static_cast<uint8_t>(word >> (8 * k));
    }
    return bytes;
}

// A loopback port that nothing listens on (bound once, then released).
[[nodiscard]] inline uint16_t UnusedPort() {
    asio::io_context io;
    const asio::ip::tcp::acceptor probe(io, {asio::ip::address_v4(kLoopback), 0});
    return probe.local_endpoint().port();
}

// Accepts one client on a free loopback port and runs a script against it on a thread of its
// own. Destroying it waits for the script (and stops the accept if no client came).
class ScriptedServer {
public:
    using Script = std::function<void(ZephUtil::ZephDataBufferTCP&)>;

    explicit ScriptedServer(Script script) : m_script(std::move(script)) {
        EXPECT_TRUE(m_listening->Create(m_sockets.Get()));
        EXPECT_EQ(m_listening->Bind({kLoopback, 0}, 0), 0);
        EXPECT_EQ(m_listening->Listen(4), 0);
        m_thread = OS::StartThread(0, Serve, this);
    }
    ~ScriptedServer() {
        // The client may be connected but not accepted yet: give the script its turn, and stop
        // the accept only when no client came.
        if (OS::WaitThread(m_thread, 10000) != OS::kWaitObject0)
            m_listening->Close();
        OS::JoinThread(m_thread);
    }
    [[nodiscard]] ZephUtil::SocketEndpoint Endpoint() const { return m_listening->LocalAddress(); }

private:
    [[nodiscard]] static int Serve(void* self) {
        auto* server = static_cast<ScriptedServer*>(self);
        auto socket = std::make_unique<ZephUtil::TCPSocket>();
        if (!socket->Create(server->m_sockets.Get()))
            return 1;
        {
            ZephUtil::UserlandOperation scope(*socket, ZephUtil::USERLAND_CLASS_READ);
            ZephUtil::IOOperation operation;
            socket->StartAccept(*server->m_listening, operation);
            operation.Wait();
            if (operation.m_error != 0)
                return 1;
        }
        ZephUtil::ZephDataBufferTCP connection(std::move(socket));
        server->m_script(connection);
        return 0;
    }

    Script m_script;
    ZephUtil::SocketManagerHold m_sockets;  // outlives the listening socket
    std::unique_ptr<ZephUtil::TCPSocket> m_listening = std::make_unique<ZephUtil::TCPSocket>();
    OS::ThreadHandle m_thread;
};

}  // namespace NetTest
