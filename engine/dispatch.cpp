#include "dispatch.h"

#include "convert_source.h"
#include "job_settings.h"
#include "log_file.h"
#include "path_util.h"
#include "text_util.h"

namespace morvane {
namespace {

// The folder part rebuilt under the target: the whole folder, or with
// reproduce_path_from_root only the name of the source's own folder.
std::string rebuilt_folder(const JobSettings& job, const std::string& folder) {
    std::string copy = folder;
    if (!copy.empty() && copy.back() == '/') copy.pop_back();
    const std::size_t slash = copy.rfind('/');
    if (job.reproduce_path_from_root != 0 && slash != std::string::npos) {
        return copy.substr(slash);
    }
    return folder;
}

}  // namespace

OutputName output_name_for(const JobSettings& job, const std::string& source) {
    const PathParts parts = split_path(source);
    std::string folder = job.target;
    if (job.reproduce_path != 0) folder += rebuilt_folder(job, parts.folder);
    // A document is numbered page by page when the PDF converter takes it, so that a
    // name the route does not send there is never given page numbers.
    const bool page_series =
        (route_for_extension(parts.ext) == Route::Pdf && job.pdf_extract_all) ||
        (starts_with_ignoring_case(parts.ext, ".tif") && job.tiff_extract_all);
    return source_output(folder, source, page_series);
}

void log_result(LogFile& log, const std::string& source, const ConvertOutcome& outcome,
                bool mark_failure) {
    const char* path = source.c_str();
    if (outcome.result == kOutputExists) {
        log.printf("The file %s was not created, it already exists in the targer folder.\r\n",
                   path);
    } else if (outcome.result != kNotConverted) {
        log.printf("%s converted\r\n", path);
    } else {
        log.printf("Could not convert %s%s\r\n", path, mark_failure ? " !" : "");
        if (!outcome.reason.empty()) log.printf("\t%s\r\n", outcome.reason.c_str());
    }
    log.flush();
}

}  // namespace morvane
