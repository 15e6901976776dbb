#pragma once
// One owner per offline installation, across processes.
//
// The installation's identity is the real, canonical path of the folder that
// holds its Windows directory (the C: drive's folder), however it was named
// on the command line. The owner holds hivora.lock (installation_state.h)
// for the life of the process; within one process the lock is shared by
// every platform object on the same installation.
#include <atomic>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/offline/drive_map.h"
#include "platform/types.h"

namespace hv::offline {

// The canonical path of the folder holding C:\Windows (the C: folder when
// there is none); empty when the installation has no C: drive.
std::string InstallationIdentity(const DriveMap& drives);

class InstallationLock {
 public:
  enum class Result { kAcquired, kOwnedElsewhere, kFailed };
  // Takes the lock of the installation whose state folder is `stateFolder`
  // (created when missing). kOwnedElsewhere when another process holds it;
  // kFailed (with *error) when the lock file cannot be made.
  static Result Acquire(const std::filesystem::path& stateFolder, const std::string& identity,
                        std::shared_ptr<InstallationLock>* lock, DWORD* error);
  // The same for an installation that cannot be written: its own lock file
  // `installationFile` when it has one, opened for reading (an flock works
  // through a read-only mount all the same, and still excludes an owner that
  // has the installation read-write); else `privateFile`, made when missing.
  // Nothing is written into the installation's file.
  static Result AcquireReadOnly(const std::filesystem::path& installationFile, const std::filesystem::path& privateFile,
                                const std::string& identity, std::shared_ptr<InstallationLock>* lock, DWORD* error);
  ~InstallationLock();
  InstallationLock(const InstallationLock&) = delete;
  InstallationLock& operator=(const InstallationLock&) = delete;

  const std::filesystem::path& file() const { return file_; }
  // True for the first holder in this process; later platforms on the same
  // installation share the lock and leave the start-up work to the first.
  bool TakeFirstUse() { return !used_.exchange(true); }

 private:
  InstallationLock(std::filesystem::path file, int fd) : file_(std::move(file)), fd_(fd) {}
  std::filesystem::path file_;
  int fd_ = -1;
  std::atomic<bool> used_{false};
};

}  // namespace hv::offline
