#pragma once
// The file a copy is written into under a temporary name in its target's folder, until the
// verified copy is given the target's name. The temporary name goes with this object, whatever
// became of the copy: a copy never published is removed.
// Removing a large file costs the file system the freeing of its space, which ext4 does at the
// last close, there and then, waiting for the writes still under way to it. So off Windows this
// object holds the file open itself: at its end the name goes at once, and the space is given
// back on the closing thread (background_close.h). On Windows, where an open file cannot lose its
// name, the file is removed here once the writer has closed it.
#include <filesystem>

#include "file_view.h"
#include "host_file.h"
#include "regf.h"

namespace hv::regf {

class TempFile {
 public:
  TempFile() = default;
  // Removes the temporary name. Declare the object before the NewFile it creates, so that the
  // writer's descriptor is closed first.
  ~TempFile();
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  // Creates `file` under the first free temporary name in out's folder (never a name that is
  // taken); not ok, with a message naming the file, when none can be created.
  Status Create(const std::filesystem::path& out, NewFile& file);
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
  HostFile held_;  // off Windows: the file, kept open so that the last close is this object's
};

}  // namespace hv::regf
