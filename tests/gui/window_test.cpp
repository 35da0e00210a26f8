// The installer's window on a virtual X server, played through the X server's input: a sample
// installation, an installer that carries its two patches, and a script in place of the user.
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/e2e/cli_session.h"
#include "tests/gui/virtual_display.h"
#include "tests/support/test_folder.h"
#include "tests/transfer/test_servers.h"

namespace orvik_test {
namespace {

constexpr char kCompleted[] = "Patching completed.";
constexpr char kBlack[] = "0,0,0";
constexpr char kDarkBlue[] = "0,0,128";
constexpr char kRed[] = "255,0,0";
constexpr char kConfirmCancel[] = "Do you really want to cancel?";
constexpr char kNotesPage[] =
    "<html><body style='margin:0;font-family:sans-serif'>"
    "<a href='https://example.org/more' style='display:block;height:90px;padding:12px;"
    "background:#dde6f4;font-size:20px'>Velmor 50001: what is new</a>"
    "<h2 style='margin:12px'>Release notes</h2>"
    "<p style='margin:12px'>New routes, better trains, faster loading.</p></body></html>";

// What the driver printed: "@@ key value" lines, in order.
struct DriverRun {
    int exitCode = -1;
    std::vector<std::pair<std::string, std::string>> said;

    std::string Value(const std::string& key) const {
        for (const auto& [k, v] : said) {
            if (k == key)
                return v;
        }
        return "<none>";
    }
    std::vector<std::string> Values(const std::string& key) const {
        std::vector<std::string> values;
        for (const auto& [k, v] : said) {
            if (k == key)
                values.push_back(v);
        }
        return values;
    }
    // The log as it stood at the last close request: "colour text" per line.
    std::vector<std::string> LastLog() const {
        std::vector<std::string> lines;
        for (const auto& [k, v] : said) {
            if (k == "closing")
                lines.clear();
            else if (k == "line")
                lines.push_back(v);
        }
        return lines;
    }
};

bool HasLineEnding(const std::vector<std::string>& lines, const std::string& text) {
    for (const auto& line : lines) {
        if (line.ends_with(" " + text))
            return true;
    }
    return false;
}

class WindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { s_display = new VirtualDisplay; }
    static void TearDownTestSuite() {
        delete s_display;
        s_display = nullptr;
    }

    void SetUp() override {
        ASSERT_FALSE(s_display->Name().empty()) << "Xvfb did not start";
        ASSERT_EQ(RunShell(std::string(kPython) + " " + SampleScript() + " make " +
                           ORVIK_BINARY_DIR + " " + Sample("") + " --files 40 >/dev/null"),
                  0);
        // The driver carries the patches the way a published installer does.
        ASSERT_EQ(RunShell(std::string(ZEPHPACK_PROGRAM) + " embed " + ORVIK_TEST_PROGRAMS +
                           "/gui_driver " + Sample("gui_driver") + " --patch 46957 48249 " +
                           Sample("46957_to_48249.zpa") + " --patch 48249 50001 " +
                           Sample("48249_to_50001.zpa") + " >/dev/null"),
                  0);
        WriteFile(Sample("notes.html"), kNotesPage);
        SetReleaseNotes("file://" + Sample("notes.html"));
        // The system's browser: notes what it was asked to open.
        WriteFile(Sample("browser/xdg-open"), "#!/bin/sh\necho \"$1\" > " + BrowserMark() + "\n");
        chmod(Sample("browser/xdg-open").c_str(), 0755);
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        m_shots = std::string(SCREENSHOT_DIR) + "/" + info->name();
        std::filesystem::remove_all(m_shots);
        std::filesystem::create_directories(m_shots);
    }

    std::string Sample(const std::string& name) const { return m_folder / ("sample/" + name); }
    std::string BrowserMark() const { return Sample("browser-opened.txt"); }
    std::string Shot(const std::string& name) const { return m_shots + "/" + name + ".png"; }

    void SetReleaseNotes(const std::string& address) const {
        WriteFile(Sample("registry/SOFTWARE/Orvik/Products/VelmorSimulator/@ReleaseNotesURL"),
                  "REG_SZ\n" + address + "\n");
    }

    bool InstallationIs(const std::string& build) const {
        return RunShell(std::string(kPython) + " " + SampleScript() + " compare " +
                        Sample("install") + " " + Sample("trees/" + build) + " >/dev/null") == 0;
    }

    // Runs the driver with `script` on the virtual display and waits for it and everything it
    // started.
    DriverRun Run(const std::string& script, std::vector<std::string> arguments = {},
                  const std::string& language = "C.UTF-8") const {
        DriverRun run;
        int fds[2];
        if (pipe(fds) != 0)
            return run;
        const std::string program = Sample("gui_driver");
        arguments.insert(arguments.begin(), program);
        std::vector<char*> argv;
        for (auto& argument : arguments)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        const std::string path = Sample("browser") + ":" + std::getenv("PATH");
        const pid_t pid = fork();
        if (pid == 0) {
            dup2(fds[1], STDOUT_FILENO);
            close(fds[0]);
            close(fds[1]);
            setenv("DISPLAY", s_display->Name().c_str(), 1);
            setenv("GDK_BACKEND", "x11", 1);
            setenv("NO_AT_BRIDGE", "1", 1);
            setenv("WEBKIT_DISABLE_COMPOSITING_MODE", "1", 1);
            setenv("LANG", language.c_str(), 1);
            unsetenv("LC_ALL");
            unsetenv("LC_MESSAGES");
            setenv("PATH", path.c_str(), 1);
            setenv("ORVIK_REGISTRY_ROOT", Sample("registry").c_str(), 1);
            setenv("TEMP", Sample("temp").c_str(), 1);
            setenv("ORVIK_GUI_SCRIPT", script.c_str(), 1);
            setenv("ORVIK_GUI_SHOTS", m_shots.c_str(), 1);
            setenv("ORVIK_BROWSER_MARK", BrowserMark().c_str(), 1);
            // Under the leak checker: what the toolkit's libraries keep is theirs.
            const std::string leaks = std::string("suppressions=") + ORVIK_SOURCE_DIR +
                                      "/tests/gui/toolkit_leaks.supp:print_suppressions=0";
            setenv("LSAN_OPTIONS", leaks.c_str(), 1);
            execv(program.c_str(), argv.data());
            _exit(127);
        }
        close(fds[1]);
        std::string pending;
        char buffer[4096];
        for (ssize_t got; (got = read(fds[0], buffer, sizeof buffer)) > 0;) {
            pending.append(buffer, static_cast<size_t>(got));
            for (size_t end; (end = pending.find('\n')) != std::string::npos;) {
                const std::string line = pending.substr(0, end);
                pending.erase(0, end + 1);
                if (!line.starts_with("@@ "))
                    continue;
                const size_t space = line.find(' ', 3);
                run.said.emplace_back(line.substr(3, space - 3),
                                      space == std::string::npos ? "" : line.substr(space + 1));
            }
        }
        close(fds[0]);
        int status = 0;
        waitpid(pid, &status, 0);
        ReapChildren(s_display->Pid());
        run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return run;
    }

    static VirtualDisplay* s_display;
    TestFolder m_folder;
    std::string m_shots;
};

VirtualDisplay* WindowTest::s_display = nullptr;

TEST_F(WindowTest, ApplyUpdateRunsToExitWithoutQuestion) {
    const DriverRun run = Run("standalone", {"--debug"});
    ASSERT_EQ(run.exitCode, 0) << run.Value("timeout");
    // The idle window as laid out.
    EXPECT_EQ(run.Value("title"), "[Orvik Patcher]");
    EXPECT_EQ(run.Value("size"), "900x800");
    EXPECT_EQ(run.Value("caret"), "0");
    EXPECT_EQ(run.Value("window-class"), "InstallPatchGUI");
    EXPECT_EQ(run.Value("icon-sizes"), "7");
    EXPECT_EQ(run.Value("apply"), "Apply Update");
    EXPECT_EQ(run.Value("cancel"), "Cancel");
    EXPECT_EQ(run.Value("install-label"), "Patching install:");
    EXPECT_EQ(run.Value("path"), Sample("install") + "/");
    EXPECT_EQ(run.Value("web-shown"), "1");
    EXPECT_EQ(run.Value("choose-enabled"), "1");

    const std::vector<std::string> log = run.LastLog();
    ASSERT_FALSE(log.empty());
    // No line feed before the first line; level 0 shows in debug mode, in dark blue.
    EXPECT_NE(log.front(), "-");
    EXPECT_TRUE(InOrder(log, {
                                 std::string(kBlack) + " Ready to install from local patch file.",
                                 std::string(kDarkBlue) + " Installing local patches",
                                 std::string(kBlack) + " Unpacking patch file...",
                                 std::string(kBlack) + " Patching from 46957 to 48249...",
                                 std::string(kBlack) + " Patching from 48249 to 50001...",
                                 std::string(kBlack) + " There are no more patches for this build.",
                                 std::string(kBlack) + " Asset database repaired.",
                                 std::string(kBlack) + " " + kCompleted,
                             }));
    EXPECT_EQ(run.Value("patches-installed"), "2");
    EXPECT_EQ(run.Value("apply-enabled"), "0");
    EXPECT_EQ(run.Value("gauge-full"), "1");
    // "Exit" closed the window at once.
    EXPECT_EQ(run.Value("question"), "<none>");
    EXPECT_EQ(run.Value("exit"), "0");
    EXPECT_TRUE(InstallationIs("50001"));
    for (const char* shot : {"idle", "running", "finished"})
        EXPECT_TRUE(std::filesystem::exists(Shot(shot))) << shot;
}

TEST_F(WindowTest, CloseBoxAsksAndOnlyYesCancels) {
    // A slow asset-database repair keeps the session running after both patches.
    WriteFile(Sample("install/bin/VelmorUtil.cfg"), "repair=progress\nlines=60\ninterval=0.25\n");
    const DriverRun run = Run("cancel");
    ASSERT_EQ(run.exitCode, 0) << run.Value("timeout");
    const std::vector<std::string> questions = run.Values("question");
    ASSERT_EQ(questions.size(), 2u);
    // Before any patch, then after one: the warning that installed patches stay.
    EXPECT_EQ(questions[0], kConfirmCancel);
    EXPECT_TRUE(
        questions[1].starts_with("Warning: One or more patches have been successfully "
                                 "installed"))
        << questions[1];
    EXPECT_EQ(run.Value("question-caption"), "[Orvik Patcher]");
    // Return chose the default answer, No: the session went on.
    EXPECT_EQ(run.Value("running-after-no"), "1");
    EXPECT_EQ(run.Value("shown-after-no"), "1");
    // The confirmed cancel takes "Cancel" away; only the ended session offers "Exit".
    EXPECT_THAT(run.Value("cancel-button"), testing::AnyOf("Cancel disabled", "Exit enabled"));
    const std::vector<std::string> log = run.LastLog();
    EXPECT_TRUE(InOrder(log, {std::string(kBlack) + " Patching from 46957 to 48249...",
                              std::string(kRed) + " Cancelling patch process..."}));
    // The window closed by itself, and only once the worker had ended with its last line.
    ASSERT_FALSE(log.empty());
    EXPECT_TRUE(log.back().ends_with(" Patching aborted.") ||
                log.back().ends_with(std::string(" ") + kCompleted))
        << log.back();
    EXPECT_EQ(run.Value("exit"), "0");
    for (const char* shot : {"question", "question-after-patch", "cancelling"})
        EXPECT_TRUE(std::filesystem::exists(Shot(shot))) << shot;
}

TEST_F(WindowTest, YesAfterTheSessionEndedKeepsItsResult) {
    WriteFile(Sample("install/bin/VelmorUtil.cfg"), "repair=progress\nlines=8\ninterval=0.25\n");
    const DriverRun run = Run("cancel-after-finish");
    ASSERT_EQ(run.exitCode, 0) << run.Value("timeout");
    EXPECT_EQ(run.Value("shown-after-yes"), "1");
    const std::vector<std::string> log = run.LastLog();
    EXPECT_TRUE(HasLineEnding(log, kCompleted));
    EXPECT_FALSE(HasLineEnding(log, "Cancelling patch process..."));
    EXPECT_TRUE(std::filesystem::exists(Shot("result-kept")));
}

TEST_F(WindowTest, DownloadShowsItsProgressAndLeavesNoStaleStatus) {
    // The installer without patches of its own, and a server that sends them slowly.
    std::filesystem::copy_file(std::string(ORVIK_TEST_PROGRAMS) + "/gui_driver",
                               Sample("gui_driver"),
                               std::filesystem::copy_options::overwrite_existing);
    const std::string www = m_folder / "www";
    std::filesystem::create_directories(www);
    for (const char* archive : {"46957_to_48249.zpa", "48249_to_50001.zpa"})
        std::filesystem::copy_file(Sample(archive), www + "/" + archive);
    ASSERT_EQ(RunShell(std::string(ZEPHPACK_PROGRAM) + " catalogue " + www +
                       "/patches.txt 46957 48249 46957_to_48249.zpa 48249 50001 "
                       "48249_to_50001.zpa >/dev/null"),
              0);
    transfer_test::PythonServer server(m_folder, "http_fault_server.py", {www});
    const DriverRun run = Run("download", {"--server=" + server.Url("crawl/"), Sample("install")});
    ASSERT_EQ(run.exitCode, 0) << run.Value("timeout");
    EXPECT_TRUE(run.Value("status").starts_with("Download Progress ")) << run.Value("status");
    EXPECT_EQ(run.Value("gauge-range"), "100");
    EXPECT_EQ(run.Value("status-after"), "[]");
    EXPECT_EQ(run.Value("patches-installed"), "2");
    EXPECT_TRUE(HasLineEnding(run.LastLog(), kCompleted));
    EXPECT_TRUE(InstallationIs("50001"));
    EXPECT_TRUE(std::filesystem::exists(Shot("downloading")));
}

TEST_F(WindowTest, LabelsFollowTheLocaleButFixedTextsStayEnglish) {
    // A page that cannot load leaves the web area hidden.
    SetReleaseNotes("file://" + Sample("missing.html"));
    const DriverRun run = Run("idle", {}, "de_DE.UTF-8");
    ASSERT_EQ(run.exitCode, 0) << run.Value("timeout");
    EXPECT_EQ(run.Value("install-label"), "Zu patchende Installation:");
    EXPECT_EQ(run.Value("apply"), "Apply Update");
    EXPECT_EQ(run.Value("cancel"), "Cancel");
    EXPECT_EQ(run.Value("web-shown"), "0");
    const std::vector<std::string> log = run.LastLog();
    ASSERT_FALSE(log.empty());
    EXPECT_FALSE(HasLineEnding(log, "Ready to install from local patch file."));
    // Without the debug switch no level 0 line is shown.
    for (const auto& line : log)
        EXPECT_FALSE(line.starts_with(kDarkBlue)) << line;
    // "Cancel" without a session closes at once.
    EXPECT_EQ(run.Value("question"), "<none>");
    EXPECT_EQ(run.Value("exit"), "0");
}

TEST_F(WindowTest, LinkInLoadedPageOpensInTheBrowser) {
    const DriverRun run = Run("link");
    ASSERT_EQ(run.exitCode, 0) << run.Value("timeout");
    EXPECT_EQ(run.Value("link-guard"), "1");
    std::ifstream mark(BrowserMark());
    std::string opened;
    std::getline(mark, opened);
    EXPECT_EQ(opened, "https://example.org/more");
    // The page itself stayed where it was.
    EXPECT_EQ(run.Value("page-url"), "file://" + Sample("notes.html"));
}

}  // namespace
}  // namespace orvik_test
