#pragma once
// Documents made at test time: PostScript written here, PDF made from it by Ghostscript.
// Each page is filled with one colour so that a test can tell the pages apart.

#include <cstdio>
#include <string>
#include <vector>

#include "test_support.h"

namespace morvane::test {

// One page per letter of `colours` ('r', 'g', 'b'; anything else is white), each
// 200 x 100 points and filled with its colour.
inline std::string postscript_pages(const std::string& colours) {
    std::string text = "%!PS\n<< /PageSize [200 100] >> setpagedevice\n";
    for (const char c : colours) {
        const char* rgb = c == 'r' ? "1 0 0" : c == 'g' ? "0 1 0" : c == 'b' ? "0 0 1" : "1 1 1";
        text += std::string(rgb) + " setrgbcolor 0 0 200 100 rectfill showpage\n";
    }
    return text;
}

// The pages as a PDF, written by Ghostscript's pdfwrite device.
inline bool make_pdf(const std::string& path, const std::string& colours) {
    const std::string ps = path + ".source.ps";
    write_file(ps, postscript_pages(colours));
    const int status =
        run_program("/usr/bin/gs", {"-dSAFER", "-dBATCH", "-dNOPAUSE", "-dQUIET",
                                    "-sDEVICE=pdfwrite", "-sOutputFile=" + path, ps});
    std::remove(ps.c_str());
    return status == 0 && exists(path);
}

// Names in the folder that end in ".pnm".
inline std::vector<std::string> page_files_in(const std::string& folder) {
    std::vector<std::string> found;
    for (const std::string& name : list_folder(folder)) {
        if (name.ends_with(".pnm")) found.push_back(name);
    }
    return found;
}

}  // namespace morvane::test
