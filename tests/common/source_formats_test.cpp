#include "source_formats.h"

#include <cctype>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "job_keys.h"

namespace morvane {
namespace {

std::string file_text(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The keys of one section of an INI text, as written.
std::set<std::string> section_keys(const std::string& text, const std::string& section) {
    std::set<std::string> keys;
    std::istringstream lines(text);
    bool inside = false;
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty() && line.front() == '[') {
            inside = line == "[" + section + "]";
        } else if (inside && line.find('=') != std::string::npos) {
            keys.insert(line.substr(0, line.find('=')));
        }
    }
    return keys;
}

std::string walked_extensions(const SourceFormat& format) {
    std::string list;
    for (const SourceExtension& ext : format.extensions) {
        if ((ext.admitted & kFolderWalk) == 0) continue;
        list += (list.empty() ? "" : " ") + std::string(ext.name);
    }
    return list;
}

TEST(SourceFormats, NoExtensionIsInTwoRowsAndEachIsADotAndSmallLetters) {
    std::set<std::string> seen;
    for (const SourceFormat& format : source_formats()) {
        for (const SourceExtension& ext : format.extensions) {
            if (ext.name.empty()) continue;
            EXPECT_TRUE(seen.insert(std::string(ext.name)).second) << ext.name;
            EXPECT_EQ(ext.name.front(), '.') << ext.name;
            for (const char c : ext.name) EXPECT_FALSE(std::isupper(c)) << ext.name;
            EXPECT_EQ(format_of_extension(ext.name), &format) << ext.name;
        }
    }
}

TEST(SourceFormats, EveryKeyIsUniqueAndWalksAtLeastOneExtension) {
    std::set<std::string> keys;
    std::set<std::string> codes;
    for (const SourceFormat& format : source_formats()) {
        if (!format.code.empty()) {
            EXPECT_TRUE(codes.insert(std::string(format.code)).second) << format.code;
        }
        if (format.key.empty()) continue;
        EXPECT_TRUE(keys.insert(std::string(format.key)).second) << format.key;
        EXPECT_FALSE(walked_extensions(format).empty()) << format.key;
    }
}

TEST(SourceFormats, ExtensionsMatchWholeWithLetterCaseIgnored) {
    EXPECT_EQ(route_of_extension(".AVI"), Route::Avi);
    EXPECT_EQ(route_of_extension(".avif"), Route::Raster);
    EXPECT_EQ(route_of_extension(".av"), Route::Raster);
    EXPECT_EQ(route_of_extension(""), Route::Raster);
    EXPECT_EQ(format_of_extension(".avif"), nullptr);
    EXPECT_TRUE(admits_extension(".JPEG", kFolderListing));
    EXPECT_FALSE(admits_extension(".jpeg", kFolderWalk));
}

// The window writes every key it shows; the shipped job file holds exactly those.
TEST(SourceFormats, TheShippedJobFileHoldsTheKeysTheWindowWrites) {
    std::set<std::string> written;
    for (const FormatKey& key : format_keys()) {
        if (key.front_end_writes) written.insert(std::string(key.key));
    }
    const std::string text = file_text(SOURCE_FOLDER "/engine/Tarvik_morvane.ini");
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(section_keys(text, "FORMATS"), written);
}

// The help page's format list: one row per row of the window, with its description and
// the extensions the folder walk takes.
TEST(SourceFormats, TheHelpPageListsEveryRowOfTheWindow) {
    const std::string text = file_text(SOURCE_FOLDER "/frontend/help/Tarvike_morvane.html");
    std::set<std::string> listed;
    const std::string open = "<tr><td>";
    for (std::size_t at = text.find(open); at != std::string::npos; at = text.find(open, at + 1)) {
        std::vector<std::string> cells;
        std::size_t cell = at + open.size();
        for (int i = 0; i < 3; ++i) {
            const std::size_t end = text.find("</td>", cell);
            if (end == std::string::npos) break;
            cells.push_back(text.substr(cell, end - cell));
            cell = end + std::string("</td><td>").size();
        }
        // Rows of the format list have a third cell of extensions.
        if (cells.size() == 3 && cells[2].starts_with(".")) {
            listed.insert(cells[0] + "|" + cells[1] + "|" + cells[2]);
        }
    }
    std::set<std::string> table;
    for (const SourceFormat& format : source_formats()) {
        if (format.code.empty()) continue;
        table.insert(std::string(format.code) + "|" + std::string(format.description) + "|" +
                     walked_extensions(format));
    }
    EXPECT_EQ(listed, table);
}

}  // namespace
}  // namespace morvane
