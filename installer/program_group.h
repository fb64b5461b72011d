#pragma once
// The installer's Program Manager commands carried out as freedesktop menu entries: a menu
// directory per group, a desktop entry per item and a merged menu file listing them.

#include <string>
#include <vector>

namespace morvane {

struct MenuPlaces {
    std::string data_home;
    std::string config_home;
};

// $XDG_DATA_HOME (absolute, else ~/.local/share) and $XDG_CONFIG_HOME (absolute, else
// ~/.config).
[[nodiscard]] MenuPlaces menu_places();

// The four commands for an installation folder, in order: CreateGroup, the Setup item
// (morvane_gui), the Help item (the HTML page through xdg-open) and ShowGroup.
[[nodiscard]] std::vector<std::string> group_commands(const std::string& install_folder);

class ProgramGroup {
  public:
    explicit ProgramGroup(MenuPlaces places);

    // Carries out one command; false when it cannot (unknown or malformed command, an
    // AddItem before any CreateGroup, files that cannot be written) - the caller skips it.
    bool execute(const std::string& command);

    // Absolute paths of every file written so far.
    [[nodiscard]] const std::vector<std::string>& written() const { return written_; }

  private:
    bool create_group(const std::vector<std::string>& args);
    bool add_item(const std::vector<std::string>& args);
    bool write(const std::string& path, const std::string& text);
    bool write_menu();

    MenuPlaces places_;
    std::string group_;               // empty until a CreateGroup
    std::vector<std::string> items_;  // desktop-file ids of the group's entries
    std::vector<std::string> written_;
};

}  // namespace morvane
