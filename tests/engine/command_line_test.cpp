#include "command_line.h"

#include <gtest/gtest.h>

namespace morvane {
namespace {

using Fields = std::vector<std::string>;

struct SplitCase {
    const char* name;
    std::string line;
    Fields fields;
};

class SplitCommandLine : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitCommandLine, Fields) {
    EXPECT_EQ(split_command_line(GetParam().line), GetParam().fields);
}

INSTANTIATE_TEST_SUITE_P(
    Engine, SplitCommandLine,
    ::testing::Values(SplitCase{"empty", "", {}}, SplitCase{"only_bars", "|||", {}},
                      SplitCase{
                          "g_form", "G|/x/Tarvik_morvane.ini", {"G", "/x/Tarvik_morvane.ini"}},
                      SplitCase{"quoted_whole", "\"C|/jobs/a.ini\"", {"C", "/jobs/a.ini"}},
                      SplitCase{"doubled_bar", "C||/a.ini", {"C", "/a.ini"}},
                      SplitCase{"bars_at_ends", "|P|/in/a.png|", {"P", "/in/a.png"}},
                      SplitCase{"blanks_are_kept", "P|/in/my pic.png", {"P", "/in/my pic.png"}},
                      SplitCase{"eleven_fields",
                                "1|2|3|4|5|6|7|8|9|10|11",
                                {"1", "2", "3", "4", "5", "6", "7", "8", "9", "10"}},
                      SplitCase{"lone_quote", "\"", {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SplitCommandLine, OnlyTheWorkBufferIsParsed) {
    const std::string line = "C|" + std::string(20000, 'a');
    const Fields fields = split_command_line(line);
    ASSERT_EQ(fields.size(), 2u);
    EXPECT_EQ(fields[1].size(), kCommandLineBuffer - 1 - 2);
}

TEST(JoinArguments, SingleBlanksBetweenArguments) {
    char program[] = "Tarvik_morvane", a[] = "P|/in/my", b[] = "pic.png";
    char* argv[] = {program, a, b, nullptr};
    EXPECT_EQ(join_arguments(3, argv), "P|/in/my pic.png");
    EXPECT_EQ(join_arguments(1, argv), "");
}

struct FormCase {
    const char* name;
    Fields fields;
    bool complete;
    bool monitored;
    RunMode mode;
    std::string job_file;
    std::string source;
    std::string output;
};

constexpr const char* kDefault = "/prog/Tarvik_morvane.ini";

class SelectForm : public ::testing::TestWithParam<FormCase> {};

TEST_P(SelectForm, FieldsChooseTheRun) {
    const FormCase& c = GetParam();
    const Invocation call = select_form(c.fields, kDefault);
    EXPECT_EQ(call.complete, c.complete);
    // The job file decides the single-instance lock, for a form that ends at once too.
    EXPECT_EQ(call.job_file, c.job_file);
    if (!c.complete) return;
    EXPECT_EQ(call.monitored, c.monitored);
    EXPECT_EQ(call.mode, c.mode);
    EXPECT_EQ(call.source, c.source);
    EXPECT_EQ(call.output, c.output);
}

constexpr RunMode F = RunMode::Folders;
constexpr RunMode S = RunMode::SingleFile;

INSTANTIATE_TEST_SUITE_P(
    Engine, SelectForm,
    ::testing::Values(
        FormCase{"no_field", {}, true, false, F, kDefault, "", ""},
        FormCase{"c_names_the_job", {"C", "/j.ini"}, true, false, F, "/j.ini", "", ""},
        FormCase{"c_alone", {"C"}, false, false, F, kDefault, "", ""},
        FormCase{
            "g_names_the_job", {"G", "/jobs/other.ini"}, true, true, F, "/jobs/other.ini", "", ""},
        FormCase{"g_further_fields_are_ignored",
                 {"G", "/my jobs/a.ini", "extra"},
                 true,
                 true,
                 F,
                 "/my jobs/a.ini",
                 "",
                 ""},
        FormCase{"g_alone", {"G"}, false, false, F, kDefault, "", ""},
        FormCase{
            "p_three", {"P", "/a.png", "/b.jpg"}, true, false, S, kDefault, "/a.png", "/b.jpg"},
        FormCase{"p_two", {"P", "/a.png"}, true, false, S, kDefault, "/a.png", ""},
        FormCase{"p_four", {"P", "/a.png", "/b.jpg", "x"}, true, false, S, kDefault, "/a.png", ""},
        FormCase{"p_alone", {"P"}, false, false, F, kDefault, "", ""},
        FormCase{"q_four",
                 {"Q", "/a.bmp", "/b.jpg", "/j.ini"},
                 true,
                 false,
                 S,
                 "/j.ini",
                 "/a.bmp",
                 "/b.jpg"},
        FormCase{"q_three", {"Q", "/a.bmp", "/b.jpg"}, false, false, F, kDefault, "", ""},
        FormCase{"lower_case_is_another_letter", {"c", "/j.ini"}, true, false, F, kDefault, "", ""},
        FormCase{"other_letter", {"X", "anything"}, true, false, F, kDefault, "", ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DefaultSingleOutput, TargetBaseNameAndJpg) {
    EXPECT_EQ(default_single_output("/out/", "/in/pic.png"), "/out/pic.jpg");
    EXPECT_EQ(default_single_output("/out", "pic.tar.png"), "/out/pic.tar.jpg");
}

}  // namespace
}  // namespace morvane
