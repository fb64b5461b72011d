// The file-list reader on arbitrary bytes.

#include <cstdlib>

#include "fuzz_input_file.h"
#include "job_settings.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto files = morvane::read_file_list(morvane::fuzz::input_file(data, size));
    if (!files) std::abort();  // the file was just written: it must open
    for (const std::string& file : *files) {
        if (file.empty() || file.size() > 259) std::abort();
    }
    return 0;
}
