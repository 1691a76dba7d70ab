#pragma once

// Limits of the shell's process that the engine's defaults leave too low.
// Thread: the main thread, at start.
namespace gameshell::platform {

// The engine holds a descriptor or two for every pending request: a page that asks for
// thousands of resources at once needs more than the usual soft limit of open files. Raises it
// towards the hard limit; failures are silent.
void RaiseOpenFileLimit();

}  // namespace gameshell::platform
