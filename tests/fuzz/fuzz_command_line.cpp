// Command-line splitting and the choice of run form on arbitrary text.

#include <cstdlib>
#include <string_view>

#include "command_line.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view line(reinterpret_cast<const char*>(data), size);
    const auto fields = morvane::split_command_line(line);
    if (fields.size() > morvane::kMaxFields) std::abort();
    for (const std::string& field : fields) {
        if (field.empty() || field.find('|') != std::string::npos) std::abort();
    }
    const morvane::Invocation call = morvane::select_form(fields, "/p/Tarvik_morvane.ini");
    if (call.complete && call.mode == morvane::RunMode::SingleFile) {
        (void)morvane::default_single_output("/out", call.source);
    }
    return 0;
}
