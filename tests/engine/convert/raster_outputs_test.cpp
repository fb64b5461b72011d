// The raster path where outputs exist, cannot be written or would hit the source, and
// where the source cannot be read.

#include <cstdint>
#include <functional>

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "convert_fixture.h"
#include "fd_io.h"

namespace morvane::test {
namespace {

using Names = std::vector<std::string>;

// Child exit statuses of a conversion run as an ordinary user.
constexpr int kReported = 0;
constexpr int kNoUser = 2;

// The child's side: drops to "nobody", checks that it reaches the test's folder, converts
// and sends the outcome (i32 result, u32 length, reason) back on `report`.
[[noreturn]] void convert_as_nobody(const std::string& folder,
                                    const std::function<ConvertOutcome()>& convert, int report) {
    if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0 ||
        ::access(folder.c_str(), R_OK | X_OK) != 0) {
        ::_exit(kNoUser);
    }
    const ConvertOutcome outcome = convert();
    const std::int32_t result = outcome.result;
    const auto length = static_cast<std::uint32_t>(outcome.reason.size());
    const bool sent = write_all(report, &result, sizeof result) &&
                      write_all(report, &length, sizeof length) &&
                      write_all(report, outcome.reason.data(), length);
    ::_exit(sent ? kReported : 1);
}

// What a conversion gives an ordinary user, whom permissions bind. Root converts in a
// child process that drops to "nobody" first; `folder` (the test's own) is opened for
// that user to walk through, and the log goes through the descriptor already open.
ConvertOutcome as_ordinary_user(const std::string& folder,
                                const std::function<ConvertOutcome()>& convert) {
    if (::geteuid() != 0) return convert();
    EXPECT_EQ(::chmod(folder.c_str(), 0755), 0);
    int ends[2];
    if (::pipe(ends) != 0) {
        ADD_FAILURE() << "no pipe";
        return {};
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(ends[0]);
        convert_as_nobody(folder, convert, ends[1]);
    }
    ::close(ends[1]);
    ConvertOutcome outcome;
    std::int32_t result = 0;
    std::uint32_t length = 0;
    if (read_exactly(ends[0], &result, sizeof result) &&
        read_exactly(ends[0], &length, sizeof length)) {
        outcome.result = result;
        outcome.reason.assign(length, '\0');
        if (!read_exactly(ends[0], outcome.reason.data(), length)) outcome.reason.clear();
    }
    ::close(ends[0]);
    int status = -1;
    if (child > 0) (void)::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == kReported)
        << "the conversion could not run as user 65534 (status " << status << ")";
    return outcome;
}

class KeepOutputs : public ConvertTest {
  protected:
    KeepOutputs() { job_.erase = 0; }
};

TEST_F(KeepOutputs, AnExistingPlainOutputStaysByteIdentical) {
    make_picture(src("a.png"));
    write_file(out("a.jpg"), "earlier output");
    EXPECT_EQ(convert(src("a.png"), out("a.jpg")).result, kOutputExists);
    EXPECT_EQ(read_file(out("a.jpg")), "earlier output");
    EXPECT_EQ(log_text(), "");
}

TEST_F(KeepOutputs, ASeriesWritesOnlyTheMissingOutputs) {
    make_picture(src("anim.gif"), {64, 48, "GIF", "gradient:red-blue", 3});
    write_file(out("anim_1.jpg"), "kept");
    EXPECT_EQ(convert(src("anim.gif"), out("anim.jpg")).result, kConverted);
    EXPECT_EQ(read_file(out("anim_1.jpg")), "kept");
    EXPECT_TRUE(read_picture(out("anim_0.jpg")).ok);
    EXPECT_TRUE(read_picture(out("anim_2.jpg")).ok);
}

TEST_F(KeepOutputs, ASeriesThatExistsWholeIsKept) {
    make_picture(src("scan.tif"), {64, 48, "TIFF", "gradient:red-blue", 2});
    write_file(out("scan00000.jpg"), "0");
    write_file(out("scan00001.jpg"), "1");
    const OutputName pages = OutputName::numbered(out("scan"), 5, ".jpg");
    EXPECT_EQ(convert(src("scan.tif"), pages).result, kOutputExists);
    EXPECT_EQ(read_file(out("scan00000.jpg")), "0");
    EXPECT_EQ(list_folder(dir_ / "out"), (Names{"scan00000.jpg", "scan00001.jpg"}));
}

TEST_F(ConvertTest, AnOptimisedAnimationGivesWholeFrames) {
    PictureSpec spec{64, 48, "GIF", "xc:red", 3};
    spec.partial_frames = true;
    make_picture(src("anim.gif"), spec);
    EXPECT_EQ(convert(src("anim.gif"), out("anim.jpg")).result, kConverted);
    for (const char* name : {"anim_0.jpg", "anim_1.jpg", "anim_2.jpg"}) {
        const PictureInfo frame = read_picture(out(name));
        EXPECT_EQ(frame.width, 64) << name;
        EXPECT_EQ(frame.height, 48) << name;
        EXPECT_GT(frame.red, 0.5) << name;  // mostly the red first frame around the square
    }
}

class OverwriteSetting : public ConvertTest, public ::testing::WithParamInterface<int> {};

// Target folder = source folder with a JPEG source: the output name is the source.
TEST_P(OverwriteSetting, TheSourceIsNeverItsOwnOutput) {
    job_.erase = GetParam();
    job_.move = 1;
    job_.move_path = dir_ / "out";
    make_picture(src("photo.jpg"), {64, 48, "JPEG"});
    const std::string before = read_file(src("photo.jpg"));
    const ConvertOutcome outcome = convert(src("photo.jpg"), src("photo.jpg"));
    EXPECT_NE(outcome.result, kConverted);
    if (GetParam() != 0) {
        EXPECT_NE(outcome.reason.find("replace the source"), std::string::npos) << outcome.reason;
    }
    EXPECT_EQ(read_file(src("photo.jpg")), before);
    EXPECT_EQ(list_folder(dir_ / "src"), Names{"photo.jpg"});
    EXPECT_TRUE(list_folder(dir_ / "out").empty());
}

INSTANTIATE_TEST_SUITE_P(Erase, OverwriteSetting, ::testing::Values(0, 1));

TEST_F(ConvertTest, AnOutputThatCannotBeWrittenIsAFailureWithItsReason) {
    make_picture(src("a.png"));
    const ConvertOutcome missing = convert(src("a.png"), dir_ / "nowhere/a.jpg");
    EXPECT_EQ(missing.result, kNotConverted);
    EXPECT_NE(missing.reason.find("No such file or directory"), std::string::npos);
    write_file(dir_ / "plain", "");
    EXPECT_EQ(convert(src("a.png"), dir_ / "plain/a.jpg").result, kNotConverted);
    EXPECT_TRUE(exists(src("a.png")));
    EXPECT_EQ(log_text(), "");
}

TEST_F(ConvertTest, AReadOnlyTargetFolderIsAFailure) {
    make_picture(src("a.png"));
    ASSERT_EQ(::chmod((dir_ / "out").c_str(), 0555), 0);
    const ConvertOutcome outcome =
        as_ordinary_user(dir_.path(), [&] { return convert(src("a.png"), out("a.jpg")); });
    EXPECT_EQ(outcome.result, kNotConverted);
    EXPECT_NE(outcome.reason.find("Permission denied"), std::string::npos);
    EXPECT_TRUE(list_folder(dir_ / "out").empty());
}

enum class Damage { Empty, Garbage, Truncated, Folder, NoPermission };

class Unreadable : public ConvertTest, public ::testing::WithParamInterface<Damage> {};

TEST_P(Unreadable, IsLoggedWithImageMagicksReason) {
    const std::string source = src("bad.png");
    switch (GetParam()) {
        case Damage::Empty:
            write_file(source, "");
            break;
        case Damage::Garbage:
            write_file(source, std::string(500, '\x5a'));
            break;
        case Damage::Truncated:
            make_picture(source, {64, 48});
            write_file(source, read_file(source).substr(0, 40));
            break;
        case Damage::Folder:
            make_folder(source);
            break;
        case Damage::NoPermission:
            make_picture(source);
            ASSERT_EQ(::chmod(source.c_str(), 0), 0);
            break;
    }
    const auto attempt = [&] { return convert(source, out("bad.jpg")); };
    const ConvertOutcome outcome =
        GetParam() == Damage::NoPermission ? as_ordinary_user(dir_.path(), attempt) : attempt();
    EXPECT_EQ(outcome.result, kNotConverted);
    const std::string head = "The file " + source + " cannot be read by Tarvik_morvane\r\n\t";
    const std::string text = log_text();
    ASSERT_EQ(text.substr(0, head.size()), head) << text;
    const std::string reason = text.substr(head.size());
    ASSERT_GE(reason.size(), 3u);
    EXPECT_EQ(reason.substr(reason.size() - 2), "\r\n");
    EXPECT_EQ(reason.find_first_of("\r\n"), reason.size() - 2) << "one line only: " << reason;
    EXPECT_EQ(reason.find(" @ "), std::string::npos) << "no library source position: " << reason;
    EXPECT_TRUE(list_folder(dir_ / "out").empty());
}

INSTANTIATE_TEST_SUITE_P(Kinds, Unreadable,
                         ::testing::Values(Damage::Empty, Damage::Garbage, Damage::Truncated,
                                           Damage::Folder, Damage::NoPermission));

}  // namespace
}  // namespace morvane::test
