#pragma once
// Keeps libraries that lie beside the program, or in the current folder, out
// of the process's library search (planted libraries).

namespace hv::win32 {

// Call first thing in the program, before anything loads a library by name.
// Where Windows offers it (7 with KB2533623 and later), libraries loaded by
// name come from the system folder only; everywhere, the current folder
// leaves the search. Returns whether the system-folder-only search is on.
bool HardenLibrarySearch();

}  // namespace hv::win32
