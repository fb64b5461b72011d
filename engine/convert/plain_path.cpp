#include "plain_path.h"

#include <algorithm>
#include <cstddef>
#include <vector>

#include "job_settings.h"
#include "magick_adapter.h"
#include "monitor_link.h"
#include "output_files.h"
#include "plain_codecs.h"
#include "run_context.h"

namespace morvane {

namespace {

constexpr unsigned kBand = 16;  // rows decoded and encoded at a time

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

std::size_t stride_of(const codec::SourceInfo& info) {
    return std::size_t{info.width} * static_cast<std::size_t>(info.components);
}

bool read_ahead(codec::Source& source, Lookahead& ahead) {
    const codec::SourceInfo& info = source.info();
    if (info.components == 1) return true;
    const std::size_t stride = stride_of(info);
    while (ahead.count < info.height && !ahead.colour) {
        const unsigned n = std::min(kBand, info.height - ahead.count);
        ahead.rows.resize((std::size_t{ahead.count} + n) * stride);
        unsigned char* band = ahead.rows.data() + std::size_t{ahead.count} * stride;
        if (!source.read_rows(band, n)) return false;
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

// Encodes the rows read ahead and then the rest of the source into `writer`.
std::optional<Outcome> encode(codec::Source& source, Lookahead& ahead, int components,
                              codec::JpegWriter& writer, const std::string& output) {
    const codec::SourceInfo& info = source.info();
    if (components == 1 && info.components == 3) keep_one_sample(ahead.rows);
    if (ahead.count > 0 && !writer.write_rows(ahead.rows.data(), ahead.count)) {
        return write_failed(writer, output);
    }
    ahead.rows.clear();
    ahead.rows.shrink_to_fit();
    std::vector<unsigned char> band(stride_of(info) * kBand);
    for (unsigned row = ahead.count; row < info.height;) {
        const unsigned n = std::min(kBand, info.height - row);
        if (!source.read_rows(band.data(), n)) return std::nullopt;
        if (!writer.write_rows(band.data(), n)) return write_failed(writer, output);
        row += n;
    }
    if (!source.finish()) return std::nullopt;
    if (!writer.finish()) return write_failed(writer, output);
    return Outcome{Result::Written, {}};
}

std::optional<Outcome> write_output(RunContext& ctx, codec::Source& source, Lookahead& ahead,
                                    int components, const codec::EncoderSettings& settings,
                                    const std::string& input, const std::string& output) {
    if (auto settled = settle_output(ctx.job, output, input)) return settled;
    Outcome outcome;
    OutputWork work(output);
    if (!work.open(outcome.reason)) return outcome;
    codec::JpegWriter writer(work.fd());
    if (!writer.start(source.info(), components, settings)) return write_failed(writer, output);
    std::optional<Outcome> encoded = encode(source, ahead, components, writer, output);
    if (!encoded || !encoded->done()) return encoded;
    outcome.result = work.commit(replaces_outputs(ctx.job), outcome.reason);
    return outcome;
}

}  // namespace

bool is_plain_job(const JobSettings& job) {
    return job.size.empty() && job.watermark_mode == 0 && job.quality >= 1 && job.quality <= 100;
}

std::optional<Outcome> convert_plain(RunContext& ctx, const std::string& input,
                                     const std::string& output) {
    if (!is_plain_job(ctx.job)) return std::nullopt;
    const std::unique_ptr<codec::Source> source = codec::open_source(input);
    if (!source) return std::nullopt;
    Lookahead ahead;
    if (!read_ahead(*source, ahead)) return std::nullopt;
    const int components = ahead.colour ? 3 : 1;
    const auto settings = encoder_settings(ctx.job, source->info(), components);
    if (!settings) return std::nullopt;
    // The ImageMagick path's progress: read, options applied, writing.
    ctx.link.progress(70);
    ctx.link.progress(80);
    ctx.link.status("Writing image # 1...");
    std::optional<Outcome> outcome =
        write_output(ctx, *source, ahead, components, *settings, input, output);
    if (outcome) ctx.link.progress(90);
    return outcome;
}

}  // namespace morvane
