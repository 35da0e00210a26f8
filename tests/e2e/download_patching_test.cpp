// The installer bringing an installation up to date from patch servers, as a user runs it
// from a console: a catalogue on an HTTP server, archives on it and on an FTP server.
#include <signal.h>

#include "tests/e2e/download_session.h"

namespace orvik_test {
namespace {

TEST_F(DownloadSession, ChainFromHttpAndFtpReachesTheNewestBuild) {
    Nginx web(m_folder, m_www);
    Vsftpd ftp(m_folder, m_ftp);
    ASSERT_TRUE(web.Ok() && ftp.Ok());
    PublishChain(ftp);
    const CliRun run = Run({"--server=" + web.Url(""), Sample("install")});
    EXPECT_EQ(run.exitCode, 0) << Joined(run.lines);
    EXPECT_TRUE(InOrder(run.lines,
                        {
                            "Checking for available disk space for patching.",
                            "Searching for patches...",
                            "Downloading patch file...",
                            "Unpacking patch file...",
                            "Patching from 46957 to 48249...",
                            "Downloading patch file...",
                            "Unpacking patch file...",
                            "Patching from 48249 to 50001...",
                            "No (more) patches at server for version: 50001",
                            "Updating Velmor asset database... (this may take "
                            "several minutes)",
                            "Asset database repaired.",
                            kCompleted,
                        }))
        << Joined(run.lines);
    EXPECT_TRUE(InstallationIs("50001"));
    EXPECT_FALSE(
        fs::exists(Sample("registry/Software/Orvik/Products/VelmorSimulator/@IsPatching")));
}

TEST_F(DownloadSession, ServerListSkipsDeadAndEmptyServers) {
    Nginx web(m_folder, m_www);
    Vsftpd ftp(m_folder, m_ftp);
    ASSERT_TRUE(web.Ok() && ftp.Ok());
    PublishChain(ftp);
    // Nobody listens on the first; the second answers 404 for patches.txt.
    const std::string dead = "http://127.0.0.1:" + std::to_string(FreePort()) + "/";
    const std::string empty = web.Url("archives/");
    WriteFile(m_folder / "servers.txt", dead + "\n" + empty + "\n" + web.Url("") + "\n");
    const CliRun run = Run({"--list=" + (m_folder / "servers.txt"), Sample("install")});
    EXPECT_EQ(run.exitCode, 0) << Joined(run.lines);
    EXPECT_TRUE(InOrder(run.lines,
                        {
                            "Unable to download patch file: " + dead + "patches.txt",
                            "Unable to download patch file: " + empty + "patches.txt",
                            "Patching from 46957 to 48249...",
                            "Patching from 48249 to 50001...",
                            kCompleted,
                        }))
        << Joined(run.lines);
    EXPECT_TRUE(InstallationIs("50001"));
}

TEST_F(DownloadSession, TruncatedArchiveIsNeverApplied) {
    PythonServer faults(m_folder, "http_fault_server.py", {m_www});
    ASSERT_TRUE(faults.Ok());
    // Every answer announces the whole archive and sends half of it.
    Publish(m_www, {"46957", "48249", faults.Url("cut-always/archives/") + kFirstArchive});
    const CliRun run = Run({"--server=" + faults.Url("plain/"), Sample("install")});
    // A failed download ends as a network failure, with a line that names the server.
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_TRUE(InOrder(run.lines, {"Downloading patch file...", kDownloadFailed, kAborted,
                                    "Hint: check that the patch server " + faults.Url("plain/") +
                                        " is reachable from here and serves its files (address, "
                                        "network, proxy). Run again with --debug (or --log=FILE) "
                                        "for the details."}))
        << Joined(run.lines);
    EXPECT_FALSE(Contains(run.lines, "Unpacking patch file..."));
    EXPECT_TRUE(NothingApplied());
}

TEST_F(DownloadSession, InterruptDuringADownloadEndsItWithoutRetries) {
    PythonServer faults(m_folder, "http_fault_server.py", {m_www});
    ASSERT_TRUE(faults.Ok());
    const std::string archive = std::string("slow/archives/") + kFirstArchive;
    Publish(m_www, {"46957", "48249", faults.Url(archive)});
    const CliRun run = Run({"--server=" + faults.Url("plain/"), Sample("install")},
                           [](const std::string& line, pid_t pid) {
                               if (line == "Downloading patch file...")
                                   kill(pid, SIGINT);
                           });
    EXPECT_EQ(run.exitCode, 130);
    EXPECT_TRUE(InOrder(run.lines, {"Cancelling patch process...", kAborted})) << Joined(run.lines);
    EXPECT_TRUE(NothingApplied());
    // The size query and at most one download: the cancelled download was not tried again.
    EXPECT_EQ(RunShell("test \"$(curl -s " + faults.Url("hits/" + archive) + ")\" -le 2"), 0);
}

}  // namespace
}  // namespace orvik_test
