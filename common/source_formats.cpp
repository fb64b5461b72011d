#include "source_formats.h"

#include "text_util.h"

namespace morvane {
namespace {

constexpr unsigned kEverywhere = kFolderWalk | kFolderListing | kSubFolderWalk;
constexpr unsigned kWalksOnly = kFolderWalk | kSubFolderWalk;         // camera raw
constexpr unsigned kSelectionOnly = kFolderListing | kSubFolderWalk;  // not walked by the engine

constexpr Route kRaster = Route::Raster;
constexpr Route kRaw = Route::CameraRaw;

using X = SourceExtension;

constexpr SourceFormat picture(std::string_view key, std::string_view description,
                               std::string_view ext) {
    return {key, key, description, kRaster, {X{ext, kEverywhere}}};
}

constexpr SourceFormat camera_raw(std::string_view key, std::string_view description,
                                  std::string_view ext) {
    return {key, key, description, kRaw, {X{ext, kWalksOnly}}};
}

constexpr std::array kFormats{
    SourceFormat{"AI", "AI", "Adobe Illustrator", Route::PostScript, {X{".ai", kEverywhere}}},
    SourceFormat{
        "AVI", "AVI", "Windows Audio Video Interleave", Route::Avi, {X{".avi", kEverywhere}}},
    picture("BMP", "Windows bitmap", ".bmp"),
    picture("CUR", "Windows cursor", ".cur"),
    picture("DCM", "DICOM", ".dcm"),
    camera_raw("DNG", "Adobe DNG", ".dng"),
    picture("EMF", "Enhanced metafile", ".emf"),
    SourceFormat{
        "EPS",
        "EPS",
        "Encapsulated Postscript",
        Route::PostScript,
        {X{".ps", kEverywhere}, X{".eps", kEverywhere, true}, X{".ept", kFolderWalk, true}}},
    picture("GIF", "Graphics Interchange", ".gif"),
    picture("FPX", "Flashpix", ".fpx"),
    picture("ICO", "Windows icon", ".ico"),
    picture("JNG", "JPEG Network Graphic", ".jng"),
    SourceFormat{"JP2", "JP2", "JPEG 2000", kRaster, {X{".jp2", kFolderWalk}}},
    SourceFormat{"JPEG",
                 "JPG",
                 "JPEG",
                 kRaster,
                 {X{".jpg", kEverywhere}, X{".jpe", kEverywhere}, X{".jpeg", kSelectionOnly}}},
    SourceFormat{"MPEG",
                 "MPG",
                 "MPEG",
                 Route::Mpeg,
                 {X{".mpg", kEverywhere}, X{".mpeg", kEverywhere}, X{".m2v", kEverywhere}}},
    SourceFormat{"PCT", "PCT", "Pict", kRaster, {X{".pct", kEverywhere}, X{".pict", kEverywhere}}},
    picture("PCX", "Z-Soft", ".pcx"),
    SourceFormat{"PDF", "PDF", "Portable Document Format", Route::Pdf, {X{".pdf", kEverywhere}}},
    picture("PNG", "Portable Network Graphic", ".png"),
    SourceFormat{"PSD", "PSD", "Photoshop", Route::Photoshop, {X{".psd", kEverywhere}}},
    picture("TGA", "Targa", ".tga"),
    SourceFormat{
        "TIF", "TIF", "TIFF", kRaster, {X{".tif", kEverywhere}, X{".tiff", kSelectionOnly}}},
    picture("WMF", "Windows metafile", ".wmf"),
    camera_raw("CR2", "Canon 1D Mk II / EOS 20D", ".cr2"),
    camera_raw("CRW", "Canon Powershot", ".crw"),
    // Read by the engine only: the window neither shows nor writes this key.
    SourceFormat{"CSL", "", "", kRaster, {X{".csl", kFolderWalk}}},
    camera_raw("DIR", "Nikon", ".dir"),
    camera_raw("K25", "Kodak DC25", ".k25"),
    camera_raw("KDC", "Kodak Digital Camera", ".kdc"),
    camera_raw("MDC", "Minolta camera", ".mdc"),
    camera_raw("MOS", "Creo Leaf", ".mos"),
    camera_raw("MRW", "Minolta DiMAGE", ".mrw"),
    camera_raw("ORF", "Olympus raw", ".orf"),
    camera_raw("NEF", "Nikon raw", ".nef"),
    camera_raw("PEF", "Pentax", ".pef"),
    camera_raw("RAF", "Fuji S2", ".raf"),
    camera_raw("SRF", "Panasonic", ".srf"),
    camera_raw("X3F", "Sigma camera", ".x3f"),
    // PostScript level 2 and 3 names: the file selection lists them, no key admits them,
    // and ImageMagick is asked to read them like any picture.
    SourceFormat{"", "", "", kRaster, {X{".ps2", kSelectionOnly}, X{".ps3", kSelectionOnly}}},
};

struct Found {
    const SourceFormat* format = nullptr;
    const SourceExtension* extension = nullptr;
};

Found find(std::string_view ext) {
    if (ext.empty()) return {};
    for (const SourceFormat& format : kFormats) {
        for (const SourceExtension& known : format.extensions) {
            if (equal_ignoring_case(known.name, ext)) return {&format, &known};
        }
    }
    return {};
}

}  // namespace

std::span<const SourceFormat> source_formats() {
    return kFormats;
}

const SourceExtension* source_extension(std::string_view ext) {
    return find(ext).extension;
}

const SourceFormat* format_of_extension(std::string_view ext) {
    return find(ext).format;
}

Route route_of_extension(std::string_view ext) {
    const SourceFormat* format = format_of_extension(ext);
    return format != nullptr ? format->route : Route::Raster;
}

bool admits_extension(std::string_view ext, Admission where) {
    const SourceExtension* known = source_extension(ext);
    return known != nullptr && (known->admitted & where) != 0;
}

}  // namespace morvane
