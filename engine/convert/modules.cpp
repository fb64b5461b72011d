#include "modules.h"

#include <utility>

#include <dlfcn.h>

namespace morvane {

namespace {

std::string last_dl_error(const char* fallback) {
    const char* text = ::dlerror();
    return text != nullptr ? text : fallback;
}

}  // namespace

ModuleLoader::ModuleLoader(std::string program_folder) : folder_(std::move(program_folder)) {}

ModuleLoader::~ModuleLoader() {
    for (auto& [name, loaded] : modules_) {
        if (loaded.handle != nullptr) (void)::dlclose(loaded.handle);
    }
}

ModuleLoader::Module& ModuleLoader::load(const std::string& name) {
    const auto found = modules_.find(name);
    if (found != modules_.end()) return found->second;
    Module& loaded = modules_[name];
    (void)::dlerror();  // forget any earlier failure
    loaded.handle = ::dlopen((folder_ + name).c_str(), RTLD_NOW | RTLD_LOCAL);
    if (loaded.handle == nullptr) loaded.error = last_dl_error("the module cannot be opened");
    return loaded;
}

void* ModuleLoader::entry(const std::string& module, const std::string& symbol,
                          std::string& error) {
    Module& loaded = load(module);
    if (loaded.handle == nullptr) {
        error = loaded.error;
        return nullptr;
    }
    auto found = loaded.entries.find(symbol);
    if (found == loaded.entries.end()) {
        Entry looked_up;
        (void)::dlerror();
        looked_up.address = ::dlsym(loaded.handle, symbol.c_str());
        if (looked_up.address == nullptr) {
            looked_up.error = last_dl_error("the module has no entry of that name");
        }
        found = loaded.entries.emplace(symbol, std::move(looked_up)).first;
    }
    error = found->second.error;
    return found->second.address;
}

}  // namespace morvane
