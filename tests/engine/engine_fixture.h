#pragma once
// End-to-end fixture: a fresh copy of the program folder, its own temporary folder
// (TMPDIR), a source and a target folder, a job file written from key lines, and the
// built engine run there.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "test_support.h"

namespace morvane::test {

class EngineTest : public ::testing::Test {
  protected:
    EngineTest();

    // Writes the default job file: FOLDERS with source and target, then `more` as is
    // (section lines and key lines joined with CR LF).
    void write_job(const std::vector<std::string>& more = {});
    void write_job_text(const std::string& text);

    // Runs the engine with the given arguments; returns its exit status.
    int run(const std::vector<std::string>& args = {});
    [[nodiscard]] std::string log() const { return read_file(tmp_ + "/Tarvik_morvane.log"); }
    // The per-file part of the log: between the header and the footer.
    [[nodiscard]] std::string log_body() const;

    TempDir dir_;
    std::string program_ = dir_ / "program";
    std::string tmp_ = dir_ / "tmp";
    std::string in_ = dir_ / "in";
    std::string out_ = dir_ / "out";
    std::string job_ = program_ + "/Tarvik_morvane.ini";
};

// The log header the engine writes for these values.
struct HeaderValues {
    std::string source, target;
    int recurse = 0, reproduce_path = 0, pdf_all = 0, tiff_all = 0, quality = 1, progressive = 0,
        pdf_density = 72;
    std::string move_to, size;
    bool aspect = false, watermark = false;
};
[[nodiscard]] std::string expected_header(const HeaderValues& v);
[[nodiscard]] std::string expected_footer(unsigned count);
// How many result lines (converted, kept or not converted) a log body holds.
[[nodiscard]] unsigned result_lines(const std::string& body);

}  // namespace morvane::test
