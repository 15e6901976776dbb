#include "temp_file.h"

#include <string>
#include <system_error>
#include <utility>

#include "background_close.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace hv::regf {

namespace {

// The temporary name of attempt `attempt`, in out's folder: short ("~hv1.tmp", as every file
// system takes) and never longer than out's own name, so that it fits wherever out fits, however
// long out's name or path is.
std::filesystem::path TemporaryName(const std::filesystem::path& out, int attempt) {
  const std::size_t room = out.filename().native().size();
  std::string name = "~hv" + std::to_string(attempt) + ".tmp";
  if (name.size() > room) name = "~" + std::to_string(attempt);
  if (name.size() > room) name.resize(room);
  return out.parent_path() / name;
}

}  // namespace

Status TempFile::Create(const std::filesystem::path& out, NewFile& file) {
  for (int i = 1; i <= 1000; ++i) {
    const std::filesystem::path p = TemporaryName(out, i);
    bool exists = false;
    std::string error;
    if (file.Create(p, exists, error)) {
      path_ = p;
#ifndef _WIN32
      // Without the second descriptor, the file is removed as any other: its space freed there.
      file.Duplicate(held_);
#endif
      return {};
    }
    if (!exists) return Status{false, p.string() + ": " + error};
  }
  return Status{false, out.string() + ": no temporary name beside the target is free"};
}

TempFile::~TempFile() {
  if (path_.empty()) return;
#ifndef _WIN32
  // A published copy keeps its other name: closing it frees nothing, and closing it before the
  // temporary name goes spares a file system that keeps the removed name of an open file (FUSE)
  // a hidden file.
  struct stat st {};
  if (held_.valid() && ::fstat(held_.fd(), &st) == 0 && st.st_nlink > 1) held_.Close();
#endif
  std::error_code ec;
  std::filesystem::remove(path_, ec);
#ifndef _WIN32
  if (held_.valid()) CloseInBackground(std::move(held_));
#endif
}

}  // namespace hv::regf
