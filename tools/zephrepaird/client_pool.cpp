#include "tools/zephrepaird/client_pool.h"

#include <asio/steady_timer.hpp>

namespace ZephRepairServer {
namespace {

// A client between two steps: its connection and the timer that hangs up on it. Shared by the
// two completions on the port's thread, whichever comes first.
struct Waiting {
    Waiting(std::unique_ptr<Client> waiting, asio::io_context& io)
        : client(std::move(waiting)), idle(io) {}
    std::unique_ptr<Client> client;
    asio::steady_timer idle;
};

}  // namespace

ClientPool::ClientPool(int threads, int idleMilliseconds, ClientStep step)
    : m_idleMilliseconds(idleMilliseconds), m_step(std::move(step)) {
    for (int i = 0; i < threads; ++i)
        m_threads.emplace_back([this] { Work(); });
}

ClientPool::~ClientPool() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_readyChanged.notify_all();
    for (std::thread& thread : m_threads)
        thread.join();
}

void ClientPool::Add(std::unique_ptr<ZephUtil::ZephDataBufferTCP> connection) {
    auto client = std::make_unique<Client>();
    client->connection = std::move(connection);
    AwaitNextBytes(std::move(client));
}

void ClientPool::AwaitNextBytes(std::unique_ptr<Client> client) {
    ZephUtil::ZephDataBufferTCP& connection = *client->connection;
    ZephUtil::CPSocketManager* manager = connection.Manager();
    auto waiting = std::make_shared<Waiting>(std::move(client), manager->Context());
    // Both completions run on the port's thread, one after the other. Closing the connection
    // makes the wait complete, so the connection always goes on to a thread, which closes it
    // (a connection is never destroyed on the port's thread).
    manager->RunOnPort([&] {
        waiting->idle.expires_after(std::chrono::milliseconds(m_idleMilliseconds));
        waiting->idle.async_wait([waiting](const asio::error_code& error) {
            if (!error && waiting->client)
                waiting->client->connection->Disconnect(true);
        });
        connection.AwaitReadable([this, waiting] {
            waiting->idle.cancel();
            Ready(std::move(waiting->client));
        });
    });
}

void ClientPool::Ready(std::unique_ptr<Client> client) {
    {
        std::lock_guard lock(m_mutex);
        m_ready.push_back(std::move(client));
    }
    m_readyChanged.notify_one();
}

void ClientPool::Work() {
    for (;;) {
        std::unique_ptr<Client> client;
        {
            std::unique_lock lock(m_mutex);
            m_readyChanged.wait(lock, [&] { return m_stopping || !m_ready.empty(); });
            if (m_stopping)
                return;
            client = std::move(m_ready.front());
            m_ready.pop_front();
        }
        if (m_step(*client))
            AwaitNextBytes(std::move(client));
    }
}

}  // namespace ZephRepairServer
