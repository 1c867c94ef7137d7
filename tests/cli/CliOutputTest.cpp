#include <gtest/gtest.h>

#include <sstream>

#include "cli/Reporter.h"

namespace qor::cli {
namespace {

TProgress Blocks(std::uint64_t done, std::uint64_t total) {
    return TProgress{"write", "Updating", done, total, "blocks", {}};
}

TEST(CliReporter, ATerminalGetsOneBarRedrawnInPlace) {
    std::ostringstream out;
    std::ostringstream err;
    {
        const auto report = MakeTextReporter(out, err, true);
        for (std::uint64_t done = 1; done <= 124; ++done) {
            report->Progress(Blocks(done, 124));
        }
        report->Event(TEvent{"result", {"Update finished successfully!"}, {}, false});
    }
    const std::string text = out.str();
    EXPECT_EQ(std::count(text.begin(), text.end(), '\r'), 124);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2) << "the bar's line, then the result";
    EXPECT_NE(text.find("] 100% (124/124 blocks)"), std::string::npos);
    EXPECT_NE(text.find("[###############---------------] 50% (62/124 blocks)"), std::string::npos);
    EXPECT_TRUE(err.str().empty());
}

TEST(CliReporter, OtherwiseAPlainLineEveryTenthAndProblemsOnTheErrorStream) {
    std::ostringstream out;
    std::ostringstream err;
    const auto report = MakeTextReporter(out, err, false);
    for (std::uint64_t done = 1; done <= 124; ++done) {
        report->Progress(Blocks(done, 124));
    }
    report->Event(TEvent{"result", {"Update failed!", "Update fehlgeschlagen: 2:17"}, {}, true});
    const std::string text = out.str();
    EXPECT_EQ(text.find('\r'), std::string::npos);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 11) << text;
    EXPECT_EQ(text.substr(0, text.find('\n')), "Updating 0% (1/124 blocks)");
    EXPECT_NE(text.find("Updating 100% (124/124 blocks)\n"), std::string::npos);
    EXPECT_EQ(err.str(), "Update failed!\nUpdate fehlgeschlagen: 2:17\n");
}

TEST(CliReporter, JsonIsOneObjectPerLine) {
    std::ostringstream out;
    const auto report = MakeJsonReporter(out);
    TProgress progress = Blocks(3, 124);
    progress.Fields.Add("block", 2);
    report->Progress(progress);
    report->Progress(TProgress{"download", "Downloading", 512, std::nullopt, "bytes", {}});
    TEvent event{"result", {"Update failed!", "Update fehlgeschlagen: 0"}, {}, true};
    event.Fields.Add("exit", 10);
    report->Event(event);
    EXPECT_EQ(out.str(),
              "{\"event\":\"progress\",\"phase\":\"write\",\"done\":3,\"total\":124,"
              "\"unit\":\"blocks\",\"block\":2}\n"
              "{\"event\":\"progress\",\"phase\":\"download\",\"done\":512,\"total\":null,"
              "\"unit\":\"bytes\"}\n"
              "{\"event\":\"result\",\"exit\":10,"
              "\"message\":\"Update failed!\\nUpdate fehlgeschlagen: 0\"}\n");
}

} // namespace
} // namespace qor::cli
