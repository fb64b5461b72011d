#pragma once
// The intermediate files a run writes into the temporary folder, and their removal at
// the end of the run.

#include <algorithm>
#include <string>
#include <vector>

namespace morvane {

// The intermediate files a run writes into the temporary folder; the end-of-run
// clean-up removes those that are still there and nothing else.
struct TempFiles {
    std::string folder;  // the user's temporary folder, no trailing '/'
    std::vector<std::string> created;

    // Each name is kept once, however often a converter reuses it.
    void add(const std::string& path) {
        if (std::find(created.begin(), created.end(), path) == created.end()) {
            created.push_back(path);
        }
    }
};

// End of run: deletes the file-list file (when its path is known) and the intermediate
// files the run created; never a ".log" file or a folder.
void clean_temp_folder(TempFiles& temp, const std::string& file_list_path);

}  // namespace morvane
