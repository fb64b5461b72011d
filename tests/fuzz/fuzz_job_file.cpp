// The job-file reader on arbitrary bytes: it must never crash, and what it reads must
// keep the buffer limits.

#include <cstdlib>

#include "fuzz_input_file.h"
#include "job_settings.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    morvane::JobSettings job;
    const std::string path = morvane::fuzz::input_file(data, size);
    if (morvane::read_job_settings(path, job) == morvane::JobReadStatus::Ok) {
        const std::string filter = morvane::build_extension_filter(job);
        if (job.source.size() > 259 || job.target.size() > 259 || job.size.size() > 49 ||
            job.watermark_txt.size() > 255 || filter.size() > 219) {
            std::abort();
        }
    }
    (void)morvane::read_mono_instance(path);
    return 0;
}
