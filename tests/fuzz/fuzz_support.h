// Shared by the fuzz harnesses: a scratch folder for the parsers that read files, the fuzz
// input written to a file, a loopback peer for the protocol parsers, and the check that stops
// the run when a harness finds what must never happen.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <thread>

#include "tests/support/test_folder.h"

namespace orvik_fuzz {

namespace fs = std::filesystem;

// Aborts with the broken property, so that libFuzzer and the replay driver both report it.
#define FUZZ_CHECK(condition)                                                                  \
    do {                                                                                       \
        if (!(condition)) {                                                                    \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                      \
        }                                                                                      \
    } while (0)

// One folder per process below the shared-memory file system (fast, never a real disk), made on
// first use and removed with everything in it when the process ends normally.
inline orvik_test::TestFolder& Scratch() {
    static orvik_test::TestFolder folder(orvik_test::MemoryTempFolder());
    return folder;
}

// A fresh empty folder of that name in the scratch folder, for one input.
[[nodiscard]] inline std::string FreshFolder(const std::string& name) {
    const std::string folder = Scratch() / name;
    std::error_code ignored;
    fs::remove_all(folder, ignored);
    fs::create_directories(folder);
    return folder;
}

inline void WriteBytes(const std::string& path, const uint8_t* data, size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    FUZZ_CHECK(out.good());
}

// The names of the entries directly in `folder`: what a harness compares to find a write
// that left the folder it was given.
[[nodiscard]] inline std::set<std::string> EntryNames(const fs::path& folder) {
    std::set<std::string> names;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
        names.insert(it->path().filename().string());
    return names;
}

// A loopback listening socket of plain system calls: the peer a protocol parser talks to.
class LoopbackListener {
public:
    LoopbackListener() {
        m_socket = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        FUZZ_CHECK(m_socket >= 0 &&
                   bind(m_socket, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                   listen(m_socket, 16) == 0 &&
                   getsockname(m_socket, reinterpret_cast<sockaddr*>(&address), &length) == 0);
        m_port = ntohs(address.sin_port);
        // A peer that never connects ends the accept instead of the run.
        timeval patience{10, 0};
        setsockopt(m_socket, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
    }
    ~LoopbackListener() { close(m_socket); }
    LoopbackListener(const LoopbackListener&) = delete;
    LoopbackListener& operator=(const LoopbackListener&) = delete;

    [[nodiscard]] uint16_t Port() const { return m_port; }
    // The next connection, or -1 after ten seconds without one.
    [[nodiscard]] int Accept() const { return accept4(m_socket, nullptr, nullptr, SOCK_CLOEXEC); }

private:
    int m_socket = -1;
    uint16_t m_port = 0;
};

// Sends `data` whole (a peer that hung up ends it early), closes the sending direction and
// reads whatever comes back until the other side closes or stays silent for ten seconds.
inline void SendAllThenDrain(int connection, const uint8_t* data, size_t size) {
    for (size_t sent = 0; sent < size;) {
        const ssize_t n = send(connection, data + sent, size - sent, MSG_NOSIGNAL);
        if (n <= 0)
            break;
        sent += static_cast<size_t>(n);
    }
    shutdown(connection, SHUT_WR);
    timeval patience{10, 0};
    setsockopt(connection, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
    char sink[65536];
    while (recv(connection, sink, sizeof sink, 0) > 0) {
    }
    close(connection);
}

}  // namespace orvik_fuzz
