#pragma once
// The Monitor window's resources: its control table, tab pages, format list rows and
// tooltip texts.

#include <span>
#include <string_view>

#include "dialog_table.h"

namespace morvane {

inline constexpr const char* kMessageCaption = "Tarvik_morvane";
inline constexpr int kMonitorWidth = 285;  // dialog units
inline constexpr int kMonitorHeight = 265;

// Ids of the controls the window's code addresses.
enum MonitorId : int {
    IDOK_SAVE_QUIT = 1,
    IDCANCEL_QUIT = 2,
    IDC_TARGET = 1000,
    IDC_SOURCE = 1002,
    IDC_TARGET_BROWSE = 1003,
    IDC_SOURCE_BROWSE = 1004,
    IDC_RECURSE = 1005,
    IDC_REPRODUCE_PATH = 1006,
    IDC_PROGRESSIVE = 1007,
    IDC_WIDTH = 1008,
    IDC_HEIGHT = 1009,
    IDC_QUALITY = 1010,
    IDC_LOCATION = 1011,
    IDC_PDF_ALL = 1012,
    IDC_HELP = 1013,
    IDC_LAUNCH = 1015,
    IDC_LAST_LOG = 1016,
    IDC_ABOUT = 1017,
    IDC_JPEG_GROUP = 1019,
    IDC_PDF_DENSITY = 1025,
    IDC_ALL = 1032,
    IDC_RESET = 1033,
    IDM_WHATS_NEW = 1035,
    IDC_SELECT = 1036,
    IDC_TIFF_ALL = 1037,
    IDC_MOVE = 1042,
    IDC_MOVE_PATH = 1043,
    IDC_MOVE_BROWSE = 1044,
    IDC_ASPECT_RATIO = 1045,
    IDC_EPS_DENSITY = 1048,
    IDC_AVI_ALL = 1054,
    IDC_AVI_RANGE = 1055,
    IDC_AVI_FROM = 1057,
    IDC_AVI_TO = 1058,
    IDC_SAVE = 1063,
    IDC_MONO_INSTANCE = 1066,
    IDC_NO_ERASE = 1073,
    IDC_EPS_TRIM = 1074,
    IDC_FROM_ROOT = 1075,
    IDC_PDF_RANGE = 1088,
    IDC_PDF_FROM = 1090,
    IDC_PDF_TO = 1091,
    IDC_WATERMARK = 1093,
    IDC_WATERMARK_TEXT_MODE = 1094,
    IDC_WATERMARK_IMAGE_MODE = 1095,
    IDC_WATERMARK_FILE = 1096,
    IDC_WATERMARK_TEXT = 1097,
    IDC_WATERMARK_BROWSE = 1098,
    IDC_SWATCH = 1100,
    IDC_COLOR_BROWSE = 1101,
    IDC_TILE = 1103,
    IDC_DISSOLVE = 1105,
    IDC_TABS = 1110,
    IDC_PAGE_FRAME = 1111,
    IDC_FORMAT_LIST = 1112,
    IDC_MPEG_ALL = 1245,
    IDC_MPEG_RANGE = 1246,
    IDC_MPEG_FROM = 1248,
    IDC_MPEG_TO = 1249,
    IDM_TOOLTIPS = 1552,
};

enum MonitorPage : int {
    PAGE_MISC = 0,
    PAGE_FORMATS = 1,
    PAGE_AVI = 2,
    PAGE_EPS = 3,
    PAGE_MPEG = 4,
    PAGE_PDF = 5,
    PAGE_TIFF = 6,
    PAGE_ENHANCEMENTS = 7,
    PAGE_AFTER = 8,
};

[[nodiscard]] std::span<const ControlSpec> monitor_controls();
[[nodiscard]] std::span<const char* const> monitor_page_names();

// One row of the format list: the code shown, its description and its FORMATS key, from
// the source format table (source_formats.h), sorted by code.
struct FormatRow {
    std::string_view code;
    std::string_view description;
    std::string_view key;
};
[[nodiscard]] std::span<const FormatRow> format_rows();

struct TooltipText {
    int id;
    const char* text;
};
[[nodiscard]] std::span<const TooltipText> monitor_tooltips();

}  // namespace morvane
