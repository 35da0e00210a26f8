// `UniqueFd`: the one owner of a file descriptor. It closes the descriptor when it goes, so
// that no early return leaks one. -1 owns nothing. Not copyable; moving hands it over.
#pragma once

#include <unistd.h>

#include <utility>

namespace ZephUtil {

class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : m_fd(fd) {}
    ~UniqueFd() { Reset(); }
    UniqueFd(UniqueFd&& other) noexcept : m_fd(other.Release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        Reset(other.Release());
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    [[nodiscard]] int Get() const { return m_fd; }
    [[nodiscard]] bool IsOpen() const { return m_fd >= 0; }
    // Gives the descriptor up without closing it, to whoever took it over.
    [[nodiscard]] int Release() { return std::exchange(m_fd, -1); }
    // Closes the descriptor held (if any) and takes `fd`. Safe in a signal handler.
    void Reset(int fd = -1) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = fd;
    }
    // Closes now and says whether close succeeded: some file systems report a failed write
    // only there. True when nothing was open. Owns nothing afterwards either way.
    [[nodiscard]] bool Close() {
        const int fd = std::exchange(m_fd, -1);
        return fd < 0 || ::close(fd) == 0;
    }

private:
    int m_fd = -1;
};

}  // namespace ZephUtil
