#pragma once
// convert_source: routes one source by its extension to the converter that turns it
// into JPEG files, and reports the result (1 converted, 0 not, -1 output kept).

#include <string>

#include "output_name.h"
#include "run_context.h"
#include "source_formats.h"

namespace morvane {

inline constexpr int kConverted = 1;
inline constexpr int kNotConverted = 0;
inline constexpr int kOutputExists = -1;

struct ConvertOutcome {
    int result = kNotConverted;
    // Why a conversion failed where the converter has not logged it itself (an output
    // that cannot be written, an output that would replace its own source, ...); the
    // caller writes it as a tab-indented line after its failure line. Empty otherwise.
    std::string reason;
};

[[nodiscard]] ConvertOutcome convert_source(RunContext& ctx, const std::string& source,
                                            const OutputName& output);

// The converter a source goes to: its extension's row in the source format table, matched
// whole with letter case ignored; a file whose extension is in no row is a raster file.
[[nodiscard]] Route route_for_extension(const std::string& ext);

}  // namespace morvane
