#pragma once
// The decoder modules of the program folder (shared objects such as Tcrw.so), each
// loaded on its first use and kept until the loader goes.

#include <map>
#include <string>

namespace morvane {

class ModuleLoader {
  public:
    // `program_folder` ends in '/'; the modules are looked for there and nowhere else.
    explicit ModuleLoader(std::string program_folder);
    ModuleLoader(const ModuleLoader&) = delete;
    ModuleLoader& operator=(const ModuleLoader&) = delete;
    ~ModuleLoader();

    // The address of an entry of a module, the module loaded on first use. Null when the
    // module or the entry cannot be found; `error` then says why. Each answer, a failure
    // included, is kept: a module is tried once per loader.
    [[nodiscard]] void* entry(const std::string& module, const std::string& symbol,
                              std::string& error);

  private:
    struct Entry {
        void* address = nullptr;
        std::string error;
    };
    struct Module {
        void* handle = nullptr;
        std::string error;                     // why the module did not load
        std::map<std::string, Entry> entries;  // by symbol
    };

    Module& load(const std::string& name);

    std::string folder_;
    std::map<std::string, Module> modules_;  // by file name
};

}  // namespace morvane
