// The sample installation with the plain installer, which carries no patches, and a web and
// an FTP root for patch servers: what download-mode tests start from.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "tests/e2e/cli_session.h"
#include "tests/transfer/test_servers.h"

namespace orvik_test {

namespace fs = std::filesystem;
using transfer_test::FreePort;
using transfer_test::Nginx;
using transfer_test::PythonServer;
using transfer_test::Vsftpd;

inline constexpr char kCompleted[] = "Patching completed.";
inline constexpr char kAborted[] = "Patching aborted.";
inline constexpr char kDownloadFailed[] = "Patch download failed.";
inline constexpr char kFirstArchive[] = "46957_to_48249.zpa";
inline constexpr char kSecondArchive[] = "48249_to_50001.zpa";

[[nodiscard]] inline std::string Joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& line : lines)
        text += "  | " + line + "\n";
    return text;
}

// The sample installation with the plain installer, which carries no patches: everything has
// to come from the servers.
class DownloadSession : public CliSession {
protected:
    void SetUp() override {
        CliSession::SetUp();
        fs::copy_file(std::string(ORVIK_BINARY_DIR) + "/app/cli/InstallPatchCLI",
                      Sample("InstallPatchCLI"), fs::copy_options::overwrite_existing);
        fs::create_directories(m_www + "/archives");
        fs::create_directories(m_ftp);
        fs::copy_file(Sample(kFirstArchive), m_www + "/archives/" + kFirstArchive);
        fs::copy_file(Sample(kSecondArchive), m_ftp + "/" + kSecondArchive);
    }

    // patches.txt in `folder` as a publisher writes it, one FROM TO URL triple after another.
    void Publish(const std::string& folder, const std::vector<std::string>& triples) {
        std::vector<std::string> arguments = {"catalogue", folder + "/patches.txt"};
        arguments.insert(arguments.end(), triples.begin(), triples.end());
        fs::create_directories(folder);
        ASSERT_EQ(RunZephpack(arguments), 0);
    }

    [[nodiscard]] static int RunZephpack(const std::vector<std::string>& arguments) {
        std::string command = ZEPHPACK_PROGRAM;
        for (const auto& argument : arguments)
            command += " '" + argument + "'";
        return RunShell(command);
    }

    // The first archive by a path relative to the catalogue's server (with the backslash of
    // the catalogue format), the second by the absolute address of the FTP server.
    void PublishChain(const Vsftpd& ftp) {
        Publish(m_www, {"46957", "48249", std::string("archives\\") + kFirstArchive, "48249",
                        "50001", ftp.Url(kSecondArchive)});
    }

    [[nodiscard]] bool NothingApplied() const {
        return InstallationIs("46957") && fs::is_empty(Sample("temp"));
    }

    std::string m_www = m_folder / "www";
    std::string m_ftp = m_folder / "ftp";
};

}  // namespace orvik_test
