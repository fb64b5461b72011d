#include "program_group.h"

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <string_view>
#include <utility>

#include <pwd.h>
#include <strings.h>
#include <unistd.h>

#include "install_record.h"
#include "path_util.h"
#include "program_files.h"

namespace morvane {
namespace {

constexpr std::string_view kBlanks = " \t";

std::string_view trimmed(std::string_view text) {
    const std::size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

struct Command {
    std::string verb;
    std::vector<std::string> args;
};

// One argument: a quoted string taken as it is, or bare text without brackets or quotes.
std::optional<std::string> argument(std::string_view raw) {
    raw = trimmed(raw);
    const bool quoted = raw.size() >= 2 && raw.front() == '"' && raw.back() == '"';
    if (quoted) raw = raw.substr(1, raw.size() - 2);
    if (raw.find_first_of(quoted ? "\"" : "\"()[]") != std::string_view::npos) return std::nullopt;
    return std::string(raw);
}

// "[Verb(arg, \"quoted, arg\", ...)]"; nullopt when it is not one command of that form.
std::optional<Command> parse(std::string_view text) {
    text = trimmed(text);
    if (text.size() < 4 || !text.starts_with('[') || !text.ends_with(")]")) return std::nullopt;
    text = text.substr(1, text.size() - 3);
    const std::size_t open = text.find('(');
    if (open == std::string_view::npos) return std::nullopt;
    if (std::any_of(text.begin(), text.end(), [](char c) { return c >= 0 && c < ' '; }))
        return std::nullopt;
    Command command{std::string(trimmed(text.substr(0, open))), {}};
    std::string_view rest = text.substr(open + 1);
    if (trimmed(rest).empty()) return command;
    bool quoted = false;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= rest.size(); ++i) {
        if (i < rest.size() && rest[i] == '"') quoted = !quoted;
        if (i < rest.size() && (quoted || rest[i] != ',')) continue;
        std::optional<std::string> arg = argument(rest.substr(start, i - start));
        if (!arg) return std::nullopt;
        command.args.push_back(std::move(*arg));
        start = i + 1;
    }
    if (quoted) return std::nullopt;
    return command;
}

bool is(const Command& command, const char* verb) {
    return ::strcasecmp(command.verb.c_str(), verb) == 0;
}

// A name as it can stand in a desktop-file id: letters, digits, '-', '_' and '.'.
std::string id_part(std::string_view name) {
    std::string part(name);
    for (char& c : part) {
        const bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                          (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.';
        if (!keep) c = '_';
    }
    return part;
}

// A value of a desktop entry: backslashes doubled (control characters never get here).
std::string entry_value(std::string_view text) {
    std::string value;
    for (char c : text) {
        if (c == '\\') value += '\\';
        value += c;
    }
    return value;
}

// One argument of an Exec line: quoted when it holds a reserved character, with '"', '`',
// '$' and '\' escaped inside the quotes and '%' doubled.
std::string exec_argument(std::string_view arg, bool always_quote) {
    const bool quote = always_quote || arg.empty() ||
                       arg.find_first_of(" \t\n\"'\\><~|&;$*?#()`") != std::string_view::npos;
    std::string out = quote ? "\"" : "";
    for (char c : arg) {
        if (quote && (c == '"' || c == '`' || c == '$' || c == '\\')) out += '\\';
        if (c == '%') out += '%';
        out += c;
    }
    return quote ? out + '"' : out;
}

std::string xml_text(std::string_view text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string home_folder() {
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/') return home;
    const passwd* user = ::getpwuid(::getuid());
    return user != nullptr && user->pw_dir != nullptr ? user->pw_dir : "";
}

std::string xdg_folder(const char* variable, const char* under_home) {
    const char* value = std::getenv(variable);
    const bool set = value != nullptr && value[0] == '/';
    std::string folder = set ? std::string(value) : home_folder();
    if (folder.empty()) return {};
    if (!set) folder = join_path(folder, under_home);
    tidy_path(folder);
    if (folder.size() > 1 && folder.ends_with('/')) folder.pop_back();
    return folder;
}

}  // namespace

MenuPlaces menu_places() {
    return {xdg_folder("XDG_DATA_HOME", ".local/share"), xdg_folder("XDG_CONFIG_HOME", ".config")};
}

std::vector<std::string> group_commands(const std::string& install_folder) {
    return {"[CreateGroup(Tarvik_morvane, 1)]",
            "[AddItem(\"" + join_path(install_folder, "morvane_gui") + "\",Setup)]",
            "[AddItem(\"" + join_path(install_folder, kHelpFileName) + "\",Help, xdg-open, 1)]",
            "[ShowGroup(Tarvik_morvane)]"};
}

ProgramGroup::ProgramGroup(MenuPlaces places) : places_(std::move(places)) {}

bool ProgramGroup::execute(const std::string& text) {
    if (!places_.data_home.starts_with('/') || !places_.config_home.starts_with('/')) return false;
    const std::optional<Command> command = parse(text);
    if (!command) return false;
    if (is(*command, "CreateGroup")) return create_group(command->args);
    if (is(*command, "AddItem")) return add_item(command->args);
    return is(*command, "ShowGroup");
}

// CreateGroup(name[, common]): the menu directory entry and the menu file.
bool ProgramGroup::create_group(const std::vector<std::string>& args) {
    if (args.empty() || args.size() > 2 || args[0].empty()) return false;
    if (args[0] != group_) items_.clear();
    group_ = args[0];
    const std::string entry =
        "[Desktop Entry]\nType=Directory\nName=" + entry_value(group_) + "\nIcon=folder\n";
    return write(join_path(places_.data_home,
                           "desktop-directories/" + id_part(group_) + ".directory"),
                 entry) &&
           write_menu();
}

// AddItem(command line[, title[, program[, icon index]]]): the desktop entry; a program
// given opens the path, otherwise the path is the program.
bool ProgramGroup::add_item(const std::vector<std::string>& args) {
    if (group_.empty() || args.empty() || args.size() > 4 || args[0].empty()) return false;
    const std::string title =
        args.size() > 1 && !args[1].empty() ? args[1] : split_path(args[0]).name;
    const bool opener = args.size() > 2 && !args[2].empty();
    const std::string exec =
        opener ? exec_argument(args[2], false) + " " + exec_argument(args[0], true)
               : exec_argument(args[0], true);
    const std::string entry = "[Desktop Entry]\nType=Application\nName=" + entry_value(title) +
                              "\nExec=" + entry_value(exec) +
                              "\nIcon=" + (opener ? "help-browser" : "application-x-executable") +
                              "\nTerminal=false\nCategories=Graphics;\n";
    const std::string id = id_part(group_) + "-" + id_part(title) + ".desktop";
    if (!write(join_path(places_.data_home, "applications/" + id), entry)) return false;
    if (std::find(items_.begin(), items_.end(), id) == items_.end()) items_.push_back(id);
    return write_menu();
}

// The group as a submenu of Applications, listing its entries by desktop-file id.
bool ProgramGroup::write_menu() {
    const std::string id = id_part(group_);
    std::string menu =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<Menu>\n  <Name>Applications</Name>\n  <Menu>\n    <Name>" +
        xml_text(group_) + "</Name>\n    <Directory>" + xml_text(id) +
        ".directory</Directory>\n    <Include>\n";
    for (const std::string& item : items_)
        menu += "      <Filename>" + xml_text(item) + "</Filename>\n";
    menu += "    </Include>\n  </Menu>\n</Menu>\n";
    return write(join_path(places_.config_home, "menus/applications-merged/" + id + ".menu"), menu);
}

bool ProgramGroup::write(const std::string& path, const std::string& text) {
    std::string error;
    if (!replace_file(path, text, error)) return false;
    if (std::find(written_.begin(), written_.end(), path) == written_.end())
        written_.push_back(path);
    return true;
}

}  // namespace morvane
