#include "exif_resolution.h"

#include <cstdint>
#include <map>

namespace morvane::codec {

namespace {

constexpr std::uint16_t kXResolution = 282;
constexpr std::uint16_t kYResolution = 283;
constexpr std::uint16_t kResolutionUnit = 296;
constexpr std::uint16_t kShort = 3;
constexpr std::uint16_t kRational = 5;
constexpr int kMaxDepth = 4;
constexpr int kMaxDirectories = 16;

// The TIFF structure that follows "Exif\0\0".
class Tiff {
  public:
    explicit Tiff(std::string_view data) : data_(data) {}
    [[nodiscard]] bool read_order() {
        if (data_.size() < 8) return false;
        if (data_.substr(0, 4) == std::string_view("II*\0", 4)) {
            little_ = true;
        } else if (data_.substr(0, 4) != std::string_view("MM\0*", 4)) {
            return false;
        }
        return true;
    }
    [[nodiscard]] bool holds(std::uint64_t at, std::uint64_t size) const {
        return at + size <= data_.size();
    }
    [[nodiscard]] std::uint32_t u16(std::uint32_t at) const { return number(at, 2); }
    [[nodiscard]] std::uint32_t u32(std::uint32_t at) const { return number(at, 4); }

  private:
    [[nodiscard]] std::uint32_t number(std::uint32_t at, int bytes) const {
        std::uint32_t value = 0;
        for (int i = 0; i < bytes; ++i) {
            const auto byte = static_cast<unsigned char>(data_[at + (little_ ? bytes - 1 - i : i)]);
            value = (value << 8) | byte;
        }
        return value;
    }

    std::string_view data_;
    bool little_ = false;
};

// The tags looked for, each with the raw value first seen.
using Seen = std::map<std::uint16_t, std::uint64_t>;

bool record(Seen& seen, std::uint16_t tag, std::uint64_t value) {
    const auto [at, added] = seen.emplace(tag, value);
    return added || at->second == value;
}

struct Walk {
    const Tiff& tiff;
    Seen seen;
    int directories = 0;
};

bool walk_directory(Walk& w, std::uint32_t at, int depth);

bool take_entry(Walk& w, std::uint32_t entry, int depth) {
    const Tiff& t = w.tiff;
    const auto tag = static_cast<std::uint16_t>(t.u16(entry));
    const std::uint32_t type = t.u16(entry + 2);
    const std::uint32_t count = t.u32(entry + 4);
    if (tag == kXResolution || tag == kYResolution) {
        const std::uint32_t at = t.u32(entry + 8);
        if (type != kRational || count != 1 || !t.holds(at, 8)) return false;
        return record(w.seen, tag, (std::uint64_t{t.u32(at)} << 32) | t.u32(at + 4));
    }
    if (tag == kResolutionUnit) {
        if (type != kShort || count != 1) return false;
        return record(w.seen, tag, t.u16(entry + 8));
    }
    // The EXIF, GPS and interoperability directories.
    if (tag == 0x8769 || tag == 0x8825 || tag == 0xA005) {
        return walk_directory(w, t.u32(entry + 8), depth + 1);
    }
    return true;
}

bool walk_directory(Walk& w, std::uint32_t at, int depth) {
    if (depth > kMaxDepth || ++w.directories > kMaxDirectories) return false;
    if (!w.tiff.holds(at, 2)) return false;
    const std::uint32_t count = w.tiff.u16(at);
    if (!w.tiff.holds(at + 2, std::uint64_t{count} * 12 + 4)) return false;
    for (std::uint32_t i = 0; i < count; ++i) {
        if (!take_entry(w, at + 2 + i * 12, depth)) return false;
    }
    const std::uint32_t next = w.tiff.u32(at + 2 + count * 12);
    return next == 0 || walk_directory(w, next, depth + 1);
}

// ImageMagick reads a rational "n/d" as n / d and writes the resolution back as a whole
// number over 1: only "n/1" comes out as it went in. False for any other.
bool take_resolution(const Seen& seen, std::uint16_t tag, std::optional<double>& value) {
    const auto at = seen.find(tag);
    if (at == seen.end()) return true;
    if (static_cast<std::uint32_t>(at->second) != 1) return false;
    value = static_cast<double>(at->second >> 32);
    return true;
}

}  // namespace

std::optional<ExifResolution> exif_resolution(std::string_view block) {
    constexpr std::string_view kHeader("Exif\0\0", 6);
    if (block.substr(0, kHeader.size()) != kHeader) return std::nullopt;
    Tiff tiff(block.substr(kHeader.size()));
    if (!tiff.read_order()) return std::nullopt;
    Walk w{tiff, {}, 0};
    if (!walk_directory(w, tiff.u32(4), 0)) return std::nullopt;
    ExifResolution r;
    if (!take_resolution(w.seen, kXResolution, r.x)) return std::nullopt;
    if (!take_resolution(w.seen, kYResolution, r.y)) return std::nullopt;
    if (const auto unit = w.seen.find(kResolutionUnit); unit != w.seen.end()) {
        // 1 none, 2 inch, 3 centimetre; ImageMagick's reading of other values is not
        // reproduced.
        if (unit->second < 1 || unit->second > 3) return std::nullopt;
        r.units = static_cast<int>(unit->second) - 1;
    }
    return r;
}

}  // namespace morvane::codec
