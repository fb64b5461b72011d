// bench_corpus: writes the benchmark's photo-like pictures into a folder.
//
//   bench_corpus [--subset N] FOLDER
//
// The full corpus is 60 PNG files of 1920x1280 (p000.png ... p059.png) and 40 JPEG files
// of 3000x2000 at quality 90 (j000.jpg ... j039.jpg). --subset N writes only the first N
// pictures, split in the same 3:2 proportion (--subset 5: p000..p002 and j000..j001), and
// they are the very files the full corpus holds under those names.
//
// Every picture is a smooth gradient with soft shapes, a gentle wave and mild noise, all
// drawn from a fixed-seed generator of its own, so the same command always writes the
// same bytes.

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <vector>

#include <wand/MagickWand.h>

namespace {

constexpr int kPngCount = 60;
constexpr int kJpegCount = 40;
constexpr int kPngWidth = 1920;
constexpr int kPngHeight = 1280;
constexpr int kJpegWidth = 3000;
constexpr int kJpegHeight = 2000;
constexpr int kJpegQuality = 90;

// SplitMix64: small, fast and the same on every platform (unlike the distributions of
// <random>, whose output the standard leaves to the library).
class Generator {
  public:
    explicit Generator(std::uint64_t seed) : state_(seed) {}

    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }

    // Uniform in [0, 1).
    double unit() { return static_cast<double>(next() >> 11) * (1.0 / 9007199254740992.0); }
    double between(double low, double high) { return low + (high - low) * unit(); }

  private:
    std::uint64_t state_;
};

struct Colour {
    double r, g, b;
};

Colour random_colour(Generator& gen) {
    return {gen.between(20, 235), gen.between(20, 235), gen.between(20, 235)};
}

Colour mix(const Colour& a, const Colour& b, double t) {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

// A soft-edged, tilted ellipse laid over the picture.
struct Blob {
    double cx, cy, rx, ry, cos_a, sin_a, opacity, softness;
    Colour colour;
};

// Smooth value noise in [-1, 1]: random heights on a square lattice of the given cell
// size, blended with smoothstep; gives the grain of grass, leaves or gravel.
class ValueNoise {
  public:
    ValueNoise(std::uint64_t seed, double cell) : seed_(seed), scale_(1.0 / cell) {}

    double at(int x, int y) const {
        const double fx = x * scale_;
        const double fy = y * scale_;
        const auto ix = static_cast<std::int64_t>(fx);
        const auto iy = static_cast<std::int64_t>(fy);
        const double tx = smooth(fx - ix);
        const double ty = smooth(fy - iy);
        const double top = lattice(ix, iy) + (lattice(ix + 1, iy) - lattice(ix, iy)) * tx;
        const double bottom =
            lattice(ix, iy + 1) + (lattice(ix + 1, iy + 1) - lattice(ix, iy + 1)) * tx;
        return top + (bottom - top) * ty;
    }

  private:
    static double smooth(double t) { return t * t * (3 - 2 * t); }

    double lattice(std::int64_t ix, std::int64_t iy) const {
        Generator hash(seed_ ^ (static_cast<std::uint64_t>(ix) * 0x8CB92BA72F3D8DD7ull) ^
                       (static_cast<std::uint64_t>(iy) * 0xD6E8FEB86659FD93ull));
        return hash.unit() * 2.0 - 1.0;
    }

    std::uint64_t seed_;
    double scale_;
};

std::uint8_t clamp_byte(double v) {
    return static_cast<std::uint8_t>(std::clamp(std::lround(v), 0L, 255L));
}

// Draws one picture as interleaved 8-bit RGB.
std::vector<std::uint8_t> draw_picture(int width, int height, std::uint64_t seed) {
    Generator gen(seed);
    const Colour top_left = random_colour(gen);
    const Colour top_right = random_colour(gen);
    const Colour bottom_left = random_colour(gen);
    const Colour bottom_right = random_colour(gen);

    std::vector<Blob> blobs(6 + gen.next() % 7);
    for (Blob& blob : blobs) {
        const double angle = gen.between(0, M_PI);
        blob.cx = gen.between(-0.1, 1.1) * width;
        blob.cy = gen.between(-0.1, 1.1) * height;
        blob.rx = gen.between(0.05, 0.35) * width;
        blob.ry = gen.between(0.05, 0.35) * height;
        blob.cos_a = std::cos(angle);
        blob.sin_a = std::sin(angle);
        blob.opacity = gen.between(0.3, 0.85);
        blob.softness = gen.between(0.05, 0.4);
        blob.colour = random_colour(gen);
    }

    const double wave_fx = gen.between(1.0, 4.0) * 2 * M_PI / width;
    const double wave_fy = gen.between(1.0, 4.0) * 2 * M_PI / height;
    const double wave_phase = gen.between(0, 2 * M_PI);
    const double wave_amplitude = gen.between(4, 12);

    // Below a wavy horizon the picture is textured ground, above it mostly smooth sky.
    const double horizon = gen.between(0.35, 0.7) * height;
    const double horizon_swing = gen.between(0.02, 0.08) * height;
    const double horizon_f = gen.between(1.0, 3.0) * 2 * M_PI / width;
    const ValueNoise coarse(gen.next(), gen.between(16, 40));
    const ValueNoise fine(gen.next(), gen.between(3, 7));
    const double texture_amplitude = gen.between(8, 18);

    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width) * height * 3);
    std::vector<Colour> row(width);
    for (int y = 0; y < height; ++y) {
        const double v = static_cast<double>(y) / (height - 1);
        const Colour left = mix(top_left, bottom_left, v);
        const Colour right = mix(top_right, bottom_right, v);
        for (int x = 0; x < width; ++x) {
            row[x] = mix(left, right, static_cast<double>(x) / (width - 1));
        }
        for (const Blob& blob : blobs) {
            const double reach = std::max(blob.rx, blob.ry) * (1.0 + blob.softness);
            if (y < blob.cy - reach || y > blob.cy + reach) continue;
            const int x0 = std::max(0, static_cast<int>(blob.cx - reach));
            const int x1 = std::min(width - 1, static_cast<int>(blob.cx + reach));
            const double dy = y - blob.cy;
            for (int x = x0; x <= x1; ++x) {
                const double dx = x - blob.cx;
                const double u = (dx * blob.cos_a + dy * blob.sin_a) / blob.rx;
                const double w = (-dx * blob.sin_a + dy * blob.cos_a) / blob.ry;
                const double distance = std::sqrt(u * u + w * w);
                // Full inside the ellipse, fading out over the soft margin.
                const double edge =
                    std::clamp((1.0 + blob.softness - distance) / blob.softness, 0.0, 1.0);
                if (edge <= 0.0) continue;
                const double t = blob.opacity * edge * edge * (3 - 2 * edge);
                row[x] = mix(row[x], blob.colour, t);
            }
        }
        std::uint8_t* out = &pixels[static_cast<std::size_t>(y) * width * 3];
        const double wave_y = std::sin(y * wave_fy + wave_phase);
        for (int x = 0; x < width; ++x) {
            const double wave = wave_amplitude * std::sin(x * wave_fx) * wave_y;
            const double ground = std::clamp(
                (y - horizon - horizon_swing * std::sin(x * horizon_f)) / (0.02 * height), 0.0,
                1.0);
            const double texture = texture_amplitude * (0.15 + 0.85 * ground) *
                                   (0.65 * coarse.at(x, y) + 0.35 * fine.at(x, y));
            const double light = wave + texture;
            // Mild sensor-like noise: triangular, about +-3 levels per channel.
            const std::uint64_t r = gen.next();
            const double n0 = static_cast<double>((r & 0xFF) + ((r >> 8) & 0xFF)) / 85.0 - 3.0;
            const double n1 =
                static_cast<double>(((r >> 16) & 0xFF) + ((r >> 24) & 0xFF)) / 85.0 - 3.0;
            const double n2 =
                static_cast<double>(((r >> 32) & 0xFF) + ((r >> 40) & 0xFF)) / 85.0 - 3.0;
            out[3 * x + 0] = clamp_byte(row[x].r + light + n0);
            out[3 * x + 1] = clamp_byte(row[x].g + light + n1);
            out[3 * x + 2] = clamp_byte(row[x].b + light + n2);
        }
    }
    return pixels;
}

bool write_picture(const std::string& path, const char* format, int width, int height,
                   std::uint64_t seed) {
    const std::vector<std::uint8_t> pixels = draw_picture(width, height, seed);
    MagickWand* wand = NewMagickWand();
    bool ok =
        MagickConstituteImage(wand, width, height, "RGB", CharPixel, pixels.data()) == MagickTrue;
    // No time stamps or other changing chunks: the same picture is the same file.
    ok = ok && MagickStripImage(wand) == MagickTrue;
    ok = ok && MagickSetOption(wand, "png:exclude-chunks", "date,time") == MagickTrue;
    ok = ok && MagickSetImageFormat(wand, format) == MagickTrue;
    ok = ok && MagickSetImageDepth(wand, 8) == MagickTrue;
    if (ok && std::strcmp(format, "JPEG") == 0) {
        ok = MagickSetImageCompressionQuality(wand, kJpegQuality) == MagickTrue;
    }
    // The format prefix keeps the name from choosing anything itself.
    const std::string target = std::string(format) + ":" + path;
    ok = ok && MagickWriteImage(wand, target.c_str()) == MagickTrue;
    if (!ok) {
        ExceptionType severity;
        char* reason = MagickGetException(wand, &severity);
        std::fprintf(stderr, "bench_corpus: %s: %s\n", path.c_str(), reason ? reason : "failed");
        if (reason) MagickRelinquishMemory(reason);
    }
    DestroyMagickWand(wand);
    return ok;
}

std::string numbered(const std::string& folder, char prefix, int index, const char* extension) {
    char name[32];
    std::snprintf(name, sizeof name, "%c%03d.%s", prefix, index, extension);
    return folder + "/" + name;
}

int usage() {
    std::fprintf(stderr,
                 "usage: bench_corpus [--subset N] FOLDER\n"
                 "  writes %d PNG %dx%d and %d JPEG %dx%d pictures into FOLDER;\n"
                 "  --subset N (1..%d) writes the first N of them, 3 PNG to 2 JPEG\n",
                 kPngCount, kPngWidth, kPngHeight, kJpegCount, kJpegWidth, kJpegHeight,
                 kPngCount + kJpegCount);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    int total = kPngCount + kJpegCount;
    std::string folder;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--subset" && i + 1 < argc) {
            char* end = nullptr;
            const long n = std::strtol(argv[++i], &end, 10);
            if (*end != '\0' || n < 1 || n > kPngCount + kJpegCount) return usage();
            total = static_cast<int>(n);
        } else if (!arg.empty() && arg[0] != '-' && folder.empty()) {
            folder = arg;
        } else {
            return usage();
        }
    }
    if (folder.empty()) return usage();
    if (mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST) {
        std::perror(folder.c_str());
        return 1;
    }

    // Three PNG to two JPEG, rounded, and never more of a kind than the full corpus has.
    const int png_count = std::min(kPngCount, (total * 3 + 2) / 5);
    const int jpeg_count = std::min(kJpegCount, total - png_count);

    MagickWandGenesis();
    bool ok = true;
    for (int i = 0; ok && i < png_count; ++i) {
        ok = write_picture(numbered(folder, 'p', i, "png"), "PNG", kPngWidth, kPngHeight,
                           0x50A1C0DE00000000ull + i);
    }
    for (int i = 0; ok && i < jpeg_count; ++i) {
        ok = write_picture(numbered(folder, 'j', i, "jpg"), "JPEG", kJpegWidth, kJpegHeight,
                           0x1E9C0DE000000000ull + i);
    }
    MagickWandTerminus();
    if (ok)
        std::printf("bench_corpus: %d PNG and %d JPEG in %s\n", png_count, jpeg_count,
                    folder.c_str());
    return ok ? 0 : 1;
}
