// The selected files' model: order, letter case, and bulk changes kept consistent for
// the views that show it.

#include <gtest/gtest.h>

#include <QAbstractItemModelTester>

#include "selected_files.h"

namespace morvane {
namespace {

QStringList numbered(int from, int to, int step, const char* pattern) {
    QStringList paths;
    for (int i = from; i < to; i += step) paths << QString(pattern).arg(i, 5, 10, QChar('0'));
    return paths;
}

struct AddCase {
    const char* name;
    QStringList first;
    QStringList then;
    int expected_rows;
};
void PrintTo(const AddCase& c, std::ostream* out) {
    *out << c.name;
}

class Adding : public ::testing::TestWithParam<AddCase> {};

// A few paths go in one by one, many in one pass: the outcome is the same sorted list.
TEST_P(Adding, KeepsTheListSortedAndRefusesPathsThatDifferOnlyInCase) {
    SelectedFiles model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    model.add(GetParam().first);
    model.add(GetParam().then);
    EXPECT_EQ(model.rowCount(), GetParam().expected_rows);
    const QStringList paths = model.paths();
    for (qsizetype i = 1; i < paths.size(); ++i) {
        EXPECT_LT(paths[i - 1].compare(paths[i], Qt::CaseInsensitive), 0) << i;
    }
    for (const QString& path : GetParam().then) EXPECT_TRUE(model.contains(path.toUpper()));
}

INSTANTIATE_TEST_SUITE_P(
    Batches, Adding,
    ::testing::Values(
        AddCase{"few", numbered(0, 100, 2, "/f/a%1.png"), numbered(1, 10, 2, "/f/A%1.png"), 55},
        AddCase{"many", numbered(0, 1000, 2, "/f/a%1.png"), numbered(0, 1000, 1, "/f/A%1.PNG"),
                1000},
        AddCase{"into nothing", {}, numbered(0, 500, 1, "/f/%1.png"), 500},
        AddCase{"twins in one batch", {}, QStringList{"/x.png", "/X.PNG", "/x.png", "/a"}, 2}));

struct RemoveCase {
    const char* name;
    std::vector<int> rows;
};
void PrintTo(const RemoveCase& c, std::ostream* out) {
    *out << c.name;
}

class Removing : public ::testing::TestWithParam<RemoveCase> {};

TEST_P(Removing, TakesExactlyTheRowsAndForgetsTheirPaths) {
    SelectedFiles model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    const QStringList all = numbered(0, 300, 1, "/f/%1.png");
    model.add(all);
    model.remove_rows(GetParam().rows);
    QStringList expected = all;
    std::vector<int> gone = GetParam().rows;
    std::sort(gone.rbegin(), gone.rend());
    gone.erase(std::unique(gone.begin(), gone.end()), gone.end());
    for (const int row : gone) {
        if (row >= 0 && row < expected.size()) expected.removeAt(row);
    }
    EXPECT_EQ(model.paths(), expected);
    model.add(all);  // what went can come back
    EXPECT_EQ(model.paths(), all);
}

std::vector<int> every(int step) {
    std::vector<int> rows;
    for (int row = 0; row < 300; row += step) rows.push_back(row);
    return rows;
}

INSTANTIATE_TEST_SUITE_P(
    Selections, Removing,
    ::testing::Values(RemoveCase{"one run", {10, 11, 12, 13}}, RemoveCase{"scattered", every(3)},
                      RemoveCase{"all", every(1)},
                      RemoveCase{"repeats and strays", {5, 5, 299, -1, 300, 0}},
                      RemoveCase{"none", {}}));

}  // namespace
}  // namespace morvane
