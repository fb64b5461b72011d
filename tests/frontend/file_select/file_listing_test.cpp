// What the file selection lists, how its rows sort, and the file-list file's bytes.

#include <cstdlib>
#include <ctime>
#include <set>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include "file_list_file.h"
#include "file_list_model.h"
#include "file_listing.h"
#include "test_support.h"

namespace morvane::test {
namespace {

// Writes a file, making its folder first.
void put(const std::string& path, const std::string& bytes) {
    make_folder(path.substr(0, path.rfind('/')));
    write_file(path, bytes);
}

std::set<QString> names(const std::vector<FileEntry>& entries) {
    std::set<QString> found;
    for (const FileEntry& entry : entries) found.insert(entry.name);
    return found;
}

void set_time(const std::string& path, std::time_t when) {
    const timeval times[2] = {{when, 0}, {when, 0}};
    ASSERT_EQ(::utimes(path.c_str(), times), 0);
}

class Listing : public ::testing::Test {
  protected:
    void SetUp() override {
        put(dir / "photo.png", "x");
        put(dir / "UPPER.JPG", "x");
        put(dir / "empty.png", "");
        put(dir / ".hidden.png", "x");
        put(dir / "notes.txt", "x");
        put(dir / "raw.CR2", "x");
        put(dir / "noext", "x");
        make_folder(dir / "folder.png");  // a folder with a listed extension
        put(dir / "sub/photo.png", "x");  // a name met again further down
        put(dir / "sub/deep.nef", "x");
        put(dir / "sub/deeper/page.pdf", "x");
        put(dir / ".dot/hidden.png", "x");
    }
    QString folder() const { return QString::fromStdString(dir.path()); }
    TempDir dir;
};

TEST_F(Listing, OneFolderListsOnlyNonEmptyFilesOfTheSetOnce) {
    ListedNames listed;
    EXPECT_EQ(names(list_folder(folder(), listed).entries),
              (std::set<QString>{"photo.png", "UPPER.JPG"}));
    // Listing again adds no name already in the list.
    EXPECT_TRUE(list_folder(folder(), listed).entries.empty());
}

TEST_F(Listing, TheWalkAddsSubFoldersAndCameraRawButNoNameTwice) {
    ListedNames listed;
    const std::vector<FileEntry> walked = walk_folder(folder(), listed).entries;
    EXPECT_EQ(names(walked),
              (std::set<QString>{"photo.png", "UPPER.JPG", "raw.CR2", "deep.nef", "page.pdf"}));
    for (const FileEntry& entry : walked) {
        EXPECT_TRUE(exists(entry.path().toStdString())) << entry.path().toStdString();
    }
}

TEST_F(Listing, AWalkThroughALinkBackUpEnds) {
    ASSERT_EQ(::symlink(dir.path().c_str(), (dir / "sub/loop").c_str()), 0);
    ListedNames listed;
    EXPECT_EQ(walk_folder(folder(), listed).entries.size(), 5u);
}

TEST(ListingRows, SizesAreSixtyFourBitAndDatesMonthFirst) {
    TempDir dir;
    const std::string big = dir / "big.tif";
    put(big, "x");
    ASSERT_EQ(::truncate(big.c_str(), 5LL << 30), 0);  // sparse: no disk is used
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    set_time(big, 1136419200 + 13 * 3600 + 7 * 60);  // 5 January 2006, 13:07 UTC
    ListedNames listed;
    const auto rows = list_folder(QString::fromStdString(dir.path()), listed).entries;
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].size, 5ULL << 30);
    EXPECT_EQ(rows[0].date, "01/05/2006 13:07");
    FileListModel model;
    model.add_at_top(rows);
    EXPECT_EQ(model.data(model.index(0, FileListModel::kSize), Qt::DisplayRole).toString(),
              "5368709120");
    ::unsetenv("TZ");
    ::tzset();
}

struct SortCase {
    int column;
    std::vector<QString> expected;
};

class RowSorting : public ::testing::TestWithParam<SortCase> {};

// Rows: name, size, time. 5 January 2006 sorts after 31 December 2005.
TEST_P(RowSorting, AscendingByTheClickedColumn) {
    FileListModel model;
    model.add_at_top({
        {"/f", "beta.png", 100, 1136419200, ""},
        {"/f", "Alpha.png", 9, 1136073600 + 1000, ""},
        {"/f", "gamma.png", 10, 1136000000, ""},
    });
    model.sort_by(GetParam().column);
    std::vector<QString> order;
    for (int row = 0; row < model.rowCount(); ++row) order.push_back(model.entry(row).name);
    EXPECT_EQ(order, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Columns, RowSorting,
    ::testing::Values(SortCase{FileListModel::kFile, {"Alpha.png", "beta.png", "gamma.png"}},
                      SortCase{FileListModel::kSize, {"Alpha.png", "gamma.png", "beta.png"}},
                      SortCase{FileListModel::kDate, {"gamma.png", "Alpha.png", "beta.png"}}));

TEST(ListingRows, RowsShowInTheReverseOfTheirListingOrder) {
    FileListModel model;
    model.add_at_top({{"/f", "first.png", 1, 0, ""}, {"/f", "second.png", 1, 0, ""}});
    EXPECT_EQ(model.entry(0).name, "second.png");
    EXPECT_EQ(model.data(model.index(1, 0), Qt::DisplayRole).toString(), "first.png");
}

TEST(FileListFile, BytesAreNumberedLinesAfterTheSection) {
    EXPECT_EQ(file_list_bytes({}), QByteArray("[FILES]\r\n"));
    EXPECT_EQ(file_list_bytes({"/a b/x.png", "/c/y.jpg"}),
              QByteArray("[FILES]\r\n0=/a b/x.png\r\n1=/c/y.jpg\r\n"));
}

TEST(FileListFile, AnExistingFileIsReplacedWholeAndPrivately) {
    TempDir dir;
    put(dir / "t.log", std::string(1000, 'z'));
    QString error;
    ASSERT_TRUE(write_file_list(QString::fromStdString(dir.path()), {"/x.png"}, error));
    EXPECT_EQ(read_file(dir / "t.log"), "[FILES]\r\n0=/x.png\r\n");
    struct stat st {};
    ASSERT_EQ(::stat((dir / "t.log").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(list_folder(dir.path()), std::vector<std::string>{"t.log"});  // no leftover
}

TEST(FileListFile, AFolderThatCannotBeWrittenIsReported) {
    TempDir dir;
    QString error;
    EXPECT_FALSE(write_file_list(QString::fromStdString(dir / "missing"), {"/x.png"}, error));
    EXPECT_EQ(error, "No such file or directory");
}

}  // namespace
}  // namespace morvane::test
