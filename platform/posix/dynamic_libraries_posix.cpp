#include "platform/dynamic_libraries.h"

#include <dlfcn.h>

namespace gameshell::platform {

void* FindLoadedLibrary(const std::string& name) {
  // RTLD_NOLOAD hands out a reference, but libraries stay loaded for good anyway.
  return ::dlopen(name.c_str(), RTLD_NOW | RTLD_NOLOAD);
}

void* LoadLibrary(const std::string& name) {
  return ::dlopen(name.c_str(), RTLD_NOW);
}

void* FindExport(void* library, const char* name) {
  return library ? ::dlsym(library, name) : nullptr;
}

}  // namespace gameshell::platform
