#include "cli/CliOptions.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "base/TextTable.h"
#include "cli/ExitCodes.h"

namespace qor::cli {
namespace {

TResult<TCliOptions, TUsageError> Parse(std::vector<std::string> args) {
    return ParseCommandLine(args);
}

TEST(CliOptions, OptionsGoBeforeOrAfterTheCommandInEitherSpelling) {
    const auto options = Parse({"--json", "flash", "--wait=2.5", "image.bin", "--port", "ttyUSB3",
                                "--power-off", "--lang", "fr"});
    ASSERT_TRUE(options) << options.Error().Message;
    EXPECT_EQ(options->Command, TCommand::Flash);
    EXPECT_EQ(options->File, "image.bin");
    EXPECT_EQ(options->Wait, std::chrono::milliseconds(2500));
    EXPECT_EQ(options->Port, "ttyUSB3");
    EXPECT_TRUE(options->PowerOffAfter);
    EXPECT_TRUE(options->Json);
    EXPECT_EQ(options->Language, LangFrench);

    // After "--" a file may look like an option.
    const auto dashed = Parse({"flash", "--", "--odd.bin"});
    ASSERT_TRUE(dashed);
    EXPECT_EQ(dashed->File, "--odd.bin");

    const auto download = Parse({"download", "--variant", "b", "--out=fw.bin", "--proxy",
                                 "proxy.local:3128", "--proxy-user", "tech"});
    ASSERT_TRUE(download) << download.Error().Message;
    EXPECT_EQ(download->Variant, 'b');
    EXPECT_EQ(download->Out, "fw.bin");
    EXPECT_EQ(download->Proxy.Mode, TProxyChoice::TMode::Given);
    EXPECT_EQ(download->Proxy.Server, "proxy.local");
    EXPECT_EQ(download->Proxy.Port, 3128);
    EXPECT_EQ(download->Proxy.User, "tech");

    const auto all = Parse({"flash", "--download", "--all", "--expect", "8", "--power-off",
                            "--serial", "FT7316A1", "--serial=FT7316B2", "--serial", "FT7316A1",
                            "--skip-current", "--retries", "5"});
    ASSERT_TRUE(all) << all.Error().Message;
    EXPECT_TRUE(all->All);
    EXPECT_EQ(all->Expect, 8u);
    EXPECT_TRUE(all->Download);
    EXPECT_EQ(all->Serials, (std::vector<std::string>{"FT7316A1", "FT7316B2"}));
    EXPECT_TRUE(all->SkipCurrent);
    EXPECT_EQ(all->Retries, 5u);
}

TEST(CliOptions, WhatIsNotUnderstoodIsAUsageErrorThatSaysWhat) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases{
        {{"fetch"}, "unknown command 'fetch'"},
        {{"info", "--verbose"}, "unknown option '--verbose'"},
        {{"flash"}, "flash takes one image FILE"},
        {{"flash", "a.bin", "b.bin"}, "flash takes one image FILE"},
        {{"flash", "a.bin", "--download"}, "flash takes one image FILE"},
        {{"flash", "a.bin", "--no-proxy"}, "the proxy options go with --download"},
        {{"flash", "a.bin", "--variant", "a"}, "does not go with this command"},
        {{"info", "--power-off"}, "does not go with this command"},
        {{"download", "--variant", "c"}, "--variant takes a or b"},
        {{"info", "--lang", "it"}, "--lang takes de, en, fr or es"},
        {{"info", "--wait", "-1"}, "--wait needs a number of seconds"},
        {{"info", "--wait", "soon"}, "--wait needs a number of seconds"},
        {{"info", "--wait", "nan"}, "--wait needs a number of seconds"},
        {{"info", "--wait"}, "--wait needs a number of seconds"},
        {{"info", "--port"}, "is not used that way"},
        {{"info", "--json=yes"}, "is not used that way"},
        {{"download", "--proxy", "host"}, "--proxy takes HOST:PORT"},
        {{"download", "--proxy", "host:70000"}, "--proxy takes HOST:PORT"},
        {{"download", "--proxy-user", "tech"}, "--proxy-user goes with --proxy"},
        {{"list", "extra"}, "unexpected argument 'extra'"},
        {{"info", "--all"}, "does not go with this command"},
        {{"flash", "a.bin", "--all", "--port", "VQ1"}, "--all and --port do not go together"},
        {{"flash", "a.bin", "--expect", "2"}, "--expect goes with --all"},
        {{"flash", "a.bin", "--all", "--expect", "0"}, "--expect needs a number of devices"},
        {{"flash", "a.bin", "--all", "--expect", "128"}, "--expect needs a number of devices"},
        {{"flash", "a.bin", "--all", "--expect", "2x"}, "--expect needs a number of devices"},
        {{"list", "--serial", "A1", "--port", "VQ1"}, "--serial and --port do not go together"},
        {{"info", "--serial", "A1", "--serial", "B2"}, "several --serial go with list and flash"},
        {{"flash", "a.bin", "--serial", "A1", "--serial", "B2"}, "several --serial go with"},
        {{"info", "--serial="}, "--serial needs a serial number"},
        {{"flash", "a.bin", "--retries", "6"}, "--retries needs a number from 0 to 5"},
        {{"info", "--retries", "1"}, "does not go with this command"},
        {{"power-off", "--skip-current"}, "does not go with this command"},
    };
    for (const auto& [args, message] : cases) {
        const auto options = Parse(args);
        ASSERT_FALSE(options) << args.front();
        EXPECT_NE(options.Error().Message.find(message), std::string::npos)
            << options.Error().Message;
    }
}

TEST(CliOptions, HelpWinsOverEverythingElse) {
    EXPECT_EQ(Parse({})->Command, TCommand::Help);
    EXPECT_EQ(Parse({"flash", "--help"})->Command, TCommand::Help);
    EXPECT_EQ(Parse({"help"})->Command, TCommand::Help);
}

// Scripts rely on the codes: the help and the README must name every one of them.
TEST(CliOptions, TheHelpAndTheReadmeListEveryExitCode) {
    const std::string help = HelpText("qor7316-update");
    std::ifstream file(QOR_README);
    ASSERT_TRUE(file) << QOR_README;
    std::stringstream readme;
    readme << file.rdbuf();
    int previous = -1;
    for (const TExitDoc& doc : ExitCodeTable()) {
        EXPECT_GT(doc.Code, previous);
        previous = doc.Code;
        const std::string code = std::to_string(doc.Code);
        EXPECT_NE(help.find("  " + code + "  "), std::string::npos) << code;
        EXPECT_NE(readme.str().find("| " + code + " | `" + doc.Name + "`"), std::string::npos)
            << "README lacks exit code " << code;
    }
    EXPECT_NE(help.find("With --all the exit code is 0 when every device was updated"),
              std::string::npos);
    EXPECT_NE(readme.str().find("the exit code is 0 when every device was updated, otherwise"),
              std::string::npos);
    EXPECT_EQ(UpdateFailureExitCode(2), 12);
    EXPECT_STREQ(OutcomeName(12), "update-failed-2");
}

} // namespace
} // namespace qor::cli
