// The page renderer's pieces: a child that crashes, the page-file pattern that is
// cleared, and the line of Ghostscript's output that becomes the reason.

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>

#include <gtest/gtest.h>

#include "documents_ghostscript.h"
#include "page_renderer.h"
#include "test_support.h"

namespace morvane::test {
namespace {

using Names = std::vector<std::string>;

TEST(RunInChild, CrashIsAFailureNamingTheSignal) {
    const ChildOutcome outcome = run_in_child(
        [](std::string&) -> bool {
            std::signal(SIGABRT, SIG_DFL);
            std::abort();
        },
        std::chrono::seconds(10));
    EXPECT_FALSE(outcome.done);
    EXPECT_TRUE(outcome.message.starts_with("the renderer stopped on signal SIGABRT"))
        << outcome.message;
}

TEST(PageFiles, RemovalTakesOnlyThePatternOfThatBase) {
    TempDir dir;
    for (const char* page : {"a b_00001.pnm", "a b_99999.pnm", "a b.pnm"}) {
        write_file(dir / page, "p");
    }
    Names others = {"a b_0001.pnm",   "a b_000001.pnm", "a b_0000x.pnm",  "a b_00001.pnm~",
                    "a bc_00001.pnm", "a_00001.pnm",    "xa b_00001.pnm", "a b_00001.PNM"};
    for (const std::string& name : others) write_file(dir / name, "o");
    remove_page_files(dir.path(), "a b");
    std::sort(others.begin(), others.end());
    EXPECT_EQ(list_folder(dir.path()), others);
}

struct LineCase {
    const char* output;
    const char* line;
};

class TellingLine : public ::testing::TestWithParam<LineCase> {};

TEST_P(TellingLine, IsTheFirstErrorElseTheFirstLine) {
    EXPECT_EQ(ghostscript::telling_line(GetParam().output), GetParam().line);
}

INSTANTIATE_TEST_SUITE_P(
    Ghostscript, TellingLine,
    ::testing::Values(
        LineCase{"Error: /undefined in bar\nOperand stack:\n   foo\n", "Error: /undefined in bar"},
        LineCase{"   **** Error: Couldn't initialise file.\n      Output may be incorrect.\n",
                 "Error: Couldn't initialise file."},
        LineCase{"\nRequested FirstPage is greater than the number of pages: 3\n"
                 "   No pages will be processed (FirstPage > LastPage).\n",
                 "Requested FirstPage is greater than the number of pages: 3"},
        LineCase{" \r\n\t\n", ""}));

}  // namespace
}  // namespace morvane::test
