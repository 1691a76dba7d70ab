#include <windows.h>
// The shell's interface has a function of this name; the system's macro must not rename it.
#undef LoadLibrary

#include "platform/dynamic_libraries.h"
#include "platform/win/wide_text.h"

namespace gameshell::platform {

void* FindLoadedLibrary(const std::string& name) {
  return ::GetModuleHandleW(Utf8ToWide(name).c_str());
}

void* LoadLibrary(const std::string& name) {
  // The executable's directory and the system's only: the standard search includes the working
  // directory, which is the cache root that pages write into.
  return ::LoadLibraryExW(Utf8ToWide(name).c_str(), nullptr,
                          LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
}

void* FindExport(void* library, const char* name) {
  return library ? reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(library), name))
                 : nullptr;
}

}  // namespace gameshell::platform
