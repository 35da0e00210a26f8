#include "app/core/command_line.h"

#include <gtest/gtest.h>

#include "app/core/patcher_options.h"
#include "kernel/messages/message_catalogue.h"

namespace {

using namespace ZephPatch;
using Args = std::vector<std::string>;

CmdLineParser MakeParser() {
    using K = CmdLineKind;
    return CmdLineParser({{K::kSwitch, "a", "admin", "no escalation", ""},
                          {K::kParam, "c", "", "current", ""},
                          {K::kOption, "s", "server", "server address", "str"},
                          {K::kSwitch, "d", "debug", "", ""},
                          {K::kParam, "t", "", "target", ""}});
}

TEST(CommandLine, OptionValuesAfterEqualsOrAsNextArgument) {
    CmdLineParser parser = MakeParser();
    std::string value;
    ASSERT_TRUE(parser.Parse({"--server=a;b", "46957"}));
    EXPECT_TRUE(parser.Found("s", &value));
    EXPECT_EQ(value, "a;b");
    ASSERT_TRUE(parser.Parse({"-s", "--not-an-option", "dir"}));
    EXPECT_TRUE(parser.Found("server", &value));
    EXPECT_EQ(value, "--not-an-option");
    ASSERT_TRUE(parser.Parse({"-s=", "--server", "x=y"}));
    EXPECT_TRUE(parser.Found("server", &value));
    EXPECT_EQ(value, "x=y") << "the last one counts";
}

TEST(CommandLine, SwitchesGroupAndParametersGoAnywhere) {
    CmdLineParser parser = MakeParser();
    ASSERT_TRUE(parser.Parse({"46957", "-ad", "--", "-dir-with-dash"}));
    EXPECT_TRUE(parser.Found("admin"));
    EXPECT_TRUE(parser.Found("d"));
    EXPECT_FALSE(parser.Found("server"));
    EXPECT_EQ(parser.Params(), (Args{"46957", "-dir-with-dash"}));
    ASSERT_TRUE(parser.Parse({"-"}));
    EXPECT_EQ(parser.Params(), Args{"-"});
}

TEST(CommandLine, SyntaxErrorsLeaveNothingFound) {
    CmdLineParser parser = MakeParser();
    const std::vector<std::pair<Args, std::string>> cases = {
        {{"-a", "--bogus"}, "Unknown long option 'bogus'"},
        {{"-a", "-x"}, "Unknown option 'x'"},
        {{"-as"}, "Unknown option 'as'"},
        {{"-a", "--server"}, "Option 'server' requires a value."},
        {{"--admin=yes"}, "Unexpected value for the switch 'admin'."},
        {{"-a", "one", "two", "three"}, "Unexpected parameter 'three'"},
    };
    for (const auto& [arguments, error] : cases) {
        EXPECT_FALSE(parser.Parse(arguments)) << error;
        EXPECT_EQ(parser.Error(), error);
        EXPECT_FALSE(parser.Found("admin")) << error;
        EXPECT_TRUE(parser.Params().empty()) << error;
    }
}

TEST(CommandLine, UsageListsSynopsisAndOneLinePerOption) {
    SetMessageLanguage(LANGUAGE_ENGLISH);
    const std::string usage = CmdLineParser(PatcherOptionTable()).Usage("InstallPatchCLI");
    SetMessageLanguage(LANGUAGE_NEUTRAL);
    // The synopsis is wrapped within 80 columns, under the first item.
    EXPECT_TRUE(usage.starts_with(
        "Usage: InstallPatchCLI [-h] [-a] [current_install_version] [-l <str>] [-s <str>]\n"
        "                       [-f <str>] [target_directory] [-r] [-o <str>] [-d]\n"))
        << usage;
    EXPECT_NE(usage.find("\n  -h, --help          print usage\n"), std::string::npos) << usage;
    EXPECT_NE(usage.find("\n  -s, --server=<str>  FTP patch server address\n"), std::string::npos);
    EXPECT_NE(usage.find("\n  -d, --debug\n"), std::string::npos);
    // An option without a short name goes by its long one.
    const std::string longOnly =
        CmdLineParser({{CmdLineKind::kOption, "", "log", "the log", "FILE"},
                       {CmdLineKind::kSwitch, "v", "verbose", "more", ""}})
            .Usage("x");
    EXPECT_EQ(longOnly,
              "Usage: x [--log <FILE>] [-v]\n      --log=<FILE>  the log\n"
              "  -v, --verbose     more\n");
}

TEST(CommandLine, QuotedFolderEndingInBackslashIsRepaired) {
    Args arguments = {"InstallPatchGUI.exe",
                      "C:\\Program Files\\Velmor\\\"",
                      "in\"side",
                      "\\\"",
                      "plain\\",
                      "\""};
    RepairQuotedArguments(arguments);
    EXPECT_EQ(arguments, (Args{"InstallPatchGUI.exe", "C:\\Program Files\\Velmor\\", "in\"side",
                               "\\", "plain\\", "\""}));
}

}  // namespace
