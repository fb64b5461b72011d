#include "plain_path.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <vector>

#include "job_settings.h"
#include "magick_adapter.h"
#include "monitor_link.h"
#include "output_files.h"
#include "output_options.h"
#include "path_util.h"
#include "run_context.h"

namespace morvane {

namespace {

constexpr unsigned kBand = 16;  // rows decoded and encoded at a time
// A picture still gray after this many bytes of rows is left to ImageMagick rather than
// held whole here.
constexpr std::size_t kMostAhead = 64 * 1024 * 1024;

std::size_t stride_of(const codec::SourceInfo& info) {
    return std::size_t{info.width} * static_cast<std::size_t>(info.components);
}

// ImageMagick's "-sample" size: the box itself with the aspect ratio off, else the picture
// scaled by the smaller of the two ratios, each side rounded and at least 1.
codec::Box sampled_size(const JobSettings& job, unsigned width, unsigned height) {
    const auto box = whole_size(job.size);
    if (!box) return {width, height};
    if (job.aspect_ratio == 0) return {box->width, box->height};
    const double scale = std::min(static_cast<double>(box->width) / width,
                                  static_cast<double>(box->height) / height);
    const auto side = [scale](unsigned n) {
        return std::max(1U, static_cast<unsigned>(std::floor(scale * n + 0.5)));
    };
    return {side(width), side(height)};
}

// The output picture's rows as they stream out of the source: each output pixel takes
// the source pixel under its centre, as ImageMagick's point sampling does.
class Rows {
  public:
    Rows(codec::Source& source, codec::Box size)
        : source_(source), info_(source.info()), size_(size) {
        const codec::SourceInfo& in = source.info();
        info_.width = size.width;
        info_.height = size.height;
        identity_ = size.width == in.width && size.height == in.height;
        if (identity_) return;
        row_.resize(stride_of(in));
        for (unsigned x = 0; x < size.width; ++x)
            columns_.push_back(offset(x, in.width, size.width));
    }

    // The picture written: the source's with the sampled size.
    [[nodiscard]] const codec::SourceInfo& info() const { return info_; }

    // The next `count` output rows; false when the source is declined.
    [[nodiscard]] bool read(unsigned char* rows, unsigned count) {
        if (identity_) return source_.read_rows(rows, count);
        const std::size_t out_stride = stride_of(info_);
        for (unsigned i = 0; i < count; ++i, ++next_) {
            if (!read_up_to(offset(next_, source_.info().height, size_.height))) return false;
            sample_row(rows + i * out_stride);
        }
        return true;
    }

    // Reads what the sampling left of the source, then its end.
    [[nodiscard]] bool finish() {
        if (!identity_ && !read_up_to(source_.info().height - 1)) return false;
        return source_.finish();
    }

  private:
    // ImageMagick's sample offset is a hair under half a pixel.
    static unsigned offset(unsigned n, unsigned from, unsigned to) {
        constexpr double kHalf = 0.5 - 1.0e-12;
        const auto at = static_cast<unsigned>((n + kHalf) * from / to);
        return std::min(at, from - 1);
    }
    bool read_up_to(unsigned source_row) {
        while (read_ < source_row + 1) {
            if (!source_.read_rows(row_.data(), 1)) return false;
            ++read_;
        }
        return true;
    }
    void sample_row(unsigned char* out) const {
        const auto n = static_cast<std::size_t>(info_.components);
        for (const unsigned column : columns_) {
            std::copy_n(row_.data() + column * n, n, out);
            out += n;
        }
    }

    codec::Source& source_;
    codec::SourceInfo info_;
    codec::Box size_;
    bool identity_ = true;
    std::vector<unsigned char> row_;  // the last source row read
    std::vector<unsigned> columns_;
    unsigned read_ = 0;  // source rows read
    unsigned next_ = 0;  // the next output row
};

// The rows read before the first colour pixel settles the output's colour space:
// ImageMagick writes a picture whose every pixel is gray as a gray JPEG.
struct Lookahead {
    std::vector<unsigned char> rows;
    unsigned count = 0;
    bool colour = false;
};

bool has_colour(const unsigned char* p, std::size_t pixels) {
    for (std::size_t i = 0; i < pixels; ++i, p += 3) {
        if (p[0] != p[1] || p[1] != p[2]) return true;
    }
    return false;
}

bool read_ahead(Rows& rows, Lookahead& ahead) {
    const codec::SourceInfo& info = rows.info();
    if (info.components == 1) return true;
    const std::size_t stride = stride_of(info);
    while (ahead.count < info.height && !ahead.colour) {
        if (ahead.rows.size() > kMostAhead) return false;
        const unsigned n = std::min(kBand, info.height - ahead.count);
        ahead.rows.resize((std::size_t{ahead.count} + n) * stride);
        unsigned char* band = ahead.rows.data() + std::size_t{ahead.count} * stride;
        if (!rows.read(band, n)) return false;
        ahead.colour = has_colour(band, std::size_t{n} * info.width);
        ahead.count += n;
    }
    return true;
}

// A gray picture read as RGB, one sample per pixel.
void keep_one_sample(std::vector<unsigned char>& rows) {
    const std::size_t pixels = rows.size() / 3;
    for (std::size_t i = 0; i < pixels; ++i) rows[i] = rows[i * 3];
    rows.resize(pixels);
}

// ImageMagick makes a baseline file's Huffman tables for the picture when its memory
// limit allows the pixel cache (8 bytes a pixel) and the samples at once; a picture
// near that limit is left to it.
std::optional<codec::EncoderSettings> encoder_settings(const JobSettings& job,
                                                       const codec::SourceInfo& info,
                                                       int components) {
    codec::EncoderSettings settings;
    settings.quality = static_cast<int>(job.quality);
    settings.progressive = job.progressive != 0;
    if (settings.progressive) return settings;
    constexpr unsigned long long kSlack = 4ULL * 1024 * 1024;
    const unsigned long long pixels = 1ULL * info.width * info.height;
    const unsigned long long needed = pixels * (8ULL + static_cast<unsigned>(components)) + kSlack;
    if (needed > magick::memory_limit()) return std::nullopt;
    return settings;
}

// The failure of a write to the output; nothing when the encoder itself gave up, which
// ImageMagick is left to explain.
std::optional<Outcome> write_failed(const codec::JpegWriter& writer, const std::string& output) {
    if (writer.write_error() == 0) return std::nullopt;
    return Outcome{Result::Failed, write_failure(output, writer.write_error())};
}

// Encodes the rows read ahead and then the rest of the picture into `writer`.
std::optional<Outcome> encode(Rows& rows, Lookahead& ahead, int components,
                              codec::JpegWriter& writer, const std::string& output) {
    const codec::SourceInfo& info = rows.info();
    if (components == 1 && info.components == 3) keep_one_sample(ahead.rows);
    if (ahead.count > 0 && !writer.write_rows(ahead.rows.data(), ahead.count)) {
        return write_failed(writer, output);
    }
    ahead.rows.clear();
    ahead.rows.shrink_to_fit();
    std::vector<unsigned char> band(stride_of(info) * kBand);
    for (unsigned row = ahead.count; row < info.height;) {
        const unsigned n = std::min(kBand, info.height - row);
        if (!rows.read(band.data(), n)) return std::nullopt;
        if (!writer.write_rows(band.data(), n)) return write_failed(writer, output);
        row += n;
    }
    if (!rows.finish()) return std::nullopt;
    if (!writer.finish()) return write_failed(writer, output);
    return Outcome{Result::Written, {}};
}

std::optional<Outcome> write_output(RunContext& ctx, Rows& rows, Lookahead& ahead, int components,
                                    const codec::EncoderSettings& settings,
                                    const std::string& input, const std::string& output) {
    if (auto settled = settle_output(ctx.job, output, input)) return settled;
    Outcome outcome;
    OutputWork work(output);
    if (!work.open(outcome.reason)) return outcome;
    codec::JpegWriter writer(work.fd());
    if (!writer.start(rows.info(), components, settings)) return write_failed(writer, output);
    std::optional<Outcome> encoded = encode(rows, ahead, components, writer, output);
    if (!encoded || !encoded->done()) return encoded;
    outcome.result = work.commit(replaces_outputs(ctx.job), outcome.reason);
    return outcome;
}

}  // namespace

bool is_plain_job(const JobSettings& job) {
    const bool plain_size_asked = job.size.empty() || whole_size(job.size).has_value();
    return plain_size_asked && job.watermark_mode == 0 && job.quality >= 1 && job.quality <= 100;
}

std::optional<codec::Box> jpeg_decode_box(const JobSettings& job, const std::string& source) {
    const std::string ext = split_path(source).ext;
    const bool jpeg_name = magick::same_word(ext, ".jpg") || magick::same_word(ext, ".jpeg") ||
                           magick::same_word(ext, ".jpe");
    if (job.size.empty() || !jpeg_name) return std::nullopt;
    unsigned width = 0;
    unsigned height = 0;
    char rest = 0;
    if (std::sscanf(job.size.c_str(), "%ux%u%c", &width, &height, &rest) != 2) return std::nullopt;
    if (width == 0 || height == 0) return std::nullopt;
    return codec::Box{width, height};
}

std::optional<Outcome> convert_plain(RunContext& ctx, const std::string& input,
                                     const std::string& output) {
    if (!is_plain_job(ctx.job)) return std::nullopt;
    const std::unique_ptr<codec::Source> source =
        codec::open_source(input, jpeg_decode_box(ctx.job, input));
    if (!source) return std::nullopt;
    const codec::SourceInfo& info = source->info();
    const codec::Box size = sampled_size(ctx.job, info.width, info.height);
    // A picture ImageMagick refuses for its size gets ImageMagick's failure lines.
    if (!magick::within_size_limits(info.width, info.height) ||
        !magick::within_size_limits(size.width, size.height)) {
        return std::nullopt;
    }
    Rows rows(*source, size);
    Lookahead ahead;
    if (!read_ahead(rows, ahead)) return std::nullopt;
    const int components = rows.info().components == 3 && ahead.colour ? 3 : 1;
    const auto settings = encoder_settings(ctx.job, rows.info(), components);
    if (!settings) return std::nullopt;
    // The ImageMagick path's progress: read, options applied, writing.
    ctx.link.progress(70);
    ctx.link.progress(80);
    ctx.link.status("Writing image # 1...");
    std::optional<Outcome> outcome =
        write_output(ctx, rows, ahead, components, *settings, input, output);
    if (outcome) ctx.link.progress(90);
    return outcome;
}

}  // namespace morvane
