#include "watermark.h"

#include "job_settings.h"

namespace morvane {

void append_text_watermark(const JobSettings& /*job*/, ArgVector& /*args*/) {}

}  // namespace morvane
