#include "monitor_layout.h"

#include <algorithm>
#include <array>
#include <vector>

#include "source_formats.h"

namespace morvane {
namespace {

using K = ControlKind;
constexpr int ALL = kAlwaysShown;

// The window's controls in creation order, which is also their stacking and tab order:
// top to bottom and left to right, as a person reads the window.
constexpr std::array kControls{
    ControlSpec{IDC_JPEG_GROUP, K::GroupBox, "JPEG files", 4, 4, 215, 112, ALL, nullptr},
    ControlSpec{kNoId, K::Label, "&Target path:", 12, 14, 115, 8, ALL, nullptr},
    ControlSpec{IDC_TARGET, K::Edit, "", 22, 25, 170, 13, ALL, "Target path"},
    ControlSpec{IDC_TARGET_BROWSE, K::Button, "...", 195, 25, 17, 13, ALL, nullptr},
    ControlSpec{IDC_REPRODUCE_PATH, K::CheckBox, "Reproduce the source &path in the target path",
                21, 42, 167, 10, ALL, nullptr},
    ControlSpec{IDC_FROM_ROOT, K::CheckBox, "Reproduce only from source &root", 33, 52, 149, 10,
                ALL, nullptr},
    ControlSpec{IDC_PROGRESSIVE, K::CheckBox, "Progressi&ve JPEG", 21, 66, 73, 10, ALL, nullptr},
    ControlSpec{IDC_NO_ERASE, K::CheckBox, "Do &not erase pre-existing files", 21, 78, 108, 10, ALL,
                nullptr},
    ControlSpec{1023, K::Label, "&Compression ratio:", 11, 95, 58, 9, ALL, nullptr},
    ControlSpec{IDC_QUALITY, K::DigitsEdit, "", 75, 94, 23, 14, ALL, "Compression ratio"},
    ControlSpec{IDOK_SAVE_QUIT, K::DefaultButton, "&Save && Quit", 231, 8, 50, 14, ALL, nullptr},
    ControlSpec{IDC_SAVE, K::Button, "Save", 231, 25, 50, 14, ALL, nullptr},
    ControlSpec{IDCANCEL_QUIT, K::Button, "&Quit", 231, 42, 50, 14, ALL, nullptr},
    ControlSpec{IDC_SELECT, K::Button, "Se&lect...", 231, 59, 50, 14, ALL, nullptr},
    ControlSpec{1049, K::Mailbox, "", 0, 0, 0, 0, ALL, nullptr},
    ControlSpec{1050, K::Mailbox, "", 0, 0, 0, 0, ALL, nullptr},
    // Placed at run time under the "JPEG files" group.
    ControlSpec{IDC_TABS, K::TabBar, "", 0, 0, 0, 0, ALL, "Pages"},
    ControlSpec{IDC_PAGE_FRAME, K::PageFrame, "", 0, 0, 0, 0, ALL, nullptr},
    // Misc
    ControlSpec{1020, K::Label, "Sourc&e path:", 11, 141, 42, 8, PAGE_MISC, nullptr},
    ControlSpec{IDC_SOURCE, K::Edit, "", 18, 152, 169, 14, PAGE_MISC, "Source path"},
    ControlSpec{IDC_SOURCE_BROWSE, K::Button, "...", 192, 152, 17, 14, PAGE_MISC, nullptr},
    ControlSpec{IDC_RECURSE, K::CheckBox, "Recurs&ive search", 18, 168, 171, 10, PAGE_MISC,
                nullptr},
    ControlSpec{1021, K::Label, "Resi&ze:", 11, 183, 55, 8, PAGE_MISC, nullptr},
    ControlSpec{IDC_WIDTH, K::DigitsEdit, "", 18, 193, 23, 14, PAGE_MISC, "Resize"},
    ControlSpec{1022, K::Label, "x", 46, 198, 8, 8, PAGE_MISC, nullptr},
    ControlSpec{IDC_HEIGHT, K::DigitsEdit, "", 59, 193, 23, 14, PAGE_MISC, "x"},
    ControlSpec{IDC_ASPECT_RATIO, K::CheckBox, "Maintain &aspect ratio", 89, 195, 81, 10, PAGE_MISC,
                nullptr},
    ControlSpec{IDC_MONO_INSTANCE, K::CheckBox, "M&ono-instance", 18, 212, 81, 10, PAGE_MISC,
                nullptr},
    // Formats
    ControlSpec{IDC_FORMAT_LIST, K::ListView, "", 11, 142, 171, 119, PAGE_FORMATS, "Formats"},
    ControlSpec{IDC_ALL, K::Button, "&All", 187, 143, 26, 14, PAGE_FORMATS, nullptr},
    ControlSpec{IDC_RESET, K::Button, "R&eset", 187, 165, 26, 14, PAGE_FORMATS, nullptr},
    // AVI
    ControlSpec{IDC_AVI_ALL, K::RadioButton, "Extract &all frames", 20, 150, 69, 10, PAGE_AVI,
                nullptr},
    ControlSpec{IDC_AVI_RANGE, K::RadioButton, "E&xtract from frame:", 20, 165, 75, 10, PAGE_AVI,
                nullptr},
    ControlSpec{IDC_AVI_FROM, K::DigitsEdit, "", 105, 163, 24, 14, PAGE_AVI, "Extract from frame"},
    ControlSpec{1056, K::Label, "T&o frame:", 59, 183, 31, 8, PAGE_AVI, nullptr},
    ControlSpec{IDC_AVI_TO, K::DigitsEdit, "", 105, 183, 24, 14, PAGE_AVI, "To frame"},
    // EPS
    ControlSpec{1047, K::Label, "Use &DPI:", 19, 163, 46, 8, PAGE_EPS, nullptr},
    ControlSpec{IDC_EPS_DENSITY, K::DigitsEdit, "", 53, 161, 28, 14, PAGE_EPS, "Use DPI"},
    ControlSpec{IDC_EPS_TRIM, K::CheckBox, "Tr&im the images", 19, 177, 67, 10, PAGE_EPS, nullptr},
    // MPEG
    ControlSpec{IDC_MPEG_ALL, K::RadioButton, "Extract &all frames", 20, 150, 69, 10, PAGE_MPEG,
                nullptr},
    ControlSpec{IDC_MPEG_RANGE, K::RadioButton, "E&xtract from frame:", 20, 165, 75, 10, PAGE_MPEG,
                nullptr},
    ControlSpec{IDC_MPEG_FROM, K::DigitsEdit, "", 105, 163, 24, 14, PAGE_MPEG,
                "Extract from frame"},
    ControlSpec{1247, K::Label, "T&o frame:", 59, 183, 31, 8, PAGE_MPEG, nullptr},
    ControlSpec{IDC_MPEG_TO, K::DigitsEdit, "", 105, 183, 24, 14, PAGE_MPEG, "To frame"},
    // PDF
    ControlSpec{IDC_PDF_ALL, K::RadioButton, "Extract &all pages", 20, 150, 68, 10, PAGE_PDF,
                nullptr},
    ControlSpec{IDC_PDF_RANGE, K::RadioButton, "E&xtract from page:", 20, 166, 73, 10, PAGE_PDF,
                nullptr},
    ControlSpec{IDC_PDF_FROM, K::DigitsEdit, "", 93, 165, 20, 14, PAGE_PDF, "Extract from page"},
    ControlSpec{1089, K::Label, "t&o page:", 119, 166, 27, 8, PAGE_PDF, nullptr},
    ControlSpec{IDC_PDF_TO, K::DigitsEdit, "", 147, 165, 20, 14, PAGE_PDF, "to page"},
    ControlSpec{1024, K::Label, "Use &DPI:", 19, 185, 46, 8, PAGE_PDF, nullptr},
    ControlSpec{IDC_PDF_DENSITY, K::DigitsEdit, "", 53, 183, 28, 14, PAGE_PDF, "Use DPI"},
    // TIFF
    ControlSpec{IDC_TIFF_ALL, K::CheckBox, "Extract all t&iff pages", 18, 146, 77, 10, PAGE_TIFF,
                nullptr},
    // Enhancements
    ControlSpec{IDC_WATERMARK, K::CheckBox, "&Watermark", 13, 143, 51, 10, PAGE_ENHANCEMENTS,
                nullptr},
    ControlSpec{IDC_WATERMARK_TEXT_MODE, K::RadioButton, "T&ext:", 22, 155, 32, 10,
                PAGE_ENHANCEMENTS, nullptr},
    ControlSpec{IDC_WATERMARK_TEXT, K::Edit, "", 28, 166, 100, 14, PAGE_ENHANCEMENTS, "Text"},
    ControlSpec{IDC_WATERMARK_IMAGE_MODE, K::RadioButton, "&Image:", 22, 186, 37, 10,
                PAGE_ENHANCEMENTS, nullptr},
    ControlSpec{IDC_WATERMARK_FILE, K::Edit, "", 28, 196, 155, 14, PAGE_ENHANCEMENTS, "Image"},
    ControlSpec{IDC_WATERMARK_BROWSE, K::Button, "...", 183, 196, 17, 14, PAGE_ENHANCEMENTS,
                nullptr},
    ControlSpec{1099, K::Label, "Color:", 137, 146, 19, 8, PAGE_ENHANCEMENTS, nullptr},
    ControlSpec{IDC_SWATCH, K::Swatch, "", 160, 146, 8, 8, PAGE_ENHANCEMENTS, "Color"},
    ControlSpec{IDC_COLOR_BROWSE, K::Button, "...", 169, 146, 8, 8, PAGE_ENHANCEMENTS, nullptr},
    ControlSpec{1102, K::Label, "Loc&ation:", 137, 157, 30, 8, PAGE_ENHANCEMENTS, nullptr},
    // A drop-down's height counts its open list; the closed box is one line high.
    ControlSpec{IDC_LOCATION, K::DropList, "", 142, 166, 61, 14, PAGE_ENHANCEMENTS, "Location"},
    ControlSpec{IDC_TILE, K::CheckBox, "Tile", 28, 213, 27, 10, PAGE_ENHANCEMENTS, nullptr},
    ControlSpec{1104, K::Label, "&Dissolve:", 28, 228, 30, 8, PAGE_ENHANCEMENTS, nullptr},
    ControlSpec{IDC_DISSOLVE, K::DigitsEdit, "", 58, 226, 20, 14, PAGE_ENHANCEMENTS, "Dissolve"},
    // After
    ControlSpec{IDC_MOVE, K::CheckBox, "After conversion, move the selecte&d source files to:", 11,
                146, 177, 10, PAGE_AFTER, nullptr},
    ControlSpec{IDC_MOVE_PATH, K::Edit, "", 22, 157, 169, 14, PAGE_AFTER,
                "After conversion, move the selected source files to"},
    ControlSpec{IDC_MOVE_BROWSE, K::Button, "...", 192, 157, 17, 14, PAGE_AFTER, nullptr},
    // The run buttons under the page, last in reading order.
    ControlSpec{IDC_LAUNCH, K::Button, "La&unch", 231, 132, 50, 14, ALL, nullptr},
    ControlSpec{IDC_LAST_LOG, K::Button, "Last lo&g", 231, 151, 50, 14, ALL, nullptr},
    ControlSpec{IDC_ABOUT, K::Button, "About", 231, 170, 50, 14, ALL, nullptr},
    ControlSpec{IDC_HELP, K::Button, "&Help", 231, 189, 50, 14, ALL, nullptr},
};

constexpr std::array<const char*, 9> kPageNames{"Misc", "Formats", "AVI",          "EPS",  "MPEG",
                                                "PDF",  "TIFF",    "Enhancements", "After"};

// The rows of the source format table that the window shows, sorted by code: the list
// shows them in that order and addresses them by position.
std::vector<FormatRow> rows_of_format_table() {
    std::vector<FormatRow> rows;
    for (const SourceFormat& format : source_formats()) {
        if (format.code.empty()) continue;
        rows.push_back(FormatRow{format.code, format.description, format.key});
    }
    std::sort(rows.begin(), rows.end(),
              [](const FormatRow& a, const FormatRow& b) { return a.code < b.code; });
    return rows;
}

constexpr std::array kTooltips{
    TooltipText{IDOK_SAVE_QUIT, "Quit and save the parameters"},
    TooltipText{IDC_SAVE, "Save the parameters in the current ini file"},
    TooltipText{IDCANCEL_QUIT, "Quit without saving the parameters"},
    TooltipText{IDC_SELECT,
                "Select one or more files from the folder\r\nTo convert all the "
                "selected folder just click 'Launch'"},
    TooltipText{IDC_LAUNCH, "Launch the conversion process"},
    TooltipText{IDC_LAST_LOG, "Display the last log file, if any"},
};

}  // namespace

std::span<const ControlSpec> monitor_controls() {
    return kControls;
}

std::span<const char* const> monitor_page_names() {
    return kPageNames;
}

std::span<const FormatRow> format_rows() {
    static const std::vector<FormatRow> rows = rows_of_format_table();
    return rows;
}

std::span<const TooltipText> monitor_tooltips() {
    return kTooltips;
}

}  // namespace morvane
