#pragma once
// A private folder with a source and a target folder, a job, a run log and a link that
// is not connected: what one conversion needs, made fresh for each test.

#include <string>

#include <gtest/gtest.h>

#include "convert_source.h"
#include "job_settings.h"
#include "log_file.h"
#include "monitor_link.h"
#include "run_context.h"
#include "test_support.h"

namespace morvane::test {

class ConvertTest : public ::testing::Test {
  protected:
    ConvertTest() {
        make_folder(dir_ / "src");
        make_folder(dir_ / "out");
        EXPECT_TRUE(log_.open(dir_ / "run.log"));
        job_.quality = 75;
        job_.erase = 1;
    }

    [[nodiscard]] std::string src(const std::string& name) const { return dir_ / ("src/" + name); }
    [[nodiscard]] std::string out(const std::string& name) const { return dir_ / ("out/" + name); }

    ConvertOutcome convert(const std::string& source, const OutputName& output) {
        ConvertOutcome outcome = convert_source(ctx_, source, output);
        log_.flush();
        return outcome;
    }
    ConvertOutcome convert(const std::string& source, const std::string& output) {
        return convert(source, OutputName::plain(output));
    }

    [[nodiscard]] std::string log_text() {
        log_.flush();
        return read_file(dir_ / "run.log");
    }

    TempDir dir_;
    JobSettings job_;
    LogFile log_;
    MonitorLink link_;
    TempFiles temp_;
    RunContext ctx_{job_, log_, link_, temp_};
};

}  // namespace morvane::test
