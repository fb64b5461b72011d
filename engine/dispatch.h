#pragma once
// A source's place in the run: the output name it gets under the target folder, and the
// result line the run log gets for it.

#include <string>

#include "convert_source.h"
#include "output_name.h"
#include "run_context.h"

namespace morvane {

class LogFile;

// The output name of a source: target folder, the rebuilt source folder when the job
// asks for it, the base name, and the page placeholder for PDF and TIFF page series.
[[nodiscard]] OutputName output_name_for(const JobSettings& job, const std::string& source);

// Writes a source's result line (and the reason line of a failure) and flushes the log.
// Folder and list runs mark a failure with " !", single-file runs do not.
void log_result(LogFile& log, const std::string& source, const ConvertOutcome& outcome,
                bool mark_failure);

}  // namespace morvane
