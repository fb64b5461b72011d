// The program group's commands written as menu entries into a test folder, checked with
// desktop-file-validate and by reading the entries back.

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <set>

#include <gtest/gtest.h>

#include <QProcess>

#include "program_group.h"
#include "test_support.h"

namespace morvane::test {
namespace {

std::set<std::string> files_under(const std::string& folder) {
    std::set<std::string> files;
    if (!std::filesystem::exists(folder)) return files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        if (!entry.is_directory()) files.insert(entry.path().string());
    }
    return files;
}

// The value of `key` in a desktop entry ("" when absent), still escaped.
std::string entry_value(const std::string& path, const std::string& key) {
    const std::string text = read_file(path);
    const std::size_t at = text.find("\n" + key + "=");
    if (at == std::string::npos) return {};
    const std::size_t start = at + key.size() + 2;
    return text.substr(start, text.find('\n', start) - start);
}

// The arguments a launcher makes of an Exec value: the key file's "\\" first, then the
// quoting and the doubled '%' (the entries hold no other escapes).
std::vector<std::string> exec_arguments(const std::string& value) {
    std::string text;
    for (std::size_t i = 0; i < value.size(); ++i) text += value[value[i] == '\\' ? ++i : i];
    std::vector<std::string> args(1);
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '"') {
            quoted = !quoted;
        } else if (text[i] == ' ' && !quoted) {
            args.emplace_back();
        } else {
            args.back() += text[(quoted && text[i] == '\\') || text[i] == '%' ? ++i : i];
        }
    }
    return args;
}

class ProgramGroupTest : public ::testing::Test {
  protected:
    TempDir dir;
    MenuPlaces places{dir / "data", dir / "config"};
    std::string app(const std::string& title) const {
        return places.data_home + "/applications/Tarvik_morvane-" + title + ".desktop";
    }
    std::string directory() const {
        return places.data_home + "/desktop-directories/Tarvik_morvane.directory";
    }
    std::string menu() const {
        return places.config_home + "/menus/applications-merged/Tarvik_morvane.menu";
    }
    std::set<std::string> all_files() const {
        std::set<std::string> files = files_under(places.data_home);
        files.merge(files_under(places.config_home));
        return files;
    }
};

class InstallFolder : public ProgramGroupTest, public ::testing::WithParamInterface<std::string> {};

TEST_P(InstallFolder, FourCommandsMakeValidEntriesThatStartTheInstalledFiles) {
    const std::string folder = dir / GetParam();
    ProgramGroup group(places);
    for (const std::string& command : group_commands(folder + "/"))
        EXPECT_TRUE(group.execute(command)) << command;

    const std::set<std::string> expected{app("Setup"), app("Help"), directory(), menu()};
    EXPECT_EQ(std::set<std::string>(group.written().begin(), group.written().end()), expected);
    EXPECT_EQ(group.written().size(), expected.size());
    EXPECT_EQ(all_files(), expected);
    for (const std::string& entry : {app("Setup"), app("Help"), directory()}) {
        QProcess validate;
        validate.setProcessChannelMode(QProcess::MergedChannels);
        validate.start("desktop-file-validate", {QString::fromStdString(entry)});
        ASSERT_TRUE(validate.waitForFinished(-1));
        EXPECT_EQ(validate.exitCode(), 0);
        EXPECT_EQ(validate.readAll().toStdString(), "") << entry;
    }
    EXPECT_EQ(exec_arguments(entry_value(app("Setup"), "Exec")),
              std::vector<std::string>{folder + "/morvane_gui"});
    EXPECT_EQ(exec_arguments(entry_value(app("Help"), "Exec")),
              (std::vector<std::string>{"xdg-open", folder + "/Tarvike_morvane.html"}));
    const std::string listed = read_file(menu());
    for (const char* id : {"<Filename>Tarvik_morvane-Setup.desktop</Filename>",
                           "<Filename>Tarvik_morvane-Help.desktop</Filename>",
                           "<Directory>Tarvik_morvane.directory</Directory>"}) {
        EXPECT_NE(listed.find(id), std::string::npos) << id;
    }
}

INSTANTIATE_TEST_SUITE_P(Names, InstallFolder,
                         ::testing::Values("plain", "with blank", "$HOME `x` back\\slash 100%",
                                           "it's (a) & b; <c> #d *?~|", "ünïcødé"));

class Refused : public ProgramGroupTest, public ::testing::WithParamInterface<std::string> {};

TEST_P(Refused, WritesNothing) {
    ProgramGroup group(places);
    EXPECT_FALSE(group.execute(GetParam()));
    EXPECT_TRUE(group.written().empty());
    EXPECT_TRUE(all_files().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Commands, Refused,
    ::testing::Values("[AddItem(\"/opt/x/morvane_gui\",Setup)]", "garbage", "", "[CreateGroup()]",
                      "CreateGroup(Tarvik_morvane)", "[CreateGroup(Tarvik_morvane]",
                      "[Frobnicate(Tarvik_morvane)]", "[CreateGroup(\"Tarvik_morvane)]",
                      "[CreateGroup(Tarvik_morvane)][ShowGroup(Tarvik_morvane)]",
                      "[CreateGroup(a\nb)]", "[CreateGroup(a, 1, 2)]"));

TEST_F(ProgramGroupTest, UnwritablePlacesRefuseAndRecordNothing) {
    write_file(dir / "file", "");
    ProgramGroup group({dir / "file", dir / "file"});
    EXPECT_FALSE(group.execute("[CreateGroup(Tarvik_morvane, 1)]"));
    EXPECT_FALSE(group.execute("[AddItem(\"/opt/x/morvane_gui\",Setup)]"));
    EXPECT_TRUE(group.written().empty());
    EXPECT_EQ(files_under(dir.path()), std::set<std::string>{dir / "file"});
}

TEST(MenuPlacesTest, RelativeXdgFoldersFallBackToHome) {
    const TempDir dir;
    std::vector<std::pair<const char*, std::optional<std::string>>> saved;
    for (const char* name : {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME"}) {
        const char* old = std::getenv(name);
        saved.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
    }
    ::setenv("HOME", dir.path().c_str(), 1);
    ::setenv("XDG_DATA_HOME", "relative/data", 1);
    ::setenv("XDG_CONFIG_HOME", (dir / "conf/").c_str(), 1);
    const MenuPlaces places = menu_places();
    for (const auto& [name, value] : saved) {
        value ? ::setenv(name, value->c_str(), 1) : ::unsetenv(name);
    }
    EXPECT_EQ(places.data_home, dir / ".local/share");
    EXPECT_EQ(places.config_home, dir / "conf");
}

}  // namespace
}  // namespace morvane::test
