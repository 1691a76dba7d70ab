#pragma once

#include <string>

// Shared libraries of the platform, found by name through the system's standard search (for the
// shell's executable that search starts beside it). Libraries are never unloaded. Any thread.
namespace gameshell::platform {

// The library if it is loaded in the process already; does not load it.
void* FindLoadedLibrary(const std::string& name);
void* LoadLibrary(const std::string& name);
void* FindExport(void* library, const char* name);

}  // namespace gameshell::platform
