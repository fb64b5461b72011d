#include "convert_source.h"

#include <string_view>

#include "converters.h"
#include "job_settings.h"
#include "log_file.h"
#include "monitor_link.h"
#include "output_files.h"
#include "output_options.h"
#include "path_util.h"
#include "raster.h"
#include "text_util.h"

namespace morvane {

namespace {

Outcome run_converter(RunContext& ctx, const std::string& source, const OutputName& output) {
    const Route route = route_for_extension(split_path(source).ext);
    // Camera raw is written at its decoded size whatever the job asks.
    if (route != Route::CameraRaw) {
        if (auto problem = size_problem(ctx.job)) return {Result::Refused, std::move(*problem)};
    }
    switch (route) {
        case Route::CameraRaw:
            return convert_camera_raw(ctx, source, output);
        case Route::Pdf:
            return convert_pdf(ctx, source, output);
        case Route::PostScript:
            return convert_postscript(ctx, source, output);
        case Route::Avi:
            return convert_avi(ctx, source, output);
        case Route::Mpeg:
            return convert_mpeg(ctx, source, output);
        case Route::Photoshop:
            return convert_photoshop(ctx, source, output);
        case Route::Raster:
            break;
    }
    return convert_raster(ctx, source, output);
}

// The source's outcome as the run counts it: 1, 0 or -1. A source that cannot be read
// gets its two lines here; the other failures' reason goes to the caller.
ConvertOutcome counted(RunContext& ctx, const std::string& source, Outcome outcome) {
    switch (outcome.result) {
        case Result::Written:
        case Result::Skipped:
            return {kConverted, {}};
        case Result::Kept:
            return {kOutputExists, {}};
        case Result::Unreadable:
            ctx.log.printf("The file %s cannot be read by Tarvik_morvane\r\n", source.c_str());
            ctx.log.printf("\t%s\r\n", outcome.reason.c_str());
            ctx.log.flush();
            return {kNotConverted, {}};
        case Result::Refused:
        case Result::Failed:
            break;
    }
    return {kNotConverted, std::move(outcome.reason)};
}

}  // namespace

bool extension_starts_with(std::string_view ext, std::string_view lead) {
    return starts_with_ignoring_case(ext, lead);
}

Route route_for_extension(const std::string& ext) {
    return route_of_extension(ext);
}

ConvertOutcome convert_source(RunContext& ctx, const std::string& source,
                              const OutputName& output) {
    ctx.link.progress(15);
    if (source.size() > kMaxPathLength || output.path.size() > kMaxPathLength) {
        return {kNotConverted, "the path is longer than Linux allows"};
    }
    ConvertOutcome outcome = counted(ctx, source, run_converter(ctx, source, output));
    // Only a converted source moves; a kept output or a failure leaves it in place.
    if (outcome.result == kConverted && ctx.job.move != 0) move_source(ctx, source);
    return outcome;
}

}  // namespace morvane
