#include "net/cp_socket_manager.h"

#include <asio/post.hpp>
#include <atomic>
#include <future>

#include "kernel/crash/crash.h"
#include "kernel/threads/thread.h"
#include "net/io_operation.h"

namespace ZephUtil {
namespace {

std::atomic<long> g_iocpThreadId{-1};

std::mutex g_managerLock;
CPSocketManager* g_manager = nullptr;
int g_managerReferences = 0;

}  // namespace

long CurrentThreadId() {
    static std::atomic<long> s_next{1};
    thread_local const long t_id = s_next++;
    return t_id;
}

bool IsInIOCPThread() {
    return g_iocpThreadId.load(std::memory_order_relaxed) == CurrentThreadId();
}

class CPSocketManager::WorkerThread : public OS::Thread {
public:
    explicit WorkerThread(asio::io_context& io) : m_io(io) {
        (void)Start();  // fails by throwing
    }
    ~WorkerThread() override { Join(); }

protected:
    int Run() override {
        g_iocpThreadId = CurrentThreadId();
        m_io.run();
        g_iocpThreadId = -1;
        return 0;
    }

private:
    asio::io_context& m_io;
};

CPSocketManager::CPSocketManager(int threads) : m_io(threads), m_work(asio::make_work_guard(m_io)) {
    for (int i = 0; i < threads; ++i)
        m_workers.push_back(std::make_unique<WorkerThread>(m_io));
}

CPSocketManager::~CPSocketManager() {
    m_work.reset();
    m_io.stop();
    m_workers.clear();  // joins them
}

CPSocketManager* CPSocketManager::Acquire() {
    std::lock_guard<std::mutex> lock(g_managerLock);
    if (g_managerReferences++ == 0)
        g_manager = new CPSocketManager(1);
    return g_manager;
}

void CPSocketManager::Release() {
    ZEPH_ASSERT(IsInUserlandThread());
    std::lock_guard<std::mutex> lock(g_managerLock);
    ZEPH_ASSERT(g_managerReferences > 0);
    if (--g_managerReferences == 0) {
        delete g_manager;
        g_manager = nullptr;
    }
}

void CPSocketManager::PostCompletion(IOOperation& operation) {
    asio::post(m_io, [&operation] { DeliverCompletion(operation, 0, 0); });
}

void CPSocketManager::RunOnPort(const std::function<void()>& work) {
    if (IsInIOCPThread()) {
        work();
        return;
    }
    std::promise<void> done;
    asio::post(m_io, [&] {
        work();
        done.set_value();
    });
    done.get_future().wait();
}

void DeliverCompletion(IOOperation& operation, int error, size_t bytes) {
    CPHandler* handler = operation.m_handler;
    ZEPH_ASSERT(handler != NULL);
    operation.MoveTo(IOOperation::STATE_CAUGHT);
    operation.m_lastBytes = bytes;
    handler->HandleCompletion(operation, error);
}

}  // namespace ZephUtil
