#include "profile.h"

#include <climits>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "test_support.h"

namespace morvane {
namespace {

// A job file with the awkward corners a hand-edited file has: comments, blanks, quotes,
// repeats, a line without '=', LF-only lines and no line end on the last line.
const char* const kJobText =
    "; written by hand\r\n"
    "[PARAMS]\r\n"
    "size = 640x480 \r\n"
    "Quality=\t85\r\n"
    "Quoted=\"  spaced  \"\r\n"
    "Single='x'\r\n"
    "Unbalanced=\"abc\r\n"
    "Inner=a\"b\"c\r\n"
    "Empty=\r\n"
    "EmptyQuotes=\"\"\r\n"
    "no equals here\r\n"
    ";commented=1\r\n"
    "  ; indented = 2\r\n"
    "dup=first\r\n"
    "DUP=second\r\n"
    "path=C=D\r\n"
    "[params]\r\n"
    "size=from the repeat\r\n"
    "onlyinrepeat=1\r\n"
    "[FILES]\n"
    "0=/a/b.png\n"
    "1=/c.png\n"
    "3=/d.png\n"
    "[ Spaced ]\n"
    "k=v";

struct LookupCase {
    const char* section;
    const char* key;
    const char* expected;  // "<def>" when the default comes back
};

std::ostream& operator<<(std::ostream& out, const LookupCase& c) {
    return out << c.section << '/' << c.key;
}

class ProfileLookupTest : public ::testing::TestWithParam<LookupCase> {};

TEST_P(ProfileLookupTest, ValueOrDefault) {
    const LookupCase& c = GetParam();
    const Profile profile = Profile::parse(kJobText);
    EXPECT_EQ(profile.get_string(c.section, c.key, "<def>", 260), c.expected);
    EXPECT_EQ(profile.has_value(c.section, c.key), std::string(c.expected) != "<def>");
}

INSTANTIATE_TEST_SUITE_P(
    Profile, ProfileLookupTest,
    ::testing::Values(
        LookupCase{"PARAMS", "size", "640x480"}, LookupCase{"params", "SIZE", "640x480"},
        LookupCase{"Params", "Size", "640x480"}, LookupCase{"PARAMS", "quality", "85"},
        LookupCase{"PARAMS", "Quoted", "  spaced  "}, LookupCase{"PARAMS", "Single", "x"},
        LookupCase{"PARAMS", "Unbalanced", "\"abc"}, LookupCase{"PARAMS", "Inner", "a\"b\"c"},
        LookupCase{"PARAMS", "Empty", "<def>"}, LookupCase{"PARAMS", "EmptyQuotes", "<def>"},
        LookupCase{"PARAMS", "no equals here", "<def>"},
        LookupCase{"PARAMS", ";commented", "<def>"}, LookupCase{"PARAMS", "commented", "<def>"},
        LookupCase{"PARAMS", "; indented", "<def>"}, LookupCase{"PARAMS", "dup", "first"},
        LookupCase{"PARAMS", "path", "C=D"}, LookupCase{"PARAMS", "onlyinrepeat", "<def>"},
        LookupCase{"FILES", "0", "/a/b.png"}, LookupCase{"FILES", "1", "/c.png"},
        LookupCase{"FILES", "2", "<def>"}, LookupCase{"FILES", "3", "/d.png"},
        LookupCase{"files", "size", "<def>"}, LookupCase{"Spaced", "k", "v"},
        LookupCase{"MISSING", "size", "<def>"}));

struct CutCase {
    std::size_t value_length;
    std::size_t size;
    std::size_t expected_length;
};

std::ostream& operator<<(std::ostream& out, const CutCase& c) {
    return out << c.value_length << " characters, buffer " << c.size;
}

class ProfileCutTest : public ::testing::TestWithParam<CutCase> {};

TEST_P(ProfileCutTest, ValueAndDefaultAreCutToTheBuffer) {
    const CutCase& c = GetParam();
    const std::string value(c.value_length, 'v');
    const Profile profile = Profile::parse("[S]\r\nk=" + value + "\r\n");
    EXPECT_EQ(profile.get_string("S", "k", "", c.size), value.substr(0, c.expected_length));
    EXPECT_EQ(profile.get_string("S", "none", value, c.size), value.substr(0, c.expected_length));
}

INSTANTIATE_TEST_SUITE_P(Profile, ProfileCutTest,
                         ::testing::Values(CutCase{300, 256, 255}, CutCase{255, 256, 255},
                                           CutCase{256, 256, 255}, CutCase{259, 260, 259},
                                           CutCase{5, 50, 5}, CutCase{5, 1, 0}, CutCase{5, 0, 0}));

struct IntCase {
    const char* text;
    int expected;
};

std::ostream& operator<<(std::ostream& out, const IntCase& c) {
    return out << '"' << c.text << '"';
}

class ProfileTextToIntTest : public ::testing::TestWithParam<IntCase> {};

TEST_P(ProfileTextToIntTest, LeadingNumberIsRead) {
    const IntCase& c = GetParam();
    EXPECT_EQ(profile_text_to_int(c.text), c.expected);
    // The same value through a file, unless it is empty (which gives the default).
    const Profile profile = Profile::parse(std::string("[S]\r\nk=") + c.text + "\r\n");
    EXPECT_EQ(profile.get_int("S", "k", 77), *c.text ? c.expected : 77);
}

INSTANTIATE_TEST_SUITE_P(
    Profile, ProfileTextToIntTest,
    ::testing::Values(IntCase{"12abc", 12}, IntCase{"abc", 0}, IntCase{"", 0}, IntCase{"0", 0},
                      IntCase{"-1", -1}, IntCase{"+7", 7}, IntCase{"-", 0}, IntCase{"- 5", 0},
                      IntCase{"0009", 9}, IntCase{"0x10", 0}, IntCase{"1 2", 1},
                      IntCase{"\t 42", 42}, IntCase{"2147483647", INT_MAX},
                      IntCase{"2147483648", INT_MAX}, IntCase{"-2147483648", INT_MIN},
                      IntCase{"-2147483649", INT_MIN}, IntCase{"99999999999999999999999", INT_MAX},
                      IntCase{"-99999999999999999999999", INT_MIN}));

TEST(ProfileTest, ByteOrderMarkIsSkipped) {
    const Profile profile = Profile::parse("\xEF\xBB\xBF[FOLDERS]\r\nsource=/in\r\n");
    EXPECT_EQ(profile.get_string("FOLDERS", "source", "<def>", 260), "/in");
    // Only at the very start: elsewhere the bytes belong to a name.
    const Profile inner = Profile::parse("[A]\r\n\xEF\xBB\xBFk=v\r\n");
    EXPECT_EQ(inner.get_string("A", "k", "<def>", 260), "<def>");
}

TEST(ProfileTest, ValueIsNeverCut) {
    const std::string long_value(5000, 'v');
    const Profile profile = Profile::parse("[S]\r\nk=" + long_value + "\r\nempty=\r\n");
    EXPECT_EQ(profile.value("s", "K"), long_value);
    EXPECT_EQ(profile.value("S", "empty"), "");
    EXPECT_EQ(profile.value("S", "missing"), "");
}

TEST(ProfileTest, LoadReadsAFileAndAMissingFileIsEmpty) {
    test::TempDir dir;
    test::write_file(dir / "job.ini", kJobText);
    const Profile loaded = Profile::load(dir / "job.ini");
    EXPECT_TRUE(loaded.opened());
    EXPECT_EQ(loaded.get_string("PARAMS", "size", "", 50), "640x480");
    EXPECT_EQ(loaded.get_int("PARAMS", "quality", 0), 85);
    EXPECT_EQ(loaded.get_int("PARAMS", "missing", 5), 5);

    const Profile missing = Profile::load(dir / "none.ini");
    EXPECT_FALSE(missing.opened());
    EXPECT_EQ(missing.refusal(), "");  // a missing file is no fault
    EXPECT_EQ(missing.get_string("PARAMS", "size", "def", 50), "def");
    EXPECT_EQ(Profile::load(dir / "none/job.ini").refusal(), "");
}

// As large a file list as the settings window writes: every key is found, in linear
// time (a lookup that walked every entry took minutes here).
TEST(ProfileTest, HundredThousandKeysAreAllFound) {
    constexpr int kKeys = 100000;
    std::string text = "[FILES]\r\n";
    for (int i = 0; i < kKeys; ++i) {
        text += std::to_string(i) + "=/home/user/Pictures/" + std::to_string(i) + ".png\r\n";
    }
    const Profile profile = Profile::parse(text);
    int found = 0;
    for (int i = 0; i < kKeys; ++i) {
        found += profile.value("files", std::to_string(i)) ==
                 "/home/user/Pictures/" + std::to_string(i) + ".png";
    }
    EXPECT_EQ(found, kKeys);
    EXPECT_EQ(profile.value("FILES", std::to_string(kKeys)), "");
}

// A hostile file of one section per key: each section is found, and the reading does
// not compare every section with every other (that took a minute here).
TEST(ProfileTest, HundredThousandSectionsAreAllFound) {
    constexpr int kSections = 100000;
    std::string text;
    for (int i = 0; i < kSections; ++i)
        text += "[s" + std::to_string(i) + "]\r\nk=" + std::to_string(i) + "\r\n";
    const Profile profile = Profile::parse(text);
    int found = 0;
    for (int i = 0; i < kSections; ++i) {
        found += profile.get_int("S" + std::to_string(i), "K", -1) == i;
    }
    EXPECT_EQ(found, kSections);
    EXPECT_TRUE(profile.repeated_sections().empty());
}

TEST(ProfileTest, RepeatedSectionsAreNamedOnceInTheOrderTheyRepeat) {
    const Profile profile = Profile::parse(kJobText);
    EXPECT_EQ(profile.repeated_sections(), std::vector<std::string>{"params"});
    const Profile many = Profile::parse("[B]\n[a]\n[A]\n[b]\n[a]\n[C]\n");
    EXPECT_EQ(many.repeated_sections(), (std::vector<std::string>{"a", "b"}));
    EXPECT_FALSE(many.holds_nul());
}

TEST(ProfileTest, ANulByteMarksBinaryDataAndTheLinesAroundItAreStillRead) {
    const Profile profile =
        Profile::parse(std::string("[A]\r\nk=1\r\n\x01\0\xff junk\r\nm=2\r\n", 25));
    EXPECT_TRUE(profile.holds_nul());
    EXPECT_EQ(profile.get_int("A", "k", 0), 1);
    EXPECT_EQ(profile.get_int("A", "m", 0), 2);
}

// ---- which files are read ----

struct RefusedCase {
    const char* name;
    const char* refusal;  // empty: the file is read
    std::size_t limit = 64;
    bool follow_links = true;
};

std::ostream& operator<<(std::ostream& out, const RefusedCase& c) {
    return out << c.name;
}

// Makes the file a case names, in `dir`, and gives its path.
std::string make_case_file(const test::TempDir& dir, const std::string& name) {
    const std::string path = dir / "job.ini";
    const std::string job = "[A]\r\nk=v\r\n";  // 11 bytes
    if (name == "regular") test::write_file(path, job);
    if (name == "at_limit") test::write_file(path, job + std::string(64 - job.size(), ';'));
    if (name == "over_limit") test::write_file(path, job + std::string(65 - job.size(), ';'));
    if (name == "fifo") {
        EXPECT_EQ(::mkfifo(path.c_str(), 0600), 0);
    }
    if (name == "folder") test::make_folder(path);
    if (name == "device" || name == "device_link_not_followed") {
        EXPECT_EQ(::symlink("/dev/zero", path.c_str()), 0);
    }
    if (name == "link" || name == "link_not_followed") {
        test::write_file(dir / "real.ini", job);
        EXPECT_EQ(::symlink("real.ini", path.c_str()), 0);
    }
    if (name == "dangling_link_not_followed") {
        EXPECT_EQ(::symlink("none", path.c_str()), 0);
    }
    // A file whose size says 0 while it holds more: only the bytes read can tell.
    if (name == "growing") return "/proc/self/maps";
    return path;
}

class ProfileFileTest : public ::testing::TestWithParam<RefusedCase> {};

TEST_P(ProfileFileTest, OnlyABoundedRegularFileIsRead) {
    const RefusedCase& c = GetParam();
    test::TempDir dir;
    const std::string path = make_case_file(dir, c.name);
    const Profile profile = Profile::load(path, {c.limit, c.follow_links});
    EXPECT_EQ(profile.refusal(), c.refusal);
    EXPECT_EQ(profile.opened(), *c.refusal == '\0');
    EXPECT_EQ(profile.get_string("A", "k", "<def>", 260), profile.opened() ? "v" : "<def>");
}

INSTANTIATE_TEST_SUITE_P(
    Profile, ProfileFileTest,
    ::testing::Values(RefusedCase{"regular", ""}, RefusedCase{"at_limit", ""},
                      RefusedCase{"link", ""}, RefusedCase{"over_limit", "is larger than 64 bytes"},
                      RefusedCase{"growing", "is larger than 64 bytes"},
                      RefusedCase{"fifo", "is not a regular file"},
                      RefusedCase{"folder", "is not a regular file"},
                      RefusedCase{"device", "is not a regular file"},
                      RefusedCase{"link_not_followed", "is a symbolic link", 64, false},
                      RefusedCase{"device_link_not_followed", "is a symbolic link", 64, false},
                      RefusedCase{"dangling_link_not_followed", "is a symbolic link", 64, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ProfileFileLimitTest, LimitIsNamedInMebibytesWhenWhole) {
    test::TempDir dir;
    const std::string path = dir / "big.ini";
    test::write_file(path, "[A]\r\n");
    ASSERT_EQ(::truncate(path.c_str(), 2 * 1024 * 1024 + 1), 0);  // sparse: costs nothing
    EXPECT_EQ(Profile::load(path, {2 * kMebibyte, true}).refusal(), "is larger than 2 MiB");
    EXPECT_TRUE(Profile::load(path, {3 * kMebibyte, true}).opened());
    EXPECT_TRUE(Profile::load(path).opened());  // 16 MiB unless asked otherwise
}

TEST(ProfileFileLimitTest, UnreadableFileIsRefusedWithItsReason) {
    test::TempDir dir;
    const std::string path = dir / "job.ini";
    test::write_file(path, "[A]\r\nk=v\r\n");
    ASSERT_EQ(::chmod(path.c_str(), 0), 0);
    ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
    // Root reads any file: the load runs as "nobody" in a child process.
    const pid_t child = ::fork();
    if (child == 0) {
        if (::geteuid() == 0 &&
            (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)) {
            ::_exit(2);
        }
        const Profile profile = Profile::load(path);
        ::_exit(profile.refusal() == "cannot be read: Permission denied" ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(ProfileWriteFileTest, FileThatIsNotRegularIsNotWritten) {
    test::TempDir dir;
    const std::string path = dir / "job.ini";
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    EXPECT_FALSE(write_profile_string(path, "A", "x", "1"));  // and does not hang
    struct stat info {};
    ASSERT_EQ(::lstat(path.c_str(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
}

// ---- writing one key ----

// A saved job: a comment, a foreign key and blank lines that must all survive.
#define SAVED_HEAD "; job\r\n[P]\r\nsize=1\r\n; note\r\nforeign=1\r\n"
#define SAVED_TAIL "\r\n[F]\r\nsrc=/a\r\n\r\n"

struct WriteCase {
    const char* name;
    const char* before;
    const char* section;
    const char* key;
    const char* value;
    const char* after;
};

class ProfileWriteTest : public ::testing::TestWithParam<WriteCase> {};

TEST_P(ProfileWriteTest, OnlyTheKeysLineChanges) {
    const WriteCase& c = GetParam();
    test::TempDir dir;
    const std::string path = dir / "job.ini";
    test::write_file(path, c.before);
    ASSERT_TRUE(write_profile_string(path, c.section, c.key, c.value));
    EXPECT_EQ(test::read_file(path), c.after);
    // What was written reads back, and nothing is left beside the file.
    const Profile profile = Profile::load(path);
    EXPECT_EQ(profile.get_string(c.section, c.key, "<def>", 260), *c.value ? c.value : "<def>");
    EXPECT_EQ(test::list_folder(dir.path()), std::vector<std::string>{"job.ini"});
}

const WriteCase kWriteCases[] = {
    {"ExistingKey", SAVED_HEAD SAVED_TAIL, "P", "size", "2",
     "; job\r\n[P]\r\nsize=2\r\n; note\r\nforeign=1\r\n" SAVED_TAIL},
    {"ExistingKeyOtherCase", SAVED_HEAD SAVED_TAIL, "p", "SIZE", "2",
     "; job\r\n[P]\r\nSIZE=2\r\n; note\r\nforeign=1\r\n" SAVED_TAIL},
    {"EmptyValue", SAVED_HEAD SAVED_TAIL, "F", "src", "", SAVED_HEAD "\r\n[F]\r\nsrc=\r\n\r\n"},
    {"NewKeyBeforeBlankLines", SAVED_HEAD SAVED_TAIL, "P", "q", "85",
     SAVED_HEAD "q=85\r\n" SAVED_TAIL},
    {"NewKeyInLastSection", SAVED_HEAD SAVED_TAIL, "F", "dst", "/b",
     SAVED_HEAD "\r\n[F]\r\nsrc=/a\r\ndst=/b\r\n\r\n"},
    {"NewSection", SAVED_HEAD SAVED_TAIL, "FILES", "0", "/x y.png",
     SAVED_HEAD SAVED_TAIL "[FILES]\r\n0=/x y.png\r\n"},
    {"LfLinesKept", "[A]\nx=1\ny=2\n", "A", "x", "3", "[A]\nx=3\r\ny=2\n"},
    {"BlanksAroundOldKey", "[A]\r\n  Size = 1 \r\n", "A", "size", "2", "[A]\r\nsize=2\r\n"},
    {"LastLineWithoutLineEnd", "[A]\r\nx=1", "A", "y", "2", "[A]\r\nx=1\r\ny=2\r\n"},
    {"NewSectionAfterUnendedLine", "[A]\r\nx=1", "B", "k", "v", "[A]\r\nx=1\r\n[B]\r\nk=v\r\n"},
    {"SectionHeaderOnly", "[A]", "a", "k", "v", "[A]\r\nk=v\r\n"},
    {"FirstOfRepeatedSections", "[A]\r\nx=1\r\n[B]\r\n[a]\r\ny=2\r\n", "A", "y", "3",
     "[A]\r\nx=1\r\ny=3\r\n[B]\r\n[a]\r\ny=2\r\n"},
    {"FirstOfRepeatedKeys", "[A]\r\nk=1\r\nk=2\r\n", "A", "k", "3", "[A]\r\nk=3\r\nk=2\r\n"},
    {"CommentBeforeNextSectionStays", "[A]\r\nx=1\r\n; B\r\n[B]\r\n", "A", "z", "1",
     "[A]\r\nx=1\r\nz=1\r\n; B\r\n[B]\r\n"},
    {"CommentedKeyIsNotTheKey", "[A]\r\n;x=1\r\n", "A", "x", "2", "[A]\r\nx=2\r\n;x=1\r\n"},
    {"KeyOutsideTheSectionIsNotTheKey", "x=0\r\n[B]\r\nx=0\r\n[A]\r\ny=0\r\n", "A", "x", "1",
     "x=0\r\n[B]\r\nx=0\r\n[A]\r\ny=0\r\nx=1\r\n"},
    {"EmptyFile", "", "S", "k", "v", "[S]\r\nk=v\r\n"},
    // A byte-order mark stays in front and does not hide the first section.
    {"ByteOrderMarkExistingKey", "\xEF\xBB\xBF[A]\r\nx=1\r\n", "A", "x", "2",
     "\xEF\xBB\xBF[A]\r\nx=2\r\n"},
    {"ByteOrderMarkNewKey", "\xEF\xBB\xBF[A]\r\nx=1\r\n[B]\r\n", "A", "y", "2",
     "\xEF\xBB\xBF[A]\r\nx=1\r\ny=2\r\n[B]\r\n"},
    {"ByteOrderMarkAlone", "\xEF\xBB\xBF", "S", "k", "v", "\xEF\xBB\xBF[S]\r\nk=v\r\n"},
};

INSTANTIATE_TEST_SUITE_P(Profile, ProfileWriteTest, ::testing::ValuesIn(kWriteCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ProfileWriteFileTest, MissingFileIsCreatedAndKeysAddUp) {
    test::TempDir dir;
    const std::string path = dir / "job.ini";
    ASSERT_TRUE(write_profile_string(path, "FILES", "0", "/p/a.png"));
    ASSERT_TRUE(write_profile_string(path, "FILES", "1", "/p/b.png"));
    ASSERT_TRUE(write_profile_string(path, "PARAMS", "quality", "85"));
    ASSERT_TRUE(write_profile_string(path, "FILES", "3", "/p/d.png"));
    EXPECT_EQ(test::read_file(path),
              "[FILES]\r\n0=/p/a.png\r\n1=/p/b.png\r\n3=/p/d.png\r\n[PARAMS]\r\nquality=85\r\n");
}

TEST(ProfileWriteFileTest, FileModeIsKept) {
    test::TempDir dir;
    const std::string path = dir / "job.ini";
    test::write_file(path, "[A]\r\nx=1\r\n");
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    ASSERT_TRUE(write_profile_string(path, "A", "x", "2"));
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
}

TEST(ProfileWriteFileTest, SymbolicLinkIsWrittenThrough) {
    test::TempDir dir;
    test::write_file(dir / "real.ini", "[A]\r\nx=1\r\n");
    ASSERT_EQ(::symlink((dir / "real.ini").c_str(), (dir / "job.ini").c_str()), 0);
    ASSERT_TRUE(write_profile_string(dir / "job.ini", "A", "x", "2"));
    EXPECT_EQ(test::read_file(dir / "real.ini"), "[A]\r\nx=2\r\n");
    struct stat info {};
    ASSERT_EQ(::lstat((dir / "job.ini").c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
}

enum class WriteResult { Written, Refused, NoUser };

// Writes A/x as an ordinary user: a test run by root, which may write anything, drops to
// "nobody" in a child process first.
WriteResult write_as_user(const std::string& path) {
    if (::geteuid() != 0) {
        return write_profile_string(path, "A", "x", "2") ? WriteResult::Written
                                                         : WriteResult::Refused;
    }
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) {
            ::_exit(2);
        }
        ::_exit(write_profile_string(path, "A", "x", "2") ? 0 : 1);
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status)) {
        return WriteResult::NoUser;
    }
    const int code = WEXITSTATUS(status);
    return code == 0   ? WriteResult::Written
           : code == 1 ? WriteResult::Refused
                       : WriteResult::NoUser;
}

TEST(ProfileWriteFileTest, UnwritableFileOrFolderFails) {
    test::TempDir dir;
    ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
    const std::string open = dir / "open";
    test::make_folder(open);
    ASSERT_EQ(::chmod(open.c_str(), 0777), 0);
    const std::string job = "[A]\r\nx=1\r\n";
    test::write_file(open + "/writable.ini", job);
    ASSERT_EQ(::chmod((open + "/writable.ini").c_str(), 0666), 0);
    const WriteResult control = write_as_user(open + "/writable.ini");
    // Debian always has "nobody" (65534), and root may always drop to it: not reaching it
    // is a fault of the test's own, never a reason to skip.
    ASSERT_NE(control, WriteResult::NoUser) << "could not write as user 65534";
    ASSERT_EQ(control, WriteResult::Written);
    EXPECT_EQ(test::read_file(open + "/writable.ini"), "[A]\r\nx=2\r\n");

    EXPECT_EQ(write_as_user(dir / "missing/job.ini"), WriteResult::Refused);

    // A read-only file in a writable folder could be replaced; it must not be.
    test::write_file(open + "/read_only.ini", job);
    ASSERT_EQ(::chmod((open + "/read_only.ini").c_str(), 0444), 0);
    EXPECT_EQ(write_as_user(open + "/read_only.ini"), WriteResult::Refused);
    EXPECT_EQ(test::read_file(open + "/read_only.ini"), job);

    const std::string locked = dir / "locked";
    test::make_folder(locked);
    test::write_file(locked + "/job.ini", job);
    ASSERT_EQ(::chmod((locked + "/job.ini").c_str(), 0666), 0);
    ASSERT_EQ(::chmod(locked.c_str(), 0555), 0);
    EXPECT_EQ(write_as_user(locked + "/job.ini"), WriteResult::Refused);
    EXPECT_EQ(test::read_file(locked + "/job.ini"), job);
    EXPECT_EQ(test::list_folder(locked), std::vector<std::string>{"job.ini"});
}

}  // namespace
}  // namespace morvane

namespace morvane {
namespace {

// Many keys set through one editor give the bytes that one write per key gives.
TEST(ProfileEditorTest, OneSaveEqualsAWritePerKey) {
    test::TempDir dir;
    const std::string start = "\xEF\xBB\xBF; note\r\n[B]\r\nk=old\r\n[A]\r\nx=1\n";
    test::write_file(dir / "one.ini", start);
    test::write_file(dir / "each.ini", start);
    const std::vector<std::vector<std::string>> keys{
        {"A", "x", "2"}, {"b", "K", "new"}, {"C", "y", ""}, {"A", "z", "3"}, {"B", "k", "last"}};
    std::string reason;
    std::optional<ProfileEditor> editor = ProfileEditor::open(dir / "one.ini", reason);
    ASSERT_TRUE(editor);
    for (const auto& key : keys) {
        editor->set(key[0], key[1], key[2]);
        ASSERT_TRUE(write_profile_string(dir / "each.ini", key[0], key[1], key[2]));
    }
    ASSERT_TRUE(editor->save(reason)) << reason;
    EXPECT_EQ(test::read_file(dir / "one.ini"), test::read_file(dir / "each.ini"));
}

TEST(ProfileEditorTest, AFileThatCannotBeReplacedSaysWhy) {
    test::TempDir dir;
    std::string reason;
    std::optional<ProfileEditor> editor = ProfileEditor::open(dir / "gone/job.ini", reason);
    ASSERT_TRUE(editor);  // a missing file is an empty one
    editor->set("A", "x", "1");
    EXPECT_FALSE(editor->save(reason));
    EXPECT_EQ(reason, "cannot be written in its folder: No such file or directory");
    test::make_folder(dir / "folder.ini");
    EXPECT_FALSE(ProfileEditor::open(dir / "folder.ini", reason));
    EXPECT_EQ(reason, "is not a regular file");
}

}  // namespace
}  // namespace morvane
