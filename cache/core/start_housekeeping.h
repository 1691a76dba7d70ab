#pragma once

#include <atomic>

#include "cache/core/cache_index.h"
#include "cache/core/cache_trouble.h"
#include "cache/core/load_gate.h"
#include "cache/core/start_stamps.h"
#include "platform/file_system.h"

// The cache's work at each start, on the writer thread before any body: loads the index, looks at
// each file it names once (dropping entries whose file is gone, recording the others' stamps), and
// forgets the stamps of paths another shell wrote a line for since the load; then opens the gate
// that requests wait at. Afterwards rewrites the index when torn, junk-filled, overgrown or short
// of dropped entries; finds out whether the cache root takes files; removes the temporary files,
// at any depth, that killed runs left and that no running shell is writing (a shell holds a lock
// on each file it writes). Once `closing` holds, the look at the files and the sweep stop where
// they are: the next start does them again.
namespace gameshell {

struct StartHousekeeping {
  CacheIndex& index;
  FileSystem& fs;
  CacheTrouble& trouble;
  StartStamps& stamps;
  LoadGate& gate;
  const std::atomic<bool>& closing;
};

void RunStartHousekeeping(const StartHousekeeping& start);

}  // namespace gameshell
