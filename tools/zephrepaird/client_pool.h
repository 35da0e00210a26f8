// The server's clients, served by a fixed number of threads. Between the steps of its
// conversation a connection waits for its client's next bytes without a thread, so that many
// idle clients cost a socket each; one that stays silent for the idle time-out is hung up on.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "net/data_buffer_tcp.h"

namespace ZephRepairServer {

struct Client {
    std::unique_ptr<ZephUtil::ZephDataBufferTCP> connection;
    int step = 0;  // how far the conversation got, for the step function to go on from
};

// Runs the next step of a client's conversation once its bytes arrive; true when the client is
// to be heard again after it sends more, false when it is done with (its connection closes).
using ClientStep = std::function<bool(Client&)>;

class ClientPool {
public:
    ClientPool(int threads, int idleMilliseconds, ClientStep step);
    // Stops the threads once the clients they serve are done; waiting clients are dropped.
    ~ClientPool();
    ClientPool(const ClientPool&) = delete;
    ClientPool& operator=(const ClientPool&) = delete;

    // Takes a newly accepted connection. Safe for concurrent use.
    void Add(std::unique_ptr<ZephUtil::ZephDataBufferTCP> connection);

private:
    void AwaitNextBytes(std::unique_ptr<Client> client);
    void Ready(std::unique_ptr<Client> client);
    void Work();

    const int m_idleMilliseconds;
    const ClientStep m_step;
    std::mutex m_mutex;
    std::condition_variable m_readyChanged;
    std::deque<std::unique_ptr<Client>> m_ready;  // bytes arrived (or the connection ended)
    bool m_stopping = false;
    std::vector<std::thread> m_threads;
};

}  // namespace ZephRepairServer
