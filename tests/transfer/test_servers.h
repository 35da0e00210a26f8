// Real servers for the transfer tests: nginx, vsftpd and our Python fixtures, each on free
// loopback ports in the test's own temporary folder, stopped and waited for by the test.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/test_folder.h"

extern char** environ;

namespace transfer_test {

using orvik_test::ReadFile;
using orvik_test::TestFolder;
using orvik_test::WriteFile;

// Bytes that differ from position to position, so that a misplaced piece shows.
[[nodiscard]] inline std::string PatternBytes(size_t size, unsigned seed = 1) {
    std::string bytes(size, '\0');
    uint32_t state = seed * 2654435761u + 1;
    for (auto& byte : bytes) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<char>(state >> 24);
    }
    return bytes;
}

// A loopback port nobody listens on right now.
[[nodiscard]] inline int FreePort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    int port = 0;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    close(fd);
    return port;
}

[[nodiscard]] inline bool AcceptsConnections(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    const bool connected = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
    close(fd);
    return connected;
}

// A server in its own process group, output to a log file. Stopping kills the whole group
// and reaps every member: this process is made a subreaper, so processes the server forked
// (vsftpd's sessions) come back here instead of lingering unreaped under process 1.
class ServerProcess {
public:
    ServerProcess(const std::vector<std::string>& argv, const std::string& logPath)
        : m_log(logPath) {
        prctl(PR_SET_CHILD_SUBREAPER, 1);
        std::vector<char*> args;
        for (const auto& arg : argv)
            args.push_back(const_cast<char*>(arg.c_str()));
        args.push_back(nullptr);
        posix_spawnattr_t attributes;
        posix_spawn_file_actions_t actions;
        posix_spawnattr_init(&attributes);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
        posix_spawnattr_setpgroup(&attributes, 0);
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, logPath.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
        if (posix_spawn(&m_pid, args[0], &actions, &attributes, args.data(), environ) != 0)
            m_pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
    }
    ~ServerProcess() { Stop(); }
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    [[nodiscard]] bool Started() const { return m_pid > 0; }
    [[nodiscard]] bool Running() const {
        return m_pid > 0 && waitpid(m_pid, nullptr, WNOHANG) == 0;
    }

    void Stop() {
        if (m_pid <= 0)
            return;
        kill(-m_pid, SIGKILL);
        while (waitpid(-m_pid, nullptr, 0) > 0 || errno == EINTR) {
        }
        m_pid = -1;
    }

    // The first line the server wrote (our fixtures print their port), waiting up to 10 s.
    [[nodiscard]] std::string FirstLine() const {
        for (int i = 0; i < 1000; ++i) {
            const std::string text = ReadFile(m_log);
            const size_t end = text.find('\n');
            if (end != std::string::npos)
                return text.substr(0, end);
            if (!Running())
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return {};
    }

    [[nodiscard]] bool WaitForPort(int port) const {
        for (int i = 0; i < 1000 && Running(); ++i) {
            if (AcceptsConnections(port))
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

    [[nodiscard]] std::string Log() const { return ReadFile(m_log); }

private:
    pid_t m_pid = -1;
    std::string m_log;
};

// Base of the servers below: a process and the port it serves on.
class Server {
public:
    virtual ~Server() = default;
    [[nodiscard]] int Port() const { return m_port; }
    [[nodiscard]] bool Ok() const { return m_process && m_port > 0; }
    [[nodiscard]] std::string Log() const { return m_process ? m_process->Log() : std::string(); }
    void Stop() {
        if (m_process)
            m_process->Stop();
    }

protected:
    std::unique_ptr<ServerProcess> m_process;
    int m_port = 0;
};

// Our Python fixtures: they pick their own port and print it.
class PythonServer : public Server {
public:
    PythonServer(const TestFolder& folder, const std::string& script,
                 std::vector<std::string> args) {
        std::vector<std::string> argv = {
            "/usr/bin/python3", "-u", std::string(ORVIK_SOURCE_DIR) + "/tests/fixtures/" + script};
        argv.insert(argv.end(), args.begin(), args.end());
        m_process = std::make_unique<ServerProcess>(argv, folder / (script + ".log"));
        const std::string line = m_process->FirstLine();
        m_port = line.empty() ? 0 : std::atoi(line.c_str());
        if (m_port <= 0)
            ADD_FAILURE() << script << " did not start: " << m_process->Log();
    }
    [[nodiscard]] std::string Url(const std::string& path,
                                  const std::string& scheme = "http") const {
        return scheme + "://127.0.0.1:" + std::to_string(m_port) + "/" + path;
    }
};

// Servers with a configuration of ours: written, started, and retried on another port when
// the port was taken in between.
class ConfiguredServer : public Server {
protected:
    template <typename WriteConfig>
    void Launch(const TestFolder& folder, const std::string& name,
                const std::vector<std::string>& argv, WriteConfig writeConfig) {
        for (int tries = 0; tries < 5; ++tries) {
            const int port = FreePort();
            writeConfig(port);
            m_process = std::make_unique<ServerProcess>(argv, folder / (name + ".log"));
            if (m_process->WaitForPort(port)) {
                m_port = port;
                return;
            }
            m_process->Stop();
        }
        ADD_FAILURE() << name << " did not start: " << m_process->Log();
    }
};

// nginx serving `root`, plain or over TLS with `certificate` and `key`.
class Nginx : public ConfiguredServer {
public:
    Nginx(const TestFolder& folder, const std::string& root, const std::string& certificate = "",
          const std::string& key = "")
        : m_tls(!certificate.empty()) {
        const std::string prefix = folder / "nginx";
        std::filesystem::create_directories(prefix + "/tmp");
        const std::string config = prefix + "/nginx.conf";
        Launch(folder, "nginx",
               {"/usr/sbin/nginx", "-c", config, "-p", prefix, "-g", "daemon off;"}, [&](int port) {
                   std::ostringstream text;
                   text << "master_process off;\npid " << prefix << "/nginx.pid;\n"
                        << "error_log " << prefix << "/error.log;\n"
                        << "events { worker_connections 64; }\n"
                        << "http {\n  access_log off;\n";
                   for (const char* kind : {"client_body", "proxy", "fastcgi", "uwsgi", "scgi"})
                       text << "  " << kind << "_temp_path " << prefix << "/tmp;\n";
                   text << "  server {\n    listen 127.0.0.1:" << port << (m_tls ? " ssl" : "")
                        << ";\n    root " << root << ";\n";
                   if (m_tls)
                       text << "    ssl_certificate " << certificate << ";\n"
                            << "    ssl_certificate_key " << key << ";\n";
                   text << "  }\n}\n";
                   WriteFile(config, text.str());
               });
    }
    [[nodiscard]] std::string Url(const std::string& path) const {
        return std::string(m_tls ? "https" : "http") + "://127.0.0.1:" + std::to_string(m_port) +
               "/" + path;
    }

private:
    bool m_tls;
};

// vsftpd in the foreground, anonymous and read-only at `root`. Passive data ports are the
// free ones the system hands out.
class Vsftpd : public ConfiguredServer {
public:
    Vsftpd(const TestFolder& folder, const std::string& root) {
        const std::string config = folder / "vsftpd.conf";
        Launch(folder, "vsftpd", {"/usr/sbin/vsftpd", config}, [&](int port) {
            std::ostringstream text;
            text << "listen=YES\nlisten_ipv6=NO\nlisten_address=127.0.0.1\n"
                 << "listen_port=" << port << "\nbackground=NO\n"
                 << "anonymous_enable=YES\nno_anon_password=YES\nlocal_enable=NO\n"
                 << "write_enable=NO\nanon_root=" << root << "\n"
                 << "pasv_enable=YES\nport_enable=YES\nconnect_from_port_20=NO\n"
                 << "seccomp_sandbox=NO\nrun_as_launching_user=YES\n"
                 << "secure_chroot_dir=/var/run/vsftpd/empty\n"
                 << "xferlog_enable=NO\nsyslog_enable=NO\n";
            WriteFile(config, text.str());
        });
    }
    [[nodiscard]] std::string Url(const std::string& path) const {
        return "ftp://127.0.0.1:" + std::to_string(m_port) + "/" + path;
    }
};

}  // namespace transfer_test
