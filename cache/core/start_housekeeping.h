#pragma once

#include <atomic>

#include "cache/core/cache_index.h"
#include "cache/core/cache_trouble.h"
#include "platform/file_system.h"

// The cache's work at each start, on the writer thread before any body: loads the index (its users
// wait for it meanwhile) and rewrites it when torn, junk-filled or overgrown; finds out whether the
// cache root takes files; removes the temporary files, at any depth, that killed runs left and that
// no running shell is writing (a shell holds a lock on each file it writes); drops index entries
// whose file is gone. Once `closing` holds, the sweep and the check of files stop where they are:
// the next start does them again.
namespace gameshell {

void RunStartHousekeeping(CacheIndex& index,
                          FileSystem& fs,
                          CacheTrouble& trouble,
                          const std::atomic<bool>& closing);

}  // namespace gameshell
