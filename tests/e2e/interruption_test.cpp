// The installer with its two embedded patches, killed (SIGKILL) at its file operations and at
// moments in time, then run once more: that one run must end at the final build, byte for
// byte, with the whole uninstall log and nothing of ours left in the installation or in TEMP.
// strace does the killing: "inject=CALL:signal=KILL:when=N" kills before a thread's N-th CALL
// (counted per thread, so N walks the patch worker's calls). CI kills at a sample of the calls;
// KILL_CAMPAIGN_STRIDE=1 (make kill-sweep) kills at every one.
#include <signal.h>
#include <sys/prctl.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <limits>
#include <map>
#include <optional>
#include <sstream>

#include "tests/e2e/cli_session.h"

namespace orvik_test {
namespace {

namespace fs = std::filesystem;

constexpr char kStrace[] = "/usr/bin/strace";
constexpr char kFilesInUse[] = "Unable to patch - files in use.";
// Renames, deletions and flushes of the applier and the uninstall log, and the start
// (pidfd_open) and end (wait4) of every program the installer runs.
const std::vector<std::string> kCalls = {"rename", "unlink",     "fsync",
                                         "syncfs", "pidfd_open", "wait4"};
#if defined(__SANITIZE_ADDRESS__)
constexpr int kSampledKills = 12, kTimedKills = 3;
#else
constexpr int kSampledKills = 30, kTimedKills = 5;
#endif

std::string Digest(const std::string& folder) {
    std::ostringstream text;
    for (const auto& item : fs::recursive_directory_iterator(folder)) {
        text << item.path().string() << "\n";
        if (item.is_regular_file())
            text << std::hash<std::string>{}(ReadFile(item.path().string())) << "\n";
    }
    return text.str();
}

class Interruption : public CliSession {
protected:
    void SetUp() override {
        ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);  // the killed runs' programs come here
        CliSession::SetUp();
        fs::copy_file(std::string(ORVIK_SOURCE_DIR) + "/tests/fixtures/unins/emu8086_unins000.dat",
                      Sample("install/unins000.dat"));
        WriteFile(Sample("install/bin/VelmorUtil.cfg"), "lines=1\ninterval=0\n");
        fs::copy(Sample("install"), Sample("pristine"), fs::copy_options::recursive);
    }

    // The installation as it was made, an empty TEMP, no patching mark.
    void Restore() {
        for (const char* folder : {"install", "temp"})
            fs::remove_all(Sample(folder));
        fs::copy(Sample("pristine"), Sample("install"), fs::copy_options::recursive);
        fs::create_directories(Sample("temp"));
        fs::remove(Sample(kPatchingMark));
    }

    // Waits for the programs a killed installer left running.
    static void ReapOrphans() {
        while (waitpid(-1, nullptr, 0) > 0) {
        }
    }

    CliRun Traced(const std::string& calls, const std::string& output,
                  const std::string& inject = "") const {
        // Only the calls named stop the installer (seccomp), so that tracing costs little; the
        // leak checker of a sanitized build cannot work under a tracer.
        std::vector<std::string> arguments = {
            "-f",   "-qq", "--seccomp-bpf", "-E", "ASAN_OPTIONS=detect_leaks=0", "-o",
            output, "-e",  "trace=" + calls};
        if (!inject.empty())
            arguments.insert(arguments.end(), {"-e", "inject=" + calls + ":signal=KILL:" + inject});
        arguments.push_back(Sample("InstallPatchCLI"));
        return RunCli(kStrace, Sample("registry"), Sample("temp"), arguments);
    }

    // One uninterrupted run: the final uninstall log, how long a run takes, and how often the
    // busiest thread makes each call.
    void Reference() {
        Restore();
        const std::string trace = m_folder / "trace";
        const auto start = std::chrono::steady_clock::now();
        ASSERT_EQ(Traced("rename,unlink,fsync,syncfs,pidfd_open,wait4", trace).exitCode, 0);
        m_runSeconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        ASSERT_TRUE(InstallationIs("50001"));
        m_finalLog = ReadFile(Sample("install/unins000.dat"));
        std::map<std::string, int> perThread;
        std::ifstream lines(trace);
        for (std::string pid, call; lines >> pid >> call;) {
            lines.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
            call = call.substr(0, call.find('('));  // "<... resumed>" and signals are no call
            if (std::find(kCalls.begin(), kCalls.end(), call) != kCalls.end()) {
                m_callCounts[call] = std::max(m_callCounts[call], ++perThread[pid + call]);
                ++m_callTotals[call];
            }
        }
    }

    // Runs the installer once more and checks where that leaves the installation.
    void ExpectSettledByOneRun(const std::string& moment) {
        SCOPED_TRACE(moment);
        ReapOrphans();
        const CliRun rerun = Run();
        const bool final = InstallationIs("50001");
        const bool logWhole = ReadFile(Sample("install/unins000.dat")) == m_finalLog;
        const bool clean = fs::is_empty(Sample("temp")) && !fs::exists(Sample(kPatchingMark));
        EXPECT_TRUE(final && logWhole) << "final tree " << final << ", log " << logWhole;
        EXPECT_TRUE(clean) << Digest(Sample("temp"));
        ++m_kills;
        m_settled += final && logWhole;
        m_leftovers += !clean;
    }

    static constexpr char kPatchingMark[] =
        "registry/Software/Orvik/Products/VelmorSimulator/@IsPatching";
    std::string m_finalLog;
    std::map<std::string, int> m_callCounts;
    // Over all threads: the patch tools run on a few threads beside the patch worker.
    std::map<std::string, int> m_callTotals;
    double m_runSeconds = 0;
    int m_kills = 0, m_settled = 0, m_leftovers = 0;
};

TEST_F(Interruption, OneRunSettlesEveryKill) {
    Reference();
    ASSERT_FALSE(HasFatalFailure());
    int total = 0;
    for (const auto& call : kCalls)
        total += m_callCounts[call];
    ASSERT_GT(m_callTotals["pidfd_open"], 10);
    const char* given = std::getenv("KILL_CAMPAIGN_STRIDE");
    const int stride = given ? std::max(1, std::atoi(given)) : 0;
    for (const auto& call : kCalls) {
        const int count = m_callCounts[call];
        // The sample: points spread over each call's range, as many as its share of all calls.
        const int points =
            stride ? (count + stride - 1) / stride : std::max(1, kSampledKills * count / total);
        for (int k = 0; k < points; ++k) {
            const int n = stride ? 1 + k * stride : 1 + (2 * k + 1) * count / (2 * points);
            Restore();
            Traced(call, "/dev/null", "when=" + std::to_string(n));
            ExpectSettledByOneRun("killed before call " + std::to_string(n) + " of " +
                                  std::to_string(count) + " " + call);
        }
    }
    for (int step = 1; step <= kTimedKills; ++step) {
        Restore();
        const std::string seconds = std::to_string(m_runSeconds * step / (kTimedKills + 1));
        // Killed on purpose: the next run shows what it left.
        (void)RunCli("/usr/bin/timeout", Sample("registry"), Sample("temp"),
                     {"--foreground", "-s", "KILL", seconds, Sample("InstallPatchCLI")});
        ExpectSettledByOneRun("killed after " + seconds + " s");
    }
    std::cout << "kill campaign: " << m_kills << " kills, " << m_settled
              << " ended at the final build after one more run, " << m_leftovers
              << " left something behind\n";
}

// A second installer on the same installation, while the first one unpacks, refuses with the
// files-in-use message (as a patch and as a repair) and changes nothing; once the first is
// killed, the next run finds the installation free and finishes the job.
TEST_F(Interruption, SecondInstallerRefusesWhileTheFirstRuns) {
    Restore();
    std::optional<CliRun> second, repair;
    std::string before, after;
    // Killed on purpose: the next run shows what it left.
    (void)Run({}, [&](const std::string& line, pid_t first) {
        if (line != "Unpacking patch file..." || second)
            return;
        kill(first, SIGSTOP);
        before = Digest(Sample("install"));
        second = Run();
        repair = Run({"--repair"});
        after = Digest(Sample("install"));
        kill(first, SIGKILL);
    });
    ASSERT_TRUE(second && repair);
    for (const CliRun* refused : {&*second, &*repair}) {
        EXPECT_EQ(refused->exitCode, 5);  // files in use
        EXPECT_TRUE(Contains(refused->lines, kFilesInUse));
    }
    EXPECT_TRUE(before == after) << "the refused installers changed the installation";

    ReapOrphans();
    const CliRun next = Run();
    EXPECT_EQ(next.exitCode, 0);
    EXPECT_TRUE(InstallationIs("50001"));
    EXPECT_TRUE(fs::is_empty(Sample("temp")));
}

}  // namespace
}  // namespace orvik_test
