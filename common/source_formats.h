#pragma once
// The source formats described once: per kind its FORMATS key, its row in the Monitor
// window's format list, its extensions, the converter that takes it and who admits it.

#include <array>
#include <span>
#include <string_view>

namespace morvane {

// The converter a source goes to. A file whose extension is in no row is a raster file.
enum class Route { CameraRaw, Pdf, PostScript, Avi, Mpeg, Photoshop, Raster };

// Who takes a file by its extension, as bits.
enum Admission : unsigned {
    kFolderWalk = 1U,     // the engine's folder walk, when the row's FORMATS key is on
    kFolderListing = 2U,  // the file selection's listing of one folder
    kSubFolderWalk = 4U,  // the file selection's walk through the sub-folders
};

// One extension of a row, with its leading dot, in small letters.
struct SourceExtension {
    std::string_view name;
    unsigned admitted = 0;      // Admission bits
    bool bounding_box = false;  // a document rendered cropped to its bounding box
};

struct SourceFormat {
    std::string_view key;          // FORMATS key; "" for extensions no key admits
    std::string_view code;         // the Monitor window's row code; "" for no row
    std::string_view description;  // the row's description
    Route route;
    // The folder walk's extensions come in the order the extension filter is built.
    std::array<SourceExtension, 4> extensions;  // unused entries are empty
};

// Every row, in the order of the FORMATS switches and of the extension filter.
[[nodiscard]] std::span<const SourceFormat> source_formats();

// The row that holds the extension, compared whole with letter case ignored; nullptr when
// no row does.
[[nodiscard]] const SourceFormat* format_of_extension(std::string_view ext);

// The extension's entry in its row; nullptr when no row holds it.
[[nodiscard]] const SourceExtension* source_extension(std::string_view ext);

// The converter that takes the extension: its row's, Raster when no row holds it.
[[nodiscard]] Route route_of_extension(std::string_view ext);

// True when the extension is admitted by `where` (an Admission bit).
[[nodiscard]] bool admits_extension(std::string_view ext, Admission where);

}  // namespace morvane
