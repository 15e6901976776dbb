#pragma once
// Closing a file whose name is already gone, off the caller's thread. A file system frees a large
// file's space at its last close, and may do it there and then (ext4 frees the blocks and waits
// for the writes still under way to them): a caller that must answer at once hands the
// descriptor here instead. The closes run one after another on one thread, started when there is
// work and ended when there is none; a process that ends normally waits for those handed over (so nothing
// is left running or leaked at exit). On Windows, where a file cannot lose its name while open,
// there is nothing to gain: the file is closed at once, on the caller's thread.
#include <thread>

#include "host_file.h"

namespace hv::regf {

// Closes `file` soon, on the closing thread (here, when no thread can be started). Not for use
// from the destructor of a static object.
void CloseInBackground(HostFile file) noexcept;
// Joins `thread`, one that ends by itself (a sync of a copy nobody waits for any more, which
// closes its own descriptor), on the closing thread, so that it too has ended before
// WaitForBackgroundCloses returns and before the process exits. Here when no thread can be
// started.
void JoinInBackground(std::thread thread) noexcept;
// Returns once every file handed over so far is closed and every thread handed over has ended.
void WaitForBackgroundCloses() noexcept;

}  // namespace hv::regf
