#pragma once
// Path text helpers shared by the three programs: the job file's length rule, tidying,
// splitting, joining and creating every folder of a path.

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace morvane {

// The longest path the job file and the file-list file hold (259 bytes, the length the
// job file has always held). A longer one is refused wherever it is met, never cut.
inline constexpr std::size_t kLongestJobPath = 259;

// True when the path is at most kLongestJobPath bytes long.
[[nodiscard]] constexpr bool path_fits(std::string_view path) {
    return path.size() <= kLongestJobPath;
}

// The longest path Linux accepts (PATH_MAX less its terminating NUL).
inline constexpr std::size_t kMaxPathLength = 4095;

// Collapses every run of two or more '/' into one, a leading pair included.
void tidy_path(std::string& path);

// True when the path names a directory (a link to one counts).
[[nodiscard]] bool is_folder(const std::string& path);

// True when the path begins with two '/' (the network-path form).
[[nodiscard]] bool is_network_path(std::string_view path);

// Network-path variant: keeps the two leading '/', collapses every later run of '/'
// (a third '/' right after the leading pair disappears). Letter case is kept.
void tidy_network_path(std::string& path);

// Tidies with the network-path variant when the path begins with two '/',
// otherwise with tidy_path.
void tidy_source_path(std::string& path);

// A path split the way the Windows _splitpath does it. `drive` is always empty here;
// `folder` is everything up to and including the last '/'; `name` runs from there to
// the last dot of the file name; `ext` is the rest, dot included (empty when the file
// name has no dot).
struct PathParts {
    std::string drive;
    std::string folder;
    std::string name;
    std::string ext;
};
[[nodiscard]] PathParts split_path(std::string_view path);

// "%s/%s" of folder and name, tidied.
[[nodiscard]] std::string join_path(std::string_view folder, std::string_view name);

// The path made absolute against the current folder (unchanged when it already is).
// ImageMagick takes an absolute name literally whatever it holds; a relative one could
// begin with '-' or a "format:" prefix.
[[nodiscard]] std::string absolute_path(const std::string& path);

// Creates every folder along the path, the last part included; failures are ignored,
// so existing folders cost nothing.
void create_folder_path(const std::string& path);

// Creates every folder on the way to a file; the part after the last '/' is not created.
void create_file_folders(const std::string& file_path);

// The paths of the entries of `folder` whose names begin with `head` and end with `tail`,
// read whole before anything is done with them.
[[nodiscard]] std::vector<std::string> paths_named(const std::string& folder, std::string_view head,
                                                   std::string_view tail);

// Removes the entries of `folder` that are not folders and whose names `matches`
// accepts; a symbolic link is removed itself, never followed.
void remove_files_matching(const std::string& folder,
                           const std::function<bool(const std::string& name)>& matches);

}  // namespace morvane
