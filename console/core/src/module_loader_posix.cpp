#include "module_loader.h"

#include <dlfcn.h>

namespace deve::module_loader {

void *open(const std::string &file, std::string &error) {
    dlerror();
    void *module = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
        const char *reason = dlerror();
        error = reason != nullptr ? reason : "unknown error";
    }
    return module;
}

void *find(void *module, const char *name) {
    dlerror();
    void *address = dlsym(module, name);
    // A symbol may legitimately sit at a null address; only dlerror tells.
    if (dlerror() != nullptr) {
        return nullptr;
    }
    return address;
}

}  // namespace deve::module_loader
