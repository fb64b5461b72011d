// The folder tree on a home the test makes, with its desktop and documents set the XDG way.

#include "folder_tree.h"

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <set>

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace morvane {
namespace {

class FolderTreeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(temp_.isValid());
        // An unprivileged child walks these folders too.
        ASSERT_EQ(chmod(QFile::encodeName(temp_.path()), 0755), 0);
        home_ = temp_.path() + "/home";
        for (const char* name : {"HOME", "XDG_CONFIG_HOME"}) {
            saved_.emplace_back(name, qgetenv(name));
        }
        qputenv("HOME", QFile::encodeName(home_));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(temp_.path() + "/config"));
        set_user_dirs("$HOME/Desktop", "$HOME/Documents");
        make({"Desktop/", "Documents/"});
    }
    void TearDown() override {
        for (const auto& [name, value] : saved_) qputenv(name, value);
    }

    void set_user_dirs(const char* desktop, const char* documents) {
        ASSERT_TRUE(QDir().mkpath(temp_.path() + "/config"));
        QFile dirs(temp_.path() + "/config/user-dirs.dirs");
        ASSERT_TRUE(dirs.open(QIODevice::WriteOnly));
        dirs.write(QByteArray("XDG_DESKTOP_DIR=\"") + desktop + "\"\nXDG_DOCUMENTS_DIR=\"" +
                   documents + "\"\n");
    }
    // Entries below home: folders end in '/', "name>target" is a link, anything else a file.
    void make(const QStringList& entries) {
        for (const QString& entry : entries) {
            const QString path = home_ + '/' + entry.section('>', 0, 0);
            ASSERT_TRUE(QDir().mkpath(entry.endsWith('/') ? path : QFileInfo(path).path()));
            if (entry.contains('>')) {
                ASSERT_TRUE(QFile::link(entry.section('>', 1), path));
            } else if (!entry.endsWith('/')) {
                ASSERT_TRUE(QFile(path).open(QIODevice::WriteOnly));
            }
        }
    }
    static QStringList texts(const FolderTree& tree, const QModelIndex& parent) {
        QStringList names;
        for (int row = 0; row < tree.model()->rowCount(parent); ++row) {
            names << tree.model()->index(row, 0, parent).data().toString();
        }
        return names;
    }

    QTemporaryDir temp_;
    QString home_;
    std::vector<std::pair<const char*, QByteArray>> saved_;
};

struct TopCase {
    const char* desktop;
    const char* documents;
    QStringList shown;  // below home, before the root
};
void PrintTo(const TopCase& top, std::ostream* out) {
    *out << top.desktop << ' ' << top.documents;
}

class TopLevelTest : public FolderTreeTest, public ::testing::WithParamInterface<TopCase> {};

TEST_P(TopLevelTest, HomeDesktopDocumentsThenRootThenVolumes) {
    set_user_dirs(GetParam().desktop, GetParam().documents);
    std::vector<QString> expected{home_};
    for (const QString& name : GetParam().shown) expected.push_back(home_ + '/' + name);
    expected.push_back("/");

    const std::vector<QString> folders = top_level_folders();
    ASSERT_GE(folders.size(), expected.size());
    EXPECT_EQ(std::vector<QString>(folders.begin(), folders.begin() + expected.size()), expected);
    EXPECT_EQ(std::set<QString>(folders.begin(), folders.end()).size(), folders.size());
    for (const QString& volume : folders) {
        EXPECT_FALSE(volume.contains(QRegularExpression("^/(proc|sys|dev|run/user)/")));
    }

    FolderTree tree;
    EXPECT_EQ(tree.objectName(), "10000");
    EXPECT_EQ(tree.model()->rowCount(), static_cast<int>(folders.size()));
    EXPECT_EQ(texts(tree, {}).mid(0, static_cast<int>(expected.size())),
              QStringList{"home"} + GetParam().shown + QStringList{"/"});
    EXPECT_TRUE(tree.isExpanded(tree.model()->index(0, 0)));
}

INSTANTIATE_TEST_SUITE_P(
    UserDirs, TopLevelTest,
    ::testing::Values(TopCase{"$HOME/Desktop", "$HOME/Documents", {"Desktop", "Documents"}},
                      TopCase{"$HOME/", "$HOME//Documents/", {"Documents"}},
                      TopCase{"$HOME/Desktop", "$HOME/Missing", {"Desktop"}},
                      TopCase{"$HOME/Documents", "$HOME/Documents", {"Documents"}}));

TEST_F(FolderTreeTest, ShowsVisibleFoldersAndLinksToThemSortedWithoutCase) {
    make({"list/gamma/inner/", "list/Beta/", "list/alpha/.cache/", "list/alpha/notes.txt",
          "list/.hidden/inner/", "list/notes.txt", "list/linked>gamma", "list/to_file>notes.txt",
          "list/dangling>nowhere"});
    const QStringList expected{"alpha", "Beta", "gamma", "linked"};
    EXPECT_EQ(sub_folders(home_ + "/list"), expected);

    FolderTree tree;
    ASSERT_TRUE(tree.choose(home_ + "/list/linked/inner"));
    const QModelIndex list = tree.currentIndex().parent().parent();
    EXPECT_EQ(texts(tree, list), expected);
    // An expand button only over folders with a visible sub-folder, before they are read.
    for (const auto& [row, button] : {std::pair{0, false}, {1, false}, {2, true}}) {
        EXPECT_EQ(tree.model()->hasChildren(tree.model()->index(row, 0, list)), button) << row;
    }
    EXPECT_FALSE(tree.choose(home_ + "/list/.hidden"));
    EXPECT_FALSE(tree.choose(home_ + "/list/notes.txt"));
}

TEST_F(FolderTreeTest, ReadsChildrenOnFirstExpansionOnly) {
    make({"lazy/first/"});
    FolderTree tree;
    tree.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&tree));
    ASSERT_TRUE(tree.choose(home_ + "/lazy"));
    const QModelIndex lazy = tree.currentIndex();
    EXPECT_EQ(tree.model()->rowCount(lazy), 0);

    make({"lazy/second/"});
    tree.expand(lazy);
    EXPECT_EQ(texts(tree, lazy), (QStringList{"first", "second"}));
    make({"lazy/third/"});
    tree.collapse(lazy);
    tree.expand(lazy);
    EXPECT_EQ(texts(tree, lazy), (QStringList{"first", "second"}));
}

TEST_F(FolderTreeTest, ChooseSelectsAndSignalsTheAbsolutePath) {
    make({"a/b/"});
    FolderTree tree;
    EXPECT_EQ(tree.chosen_folder(), "");
    QSignalSpy chosen(&tree, &FolderTree::folder_chosen);
    ASSERT_TRUE(tree.choose(home_ + "//a/b/"));
    ASSERT_EQ(chosen.count(), 1);
    EXPECT_EQ(chosen.at(0).at(0).toString(), home_ + "/a/b");
    EXPECT_EQ(tree.chosen_folder(), home_ + "/a/b");
    EXPECT_TRUE(tree.isExpanded(tree.currentIndex().parent()));

    for (const QString& miss : {QString("a/b"), home_ + "/a/missing"}) {
        EXPECT_FALSE(tree.choose(miss));
    }
    EXPECT_EQ(chosen.count(), 1);
    EXPECT_EQ(tree.chosen_folder(), home_ + "/a/b");
}

// Right opens a folder (reading its sub-folders then) or steps into it, Left closes it or
// steps up to its parent.
TEST_F(FolderTreeTest, ArrowKeysOpenAndCloseFoldersReadOnDemand) {
    make({"keys/alpha/inner/", "keys/beta/"});
    FolderTree tree;
    tree.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&tree));
    ASSERT_TRUE(tree.choose(home_ + "/keys"));
    const QModelIndex keys = tree.currentIndex();
    ASSERT_EQ(tree.model()->rowCount(keys), 0);
    tree.setFocus();
    const auto press = [&tree](Qt::Key key) { QTest::keyClick(&tree, key); };

    press(Qt::Key_Right);
    EXPECT_TRUE(tree.isExpanded(keys));
    EXPECT_EQ(texts(tree, keys), (QStringList{"alpha", "beta"}));
    press(Qt::Key_Right);
    EXPECT_EQ(tree.chosen_folder(), home_ + "/keys/alpha");
    const QModelIndex alpha = tree.currentIndex();
    press(Qt::Key_Right);
    EXPECT_TRUE(tree.isExpanded(alpha));
    EXPECT_EQ(texts(tree, alpha), QStringList{"inner"});
    press(Qt::Key_Left);
    EXPECT_FALSE(tree.isExpanded(alpha));
    EXPECT_EQ(tree.chosen_folder(), home_ + "/keys/alpha");
    press(Qt::Key_Left);
    EXPECT_EQ(tree.chosen_folder(), home_ + "/keys");
    press(Qt::Key_Left);
    EXPECT_FALSE(tree.isExpanded(keys));
    press(Qt::Key_Down);  // the next folder after keys, keys' own children hidden
    EXPECT_NE(tree.currentIndex().parent(), keys);
}

TEST_F(FolderTreeTest, UnreadableFolderGetsNoChildren) {
    make({"locked/inner/"});
    const QString locked = home_ + "/locked";
    ASSERT_EQ(chmod(QFile::encodeName(locked), 0), 0);
    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        // Permissions do not bind root, so the child looks as nobody.
        if (geteuid() == 0 &&
            (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)) {
            _exit(2);
        }
        FolderTree tree;
        QSignalSpy told(&tree, &FolderTree::folder_unreadable);
        bool fine = tree.choose(locked) && !tree.model()->hasChildren(tree.currentIndex());
        tree.expand(tree.currentIndex());
        fine = fine && tree.model()->rowCount(tree.currentIndex()) == 0 &&
               sub_folders(locked).isEmpty();
        // The parent read the folder's entry but could not look inside: no expand button,
        // and nothing to tell; a node opened over a closed folder is told.
        fine = fine && told.isEmpty();
        _exit(fine ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    chmod(QFile::encodeName(locked), 0755);
}

}  // namespace
}  // namespace morvane
