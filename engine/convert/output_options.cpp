#include "output_options.h"

#include <string>

#include "job_settings.h"
#include "watermark.h"

namespace morvane {

void build_output_options(const JobSettings& job, ArgVector& args) {
    const std::string quality = std::to_string(job.quality);
    args.push_back("-quality");
    args.push_back(quality);
    if (job.progressive != 0) {
        args.push_back("-interlace");
        args.push_back("Plane");
    }
    if (!job.size.empty()) {
        if (job.aspect_ratio != 0) {
            args.push_back("-filter");
            args.push_back("lanczos");
            args.push_back("-sample");
            args.push_back(job.size);
        } else {
            args.push_back("-resize");
            args.push_back(job.size + "!");
        }
    }
    // The density carries the JPEG quality, as the document converters always had it.
    args.push_back("-density");
    args.push_back(quality + "x" + quality);
    if (job.watermark_mode == 1 && !job.watermark_txt.empty()) append_text_watermark(job, args);
}

}  // namespace morvane
