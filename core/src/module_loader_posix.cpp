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

void *find_loaded(const std::string &file, const char *name) {
    void *handle = dlopen(file.c_str(), RTLD_LAZY | RTLD_NOLOAD);
    if (handle == nullptr) {
        return nullptr;
    }
    // A look-up through a handle also searches the module's dependencies:
    // only an export the module itself defines counts.
    void *address = dlsym(handle, name);
    Dl_info where{};
    const bool here = address != nullptr && dladdr(address, &where) != 0 && where.dli_fname != nullptr &&
                      file == where.dli_fname;
    dlclose(handle);  // only drops the reference NOLOAD took
    return here ? address : nullptr;
}

}  // namespace deve::module_loader
