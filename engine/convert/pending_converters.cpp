// The converters the routing already knows but the engine does not carry yet. A source
// routed to one of them is reported as not converted, with the reason, and stays where
// it is. Each function here gives way to its real converter.

#include "converters.h"

namespace morvane {

namespace {

ConvertOutcome not_supported(const char* what) {
    return {kNotConverted, std::string(what) + " are not supported yet"};
}

}  // namespace

ConvertOutcome convert_pdf(RunContext&, const std::string&, const OutputName&) {
    return not_supported("PDF sources");
}

ConvertOutcome convert_postscript(RunContext&, const std::string&, const OutputName&) {
    return not_supported("PostScript, EPS and Illustrator sources");
}

ConvertOutcome convert_avi(RunContext&, const std::string&, const OutputName&) {
    return not_supported("AVI videos");
}

ConvertOutcome convert_mpeg(RunContext&, const std::string&, const OutputName&) {
    return not_supported("MPEG videos");
}

ConvertOutcome convert_photoshop(RunContext&, const std::string&, const OutputName&) {
    return not_supported("Photoshop sources");
}

}  // namespace morvane
