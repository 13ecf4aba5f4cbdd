#include "module_loader.h"

#include <dlfcn.h>
#include <link.h>

#include <cstring>

namespace deve::module_loader {

namespace {

// An entry point every transport defines, and only a transport.
constexpr const char *kTransportSymbol = "xolt_open";

// The export `name` of the loaded object `file`, if that object itself
// defines it (a look-up through a handle also searches its dependencies).
void *defined_in(const char *file, const char *name) {
    void *handle = dlopen(file, RTLD_LAZY | RTLD_NOLOAD);
    if (handle == nullptr) {
        return nullptr;
    }
    void *address = dlsym(handle, name);
    Dl_info where{};
    const bool here =
        address != nullptr && dladdr(address, &where) != 0 && where.dli_fname != nullptr &&
        std::strcmp(where.dli_fname, file) == 0;
    dlclose(handle);  // only drops the reference NOLOAD took
    return here ? address : nullptr;
}

}  // namespace

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

void *find_in_transport(const char *name) {
    struct Search {
        const char *name;
        void *found;
    } search{name, nullptr};
    dl_iterate_phdr(
        [](struct dl_phdr_info *info, std::size_t, void *data) -> int {
            auto *s = static_cast<Search *>(data);
            if (info->dlpi_name == nullptr || *info->dlpi_name == '\0' ||
                defined_in(info->dlpi_name, kTransportSymbol) == nullptr) {
                return 0;
            }
            s->found = defined_in(info->dlpi_name, s->name);
            return 1;  // the transport: the search ends here either way
        },
        &search);
    return search.found;
}

}  // namespace deve::module_loader
