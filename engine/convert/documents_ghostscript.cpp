#include "documents_ghostscript.h"

#include <algorithm>
#include <cstddef>

#include <dlfcn.h>

#include <ghostscript/iapi.h>
#include <ghostscript/ierrors.h>

namespace morvane::ghostscript {

namespace {

// A document that prints without end is stopped by the caller's time limit; its output
// is kept only up to here.
constexpr std::size_t kMaxCapture = 64 * 1024;
constexpr std::size_t kMaxLine = 300;

struct Capture {
    std::string text;
};

int GSDLLCALL read_nothing(void*, char*, int) {
    return 0;
}

int GSDLLCALL keep_output(void* handle, const char* text, int length) {
    if (length <= 0) return 0;
    auto* capture = static_cast<Capture*>(handle);
    const std::size_t room = kMaxCapture - std::min(kMaxCapture, capture->text.size());
    capture->text.append(text, std::min(room, static_cast<std::size_t>(length)));
    return length;
}

bool finished(int code) {
    return code == 0 || code == gs_error_Quit;
}

std::string trimmed(std::string line) {
    const auto is_blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '*'; };
    while (!line.empty() && is_blank(line.back())) line.pop_back();
    const auto start = std::find_if_not(line.begin(), line.end(), is_blank);
    line.erase(line.begin(), start);
    if (line.size() > kMaxLine) line.resize(kMaxLine);
    return line;
}

// The library is opened only when a document comes: a run of pictures never pays for
// loading it (nor for the memory its relocations take in every worker).
struct Api {
    decltype(&gsapi_new_instance) new_instance = nullptr;
    decltype(&gsapi_set_stdio) set_stdio = nullptr;
    decltype(&gsapi_init_with_args) init_with_args = nullptr;
    decltype(&gsapi_exit) exit = nullptr;
    decltype(&gsapi_delete_instance) delete_instance = nullptr;
};

template <typename F>
bool bind(void* library, const char* name, F& function) {
    function = reinterpret_cast<F>(::dlsym(library, name));
    return function != nullptr;
}

// The API, or null with `message` set. The library stays loaded for the process.
const Api* load_api(std::string& message) {
    static Api api;
    static bool loaded = false;
    if (loaded) return &api;
    void* library = ::dlopen("libgs.so.10", RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr || !(bind(library, "gsapi_new_instance", api.new_instance) &&
                                bind(library, "gsapi_set_stdio", api.set_stdio) &&
                                bind(library, "gsapi_init_with_args", api.init_with_args) &&
                                bind(library, "gsapi_exit", api.exit) &&
                                bind(library, "gsapi_delete_instance", api.delete_instance))) {
        const char* error = ::dlerror();
        message = std::string("Ghostscript cannot be loaded: ") + (error ? error : "libgs.so.10");
        return nullptr;
    }
    loaded = true;
    return &api;
}

}  // namespace

std::string telling_line(const std::string& output) {
    std::string first;
    std::size_t start = 0;
    while (start < output.size()) {
        std::size_t end = output.find('\n', start);
        if (end == std::string::npos) end = output.size();
        std::string line = trimmed(output.substr(start, end - start));
        if (line.find("Error") != std::string::npos) return line;
        if (first.empty()) first = std::move(line);
        start = end + 1;
    }
    return first;
}

bool run(const std::vector<std::string>& args, std::string& message) {
    const Api* gs = load_api(message);
    if (gs == nullptr) return false;
    Capture capture;
    void* instance = nullptr;
    if (gs->new_instance(&instance, &capture) < 0) {
        message = "Ghostscript cannot be started";
        return false;
    }
    (void)gs->set_stdio(instance, read_nothing, keep_output, keep_output);
    std::vector<std::string> items = args;
    std::vector<char*> argv;
    for (std::string& item : items) argv.push_back(item.data());
    argv.push_back(nullptr);
    int code = gs->init_with_args(instance, static_cast<int>(items.size()), argv.data());
    const int exit_code = gs->exit(instance);
    if (finished(code)) code = exit_code;
    gs->delete_instance(instance);
    message = telling_line(capture.text);
    return finished(code);
}

}  // namespace morvane::ghostscript
