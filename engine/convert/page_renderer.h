#pragma once
// The page renderer of the document converters: Ghostscript draws the pages of a
// PostScript or PDF document into page files (portable anymaps) in the temporary
// folder. It runs in a child process that is killed after a time limit, so a document
// that loops or crashes the interpreter costs one document, never the run.

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace morvane {

// How long one document may take to render.
inline constexpr std::chrono::seconds kRenderTimeLimit{120};

// The time limit of every later rendering (tests shorten it).
void set_render_time_limit(std::chrono::seconds limit);

struct RenderRequest {
    std::string source;     // absolute path of the document
    std::string folder;     // where the page files go, no trailing '/'
    std::string base;       // page files are "<base>_00001.pnm", "<base>_00002.pnm", ...
    int density = 72;       // pixels per inch
    bool eps_crop = false;  // render at the bounding box instead of the paper size
    int first_page = 1;     // the first page to render, from 1
    int last_page = 0;      // the last page to render; 0: to the end
};

// "<folder>/<base>_%05d.pnm" with the number.
[[nodiscard]] std::string page_file_name(const std::string& folder, const std::string& base,
                                         int number);

// Removes the page files of `base` from the folder: "<base>_NNNNN.pnm" (five digits)
// and "<base>.pnm", nothing else.
void remove_page_files(const std::string& folder, const std::string& base);

// Renders the pages. True with the page files in page order (numbered from 1 whatever
// the first page); false with the reason when nothing was rendered. Page files of the
// same base name found before rendering are removed first, and on failure none is left.
[[nodiscard]] bool render_pages(const RenderRequest& request, std::vector<std::string>& pages,
                                std::string& reason);

// What became of work done in a child process.
struct ChildOutcome {
    bool done = false;    // the work finished and reported success
    std::string message;  // one line the work reported, or why it did not finish
};

// Runs `work` in a child process and waits for it at most `limit`: a child still
// running then is killed. `work` returns its success and may set one line of message.
[[nodiscard]] ChildOutcome run_in_child(const std::function<bool(std::string&)>& work,
                                        std::chrono::seconds limit);

}  // namespace morvane
