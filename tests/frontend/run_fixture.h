#pragma once
// Launches from a Monitor window with a private temporary folder, either the stand-in
// engine or the real one, and keeps a journal of what the Processing windows showed
// and which boxes came up, in order.

#include <optional>
#include <string>

#include <QPointer>
#include <vector>

#include "gui_fixture.h"
#include "processing_window.h"

namespace morvane::test {

class RunTest : public MonitorTest {
  protected:
    void SetUp() override;
    void TearDown() override;

    // A valid window whose launches are journaled, over a job file written first with
    // `content` unless nullopt.
    MonitorWindow& open_for_run(const std::optional<std::string>& content = std::nullopt);
    // The next launch starts the stand-in engine with these script lines; returns the
    // path of the file the stand-in writes what it received into.
    std::string use_standin(const std::vector<std::string>& lines, const std::string& name = "run");
    // Clicks Launch and waits until `engines` engines have ended since the window opened.
    bool launch_and_wait(int engines = 1, int timeout_ms = 30000);
    [[nodiscard]] bool wait_for_engines(int engines, int timeout_ms = 30000);
    // The journal's entries that start with `prefix`.
    [[nodiscard]] std::vector<std::string> entries(const std::string& prefix) const;
    [[nodiscard]] std::vector<std::string> message_texts() const;

    std::string temp = dir / "tmp";
    std::string standin_folder = dir / "programs";
    std::vector<std::string> journal;
    std::vector<QPointer<ProcessingWindow>> processing;
    int engines_ended = 0;

  private:
    std::string old_tmpdir_;
    bool had_tmpdir_ = false;
};

}  // namespace morvane::test
