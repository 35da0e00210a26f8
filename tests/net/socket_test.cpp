#include <unistd.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <string>

#include "kernel/buffers/block_io.h"
#include "net/data_buffer_tcp.h"
#include "net/io_operation.h"
#include "socket_test_support.h"
#include "tests/support/test_folder.h"

namespace {

using namespace ZephUtil;
using namespace NetTest;

// Until the client closes its end.
void AwaitPeerClose(ZephDataBufferTCP& connection) {
    uint8_t byte;
    while (connection.Read(&byte, 1) == ZEPHRESULT_OK) {
    }
}

TEST(SocketTest, ZeroByteTransfersReturnAtOnceWithoutASocketRequest) {
    ZephDataBufferTCP unconnected;
    EXPECT_EQ(unconnected.Write(nullptr, 0), ZEPHRESULT_OK);
    EXPECT_EQ(unconnected.Read(nullptr, 0), ZEPHRESULT_OK);
    EXPECT_EQ(unconnected.GetPosition(), 0u);
    EXPECT_EQ(unconnected.Seek(0), ZEPHRESULT_NOT_SUPPORTED);
    EXPECT_EQ(unconnected.SetSize(0), ZEPHRESULT_NOT_SUPPORTED);
    EXPECT_FALSE(unconnected.IsConnected());
}

TEST(SocketTest, RefusedConnectLeavesTheBufferUnconnected) {
    ZephDataBufferTCP connection;
    EXPECT_EQ(connection.Connect({kLoopback, UnusedPort()}), ZEPHRESULT_REFUSED);
    EXPECT_FALSE(connection.IsConnected());
}

TEST(SocketTest, ConnectWhileConnectedIsAnInvalidState) {
    ScriptedServer server([](ZephDataBufferTCP& peer) { AwaitPeerClose(peer); });
    ZephDataBufferTCP connection;
    ASSERT_EQ(connection.Connect(server.Endpoint()), ZEPHRESULT_OK);
    EXPECT_TRUE(connection.IsConnected());
    EXPECT_EQ(connection.RemoteAddress().port, server.Endpoint().port);
    EXPECT_EQ(connection.LocalAddress().address, kLoopback);
    EXPECT_EQ(connection.Connect(server.Endpoint()), ZEPHRESULT_INVALID_STATE);
}

TEST(SocketTest, ReadingPastWhatThePeerSentBeforeClosingGives13) {
    ScriptedServer server([](ZephDataBufferTCP& peer) {
        EXPECT_EQ(peer.Write("abc", 3), ZEPHRESULT_OK);
        EXPECT_EQ(peer.Shutdown(1), ZEPHRESULT_OK);
        AwaitPeerClose(peer);
    });
    ZephDataBufferTCP connection;
    ASSERT_EQ(connection.Connect(server.Endpoint()), ZEPHRESULT_OK);
    char bytes[5] = {};
    EXPECT_EQ(connection.Read(bytes, 5), ZEPHRESULT_CLOSED);
    EXPECT_EQ(std::string(bytes, 3), "abc");
    EXPECT_EQ(connection.Read(bytes, 1), ZEPHRESULT_CLOSED);
}

TEST(SocketTest, PartialReadEndsWithWhatHasArrived) {
    ScriptedServer server([](ZephDataBufferTCP& peer) {
        EXPECT_EQ(peer.Write("abc", 3), ZEPHRESULT_OK);
        AwaitPeerClose(peer);
    });
    ZephDataBufferTCP connection;
    ASSERT_EQ(connection.Connect(server.Endpoint()), ZEPHRESULT_OK);
    connection.SetPartialRead(true);
    char bytes[10] = {};
    EXPECT_EQ(connection.Read(bytes, 10), ZEPHRESULT_PARTIAL);
    EXPECT_EQ(connection.GetPosition(), 3u);
    EXPECT_EQ(std::string(bytes), "abc");
}

TEST(SocketTest, AbortiveDisconnectEndsABlockedReadAtOnce) {
    ScriptedServer server([](ZephDataBufferTCP& peer) { AwaitPeerClose(peer); });
    ZephDataBufferTCP connection;
    ASSERT_EQ(connection.Connect(server.Endpoint()), ZEPHRESULT_OK);
    std::atomic<int> result{-1};
    struct Reader {
        ZephDataBufferTCP* connection;
        std::atomic<int>* result;
    } reader{&connection, &result};
    OS::ThreadHandle thread = OS::StartThread(
        0,
        [](void* argument) {
            auto* r = static_cast<Reader*>(argument);
            uint8_t byte;
            *r->result = r->connection->Read(&byte, 1);
            return 0;
        },
        &reader);
    OS::Sleep(50);  // let the read block (if it has not yet, it fails at its start instead)
    connection.Disconnect(true);
    OS::JoinThread(thread);
    EXPECT_NE(result, ZEPHRESULT_OK);
    EXPECT_NE(result, -1);
    EXPECT_FALSE(connection.IsConnected());
}

TEST(SocketTest, OneThreadReadsWhileAnotherWritesLargeTransfers) {
    constexpr uint32_t kSize = 8 * kMiB;
    ScriptedServer echo([](ZephDataBufferTCP& peer) {
        Bytes piece(64 * 1024);
        for (uint32_t done = 0; done < kSize; done += piece.size())
            if (peer.Read(piece.data(), piece.size()) != 0 ||
                peer.Write(piece.data(), piece.size()) != 0)
                return;
        AwaitPeerClose(peer);
    });
    ZephDataBufferTCP connection;
    ASSERT_EQ(connection.Connect(echo.Endpoint()), ZEPHRESULT_OK);
    const Bytes sent = RandomBytes(kSize, 11);
    struct Writer {
        ZephDataBufferTCP* connection;
        const Bytes* bytes;
        int result = -1;
    } writer{&connection, &sent};
    OS::ThreadHandle thread = OS::StartThread(
        0,
        [](void* argument) {
            auto* w = static_cast<Writer*>(argument);
            w->result = w->connection->Write(w->bytes->data(), w->bytes->size());
            return 0;
        },
        &writer);
    Bytes received(kSize);
    EXPECT_EQ(connection.Read(received.data(), kSize), ZEPHRESULT_OK);
    OS::JoinThread(thread);
    EXPECT_EQ(writer.result, ZEPHRESULT_OK);
    EXPECT_EQ(connection.GetPosition(), kSize);
    EXPECT_TRUE(received == sent);
}

TEST(SocketTest, GracefulDisconnectLetsThePeerSeeTheEnd) {
    std::atomic<int> peerResult{-1};
    {
        ScriptedServer server([&](ZephDataBufferTCP& peer) {
            uint32_t value = 0;
            peerResult = ReadUint32(peer, &value) == 0 && value == 42 ? peer.Read(&value, 1) : -2;
        });
        ZephDataBufferTCP connection;
        ASSERT_EQ(connection.Connect(server.Endpoint()), ZEPHRESULT_OK);
        ASSERT_EQ(WriteUint32(connection, 42), ZEPHRESULT_OK);
        connection.Disconnect(false);
        EXPECT_FALSE(connection.IsConnected());
    }
    EXPECT_EQ(peerResult, ZEPHRESULT_CLOSED);
}

TEST(SocketResultTest, SystemErrorsMapToResultCodes) {
    EXPECT_EQ(MapSocketError(0), ZEPHRESULT_OK);
    EXPECT_EQ(MapSocketError(asio::error::connection_reset), ZEPHRESULT_CONNECTION_LOST);
    EXPECT_EQ(MapSocketError(asio::error::timed_out), ZEPHRESULT_CONNECTION_LOST);
    EXPECT_EQ(MapSocketError(asio::error::operation_aborted), ZEPHRESULT_CLOSED);
    EXPECT_EQ(MapSocketError(asio::error::fault), ZEPHRESULT_BAD_ADDRESS);
    EXPECT_EQ(MapSocketError(asio::error::invalid_argument), ZEPHRESULT_INVALID_STATE);
    EXPECT_EQ(MapSocketError(asio::error::connection_refused), ZEPHRESULT_REFUSED);
    EXPECT_EQ(MapSocketError(asio::error::no_descriptors), ZEPHRESULT_FAILED);
}

class IOOperationDeathTest : public testing::Test {
protected:
    orvik_test::TestFolder m_temp;
    const std::filesystem::path m_folder = m_temp.Path();
};

// In the dying child (forked at the statement, so the folder is the parent's and goes with it):
// its diagnostics to standard error, where the death test looks, and its crash report into the
// test's folder.
void DieLikeThis(const std::filesystem::path& folder) {
    dup2(STDERR_FILENO, STDOUT_FILENO);
    std::error_code error;
    std::filesystem::current_path(folder, error);
    if (error)
        abort();
}

TEST_F(IOOperationDeathTest, StateMachineViolationsAreFatalWithTheirInvariant) {
    EXPECT_DEATH(
        {
            DieLikeThis(m_folder);
            IOOperation operation;
            operation.MoveTo(IOOperation::STATE_CAUGHT);
        },
        "Assertion failed: IsInState\\(STATE_POSTED\\)");
    EXPECT_DEATH(
        {
            DieLikeThis(m_folder);
            IOOperation operation;
            operation.MoveTo(IOOperation::STATE_POSTED);
        },
        "IsInState\\(STATE_COMPLETE\\) \\|\\| IsInState\\(STATE_UNUSED\\)");
    EXPECT_STREQ(IOOperation::TypeName(IOOperation::IO_TCP_StartRead), "IO_TCP_StartRead");
    EXPECT_STREQ(IOOperation::TypeName(42), "IO_UNKNOWN");
}

}  // namespace
