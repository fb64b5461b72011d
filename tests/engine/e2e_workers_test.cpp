// Several sources converting at once change nothing anyone can see: the log, the
// messages to the window, the outputs and the moves are those of one at a time.

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "convert/documents_fixture.h"
#include "engine_fixture.h"
#include "link_peer.h"

namespace morvane::test {
namespace {

// Everything a run leaves for a user or a caller to see.
struct Seen {
    std::string log_body;
    std::string footer;
    std::vector<std::string> frames;
    std::vector<std::string> files;  // "<folder>/<name> <size>" under the run's folders
};

class EngineWorkers : public EngineTest {
  protected:
    std::string moved_ = dir_ / "moved";

    // A folder that gives the scheduler work: outputs that share names (a.png, a.gif's
    // frames a_0.jpg..., a_1.png, sub/a.png), sources that move to the same name, a
    // document that converts alone, a broken file and plain pictures.
    void make_sources() {
        make_folder(in_ + "/sub");
        make_picture(in_ + "/a.png", {.width = 80, .height = 60});
        make_picture(in_ + "/a.gif", {.format = "GIF", .frames = 3});
        make_picture(in_ + "/a_1.png", {.pattern = "xc:red"});
        make_picture(in_ + "/sub/a.png", {.pattern = "xc:blue"});
        make_picture(in_ + "/b.jpg", {.width = 300, .height = 200, .format = "JPEG"});
        make_picture(in_ + "/c.tif", {.format = "TIFF", .frames = 2});
        ASSERT_TRUE(make_pdf(in_ + "/doc.pdf", "rg"));
        write_file(in_ + "/broken.png", "not a picture");
        for (const char* name : {"e", "f", "g", "h", "i", "j"}) {
            make_picture(in_ + "/sub/" + name + ".png", {.width = 120, .height = 90});
        }
    }

    Seen run_with(const std::string& workers) {
        for (const std::string& folder : {in_, out_, moved_}) std::filesystem::remove_all(folder);
        make_sources();
        make_folder(moved_);
        write_job({"move_path=" + moved_,
                   "[FORMATS]",
                   "PNG=1",
                   "GIF=1",
                   "JPEG=1",
                   "TIF=1",
                   "PDF=1",
                   "[PARAMS]",
                   "recurse=1",
                   "move=1",
                   "size=40x40",
                   "aspect_ratio=1",
                   "workers=" + workers,
                   "[JPEG]",
                   "quality=80",
                   "progressive=1",
                   "[TIFF]",
                   "extract_all=1",
                   "[PDF]",
                   "extract_all=1"});
        Seen seen;
        {
            LinkPeer peer(tmp_);
            EXPECT_EQ(run({"G|" + job_}), 0);
            for (const LinkFrame& frame : peer.frames()) seen.frames.push_back(describe(frame));
        }
        seen.log_body = log_body();
        const std::string log_text = log();
        seen.footer = log_text.substr(log_text.rfind("converted files"));
        for (const std::string& folder : {in_, in_ + "/sub", out_, moved_}) {
            for (const std::string& name : list_folder(folder)) {
                const std::string path = folder + "/" + name;
                if (std::filesystem::is_directory(path)) continue;
                seen.files.push_back(path + " " + std::to_string(read_file(path).size()));
            }
        }
        return seen;
    }
};

TEST_F(EngineWorkers, ThreeAtOnceLookExactlyLikeOneAtATime) {
    const Seen one = run_with("1");
    const Seen three = run_with("3");
    EXPECT_EQ(three.log_body, one.log_body);
    EXPECT_EQ(three.footer, one.footer);
    EXPECT_EQ(three.frames, one.frames);
    EXPECT_EQ(three.files, one.files);
    // The run did what it should: sub/a.png moved over a.png's moved copy, the broken
    // file stayed, the pages and frames were written.
    EXPECT_NE(one.log_body.find("Could not convert " + in_ + "/broken.png !"), std::string::npos);
    EXPECT_NE(one.log_body.find(in_ + "/doc.pdf converted"), std::string::npos);
    EXPECT_NE(one.log_body.find("The file " + in_ + "/sub/a.png was not created"),
              std::string::npos);
    EXPECT_GT(one.frames.size(), 40u);
}

}  // namespace
}  // namespace morvane::test
