// The file-list reader on arbitrary bytes.

#include <cstdlib>

#include "fuzz_input_file.h"
#include "job_settings.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const morvane::FileList list = morvane::read_file_list(morvane::fuzz::input_file(data, size));
    if (!list.read) std::abort();  // the file was just written: it must open
    for (const morvane::ListedFile& file : list.files) {
        // A path is either taken whole or refused, never cut.
        if (file.path.empty() || (file.path.size() > 259) != !file.refusal.empty()) std::abort();
    }
    return 0;
}
