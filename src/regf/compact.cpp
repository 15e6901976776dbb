#include <algorithm>
#include <atomic>
#include <cstring>
#include <exception>
#include <functional>
#include <memory>
#include <system_error>
#include <thread>

#include "background_close.h"
#include "checker.h"
#include "compact_hooks.h"
#include "compare.h"
#include "copy_digest.h"
#include "cell_sink.h"
#include "file_view.h"
#include "hive_overlay.h"
#include "host_file.h"
#include "recovery.h"
#include "regf.h"
#include "stop.h"
#include "temp_file.h"
#include "writer.h"

namespace hv::regf {
namespace {

std::atomic<const CompactHooks*> g_hooks{nullptr};

Status Refuse(std::string message) { return Status{false, std::move(message)}; }

// True when `path` names anything at all, a dangling symbolic link included.
bool Taken(const std::filesystem::path& path, std::error_code& ec) {
  const auto status = std::filesystem::symlink_status(path, ec);
  if (ec == std::errc::no_such_file_or_directory) ec.clear();
  return !ec && status.type() != std::filesystem::file_type::not_found;
}

// A failure to write the copy, in the file system's words.
class CopyWriteError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The copy as the writer streams it into the temporary file: each byte is counted into a digest
// as it ends up (a patch takes the old bytes out and puts the new ones in), so that reading the
// file back proves it holds exactly what was written, without keeping it.
class CopyOutput final : public CellSink::Output {
 public:
  CopyOutput(NewFile& file, const CompactHooks* hooks, std::function<void(std::uint64_t)> progress)
      : file_(file), hooks_(hooks), progress_(std::move(progress)) {}

  void Append(std::uint8_t* bytes, std::size_t size) override {
    ThrowIfStopped();
    if (hooks_ != nullptr && hooks_->piece != nullptr) hooks_->piece(size_, bytes, size);
    digest_.Add(size_, bytes, size);
    std::string error;
    if (!file_.Write(bytes, size, error)) throw CopyWriteError(error);
    size_ += size;
    if (progress_) progress_(size_);
  }
  void Patch(std::uint64_t at, const std::uint8_t* bytes, std::size_t size) override {
    const std::uint64_t from = at / 8 * 8, to = (at + size + 7) / 8 * 8;
    std::vector<std::uint8_t> words(static_cast<std::size_t>(to - from));
    Read(from, words.data(), words.size());
    digest_.Remove(from, words.data(), words.size());
    std::memcpy(words.data() + (at - from), bytes, size);
    digest_.Add(from, words.data(), words.size());
    std::string error;
    if (!file_.WriteAt(at, bytes, size, error)) throw CopyWriteError(error);
  }
  void Read(std::uint64_t at, std::uint8_t* bytes, std::size_t size) override {
    std::string error;
    if (at + size > size_ || !file_.ReadAt(at, bytes, size, error)) {
      throw CopyWriteError(error.empty() ? std::string("reading back beyond what was written") : error);
    }
  }

  std::uint64_t Size() const { return size_; }
  std::uint64_t Digest() const { return digest_.Value(); }

 private:
  NewFile& file_;
  const CompactHooks* hooks_;
  std::function<void(std::uint64_t)> progress_;
  CopyDigest digest_;
  std::uint64_t size_ = 0;
};

// The sync of a copy on a descriptor of its own, shared with the thread that runs it.
struct SyncState {
  HostFile file;
  bool ok = false;
  std::string error;
  bool Run() {
    const int e = file.Sync();
    if (e != 0) error = "forcing the file to disk failed: " + HostErrorText(e);
    file.Close();
    return e == 0;
  }
};

// Ends the sync's thread: joined, or, when the compaction is leaving by an exception (a stop)
// and the thread touches nothing but its own shared state, handed to the closing thread to join.
struct SyncerEnd {
  std::thread& thread;
  bool mayLetGo;
  ~SyncerEnd() {
    if (!thread.joinable()) return;
    if (mayLetGo && std::uncaught_exceptions() > 0) JoinInBackground(std::move(thread));
    else thread.join();
  }
};

// True when the file holds exactly `size` bytes that count to `digest`: read back in pieces.
bool ReadsBackAs(const std::filesystem::path& path, std::uint64_t size, std::uint64_t digest,
                 const std::function<void(std::uint64_t)>& read) {
  HostFile f;
  if (f.Open(path, HostFile::Access::kRead, HostFile::Disposition::kOpenExisting, HostFile::LastLink::kRefuse) != 0) return false;
  constexpr std::size_t kPiece = std::size_t{1} << 20;
  std::unique_ptr<std::uint8_t[]> piece(new std::uint8_t[kPiece]);
  CopyDigest counted;
  for (std::uint64_t at = 0; at < size;) {
    ThrowIfStopped();
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(kPiece, size - at));
    std::size_t got = 0;
    if (f.Read(piece.get(), want, got) != 0 || got != want || want % 8 != 0) return false;
    counted.Add(at, piece.get(), want);
    at += want;
    read(at);
  }
  std::uint8_t more = 0;
  std::size_t extra = 0;
  return f.Read(&more, 1, extra) == 0 && extra == 0 && counted.Value() == digest;
}

// Gives the verified copy the target name without ever replacing a file: a hard link fails when
// the target exists. Where the file system has no hard links, a rename after a last check.
Status Publish(const std::filesystem::path& temp, const std::filesystem::path& out) {
  std::error_code ec;
  std::filesystem::create_hard_link(temp, out, ec);
  if (!ec) return {};
  if (Taken(out, ec) || ec) return Refuse(out.string() + ": the target already exists; it was left untouched");
  std::filesystem::rename(temp, out, ec);
  if (ec) return Refuse(out.string() + ": cannot move the verified copy into place: " + ec.message());
  return {};
}

}  // namespace

void SetCompactHooksForTest(const CompactHooks* hooks) { g_hooks.store(hooks); }

// The copy is streamed into a temporary file while it is built, so that only a window of it is
// held, and the file itself is verified in two halves that together cover it: read back whole,
// it must count to the digest of the bytes written; read again through a bounded window of
// bins, with all the reader's checks, its tree must equal the source's (on a second thread). The
// source is the hive as Windows would load it: a dirty one recovered from its logs.
// Progress, as the share of the copy's size reached: reading the source is the first fifth,
// building and writing the copy the next half, reading it back the rest.
class Progress {
 public:
  explicit Progress(CompactProgress* counter) : counter_(counter) {}
  void At(double share, std::uint64_t size) const {
    if (counter_ == nullptr) return;
    const auto value = static_cast<std::int64_t>(share * static_cast<double>(size));
    // It only grows, whatever the estimate before the copy's size was known.
    std::int64_t seen = counter_->load();
    while (value > seen && !counter_->compare_exchange_weak(seen, value)) {
    }
  }

 private:
  CompactProgress* counter_;
};

// The windows of a compaction: bytes of the copy held while it is written (about twice
// `write`), bins of a clean source held by each of the two threads that read it, and bins of the
// copy held while it is compared with the source. Above 1 GiB the maps that prove each cell is
// reached once (one bit per 8 bytes of the hive for each of the source's two walks and its cell
// starts) take most of the memory a compaction allows itself, so the windows shrink.
struct Windows {
  std::size_t write, source, compare;
};
Windows WindowsFor(std::uint64_t hiveBytes) {
  constexpr std::size_t kMiB = std::size_t{1} << 20;
  if (hiveBytes > (std::uint64_t{1} << 30)) return Windows{2 * kMiB, 4 * kMiB, 4 * kMiB};
  return Windows{4 * kMiB, 8 * kMiB, 8 * kMiB};
}

static Status WriteVerifiedCopy(const std::filesystem::path& in, const std::filesystem::path& out, bool compact,
                                const PrepareNewFile& prepare, CompactProgress* progressCounter = nullptr,
                                const StopFlag* stop = nullptr) {
  const Progress progress(progressCounter);
  const StopScope stopScope(stop);
  std::error_code ec;
  if (Taken(out, ec) || ec) {
    return Refuse(out.string() + ": the target already exists; it was left untouched");
  }
  const CompactHooks* hooks = g_hooks.load();
  try {
    TempFile temp;
    {
      // A clean hive is read through a window of bins; a dirty one too, its logs' pages laid over
      // its bins as they are read.
      RecoveryReport recovery;
      std::shared_ptr<HiveOverlay> overlay;
      if (Status s = RecoverHiveOverlay(in, overlay, recovery); !s) return s;
      std::error_code sizeError;
      const std::uint64_t fileBytes = overlay ? overlay->Size() : std::filesystem::file_size(in, sizeError);
      const Windows windows = WindowsFor(sizeError ? 0 : fileBytes);
      const Hive source = overlay ? Hive::Windowed(overlay, windows.source) : Hive::Windowed(in, windows.source);
      const std::uint64_t sourceSize = kBaseBlockSize + std::uint64_t{source.Base().binsSize};
      progress.At(0.2, sourceSize);
      // The copy holds about the source's live bytes: the estimate of its size until it is known.
      const std::uint64_t estimate = sourceSize - std::min<std::uint64_t>(sourceSize - kBaseBlockSize, source.FreeBytes());
      NewFile file;
      if (Status s = temp.Create(out, file); !s) return s;
      if (prepare) {
        if (Status s = prepare(temp.path()); !s) return s;
      }
      CopyOutput copy(file, hooks, [&](std::uint64_t written) {
        progress.At(0.2 + 0.5 * static_cast<double>(std::min(written, estimate)) / static_cast<double>(estimate), estimate);
      });
      // One rule set: what the checker would list as a fault is refused, never copied. The
      // checker walks the source on a second thread while this one builds the copy; its verdict
      // comes first, so a hive both find at fault is refused in the checker's words.
      {
        std::vector<std::string> problems;
        std::exception_ptr checkError, buildError;
        std::jthread soundness;
        if (compact) {
          soundness = std::jthread([&]() noexcept {
            const StopScope soundnessStop(stop);
            try {
              // A windowed hive serves one thread: the checker reads the file through its own.
              problems = CheckTree(source.WindowedTwin(windows.source));
            } catch (...) {
              checkError = std::current_exception();
            }
          });
        }
        try {
          if (compact) {
            WriteCompactCopy(source, copy, windows.write);
          } else {
            // The hive as it stands (its file, or its logs' pages laid over it), in pieces of the
            // window's size.
            std::shared_ptr<const ByteSource> bytes = overlay;
            if (!bytes) {
              auto original = std::make_shared<HostFile>();
              if (const int e = original->Open(in, HostFile::Access::kRead, HostFile::Disposition::kOpenExisting,
                                               HostFile::LastLink::kRefuse); e != 0) {
                source.Fail("cannot read the file: " + HostErrorText(e));
              }
              bytes = std::make_shared<FileBytes>(std::move(original), sourceSize);
            }
            std::vector<std::uint8_t> piece(static_cast<std::size_t>(std::min<std::uint64_t>(windows.write, sourceSize)));
            for (std::uint64_t at = 0; at < sourceSize; at += windows.write) {
              const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(windows.write, sourceSize - at));
              std::size_t got = 0;
              if (const int e = bytes->ReadAt(at, piece.data(), n, got); e != 0 || got != n) {
                source.Fail(e != 0 ? "cannot read the file: " + HostErrorText(e) : std::string("the file shrank while it was read"));
              }
              copy.Append(piece.data(), n);
            }
          }
        } catch (...) {
          buildError = std::current_exception();
        }
        if (soundness.joinable()) soundness.join();
        if (checkError) std::rethrow_exception(checkError);
        if (!problems.empty()) {
          std::string msg = in.string() + ": the hive is not sound, so it is not compacted:";
          for (std::size_t i = 0; i < problems.size() && i < 5; ++i) msg += "\n  " + problems[i];
          return Refuse(msg);
        }
        if (buildError) std::rethrow_exception(buildError);
      }
      const std::uint64_t size = copy.Size();
      progress.At(0.7, size);

      // The device works on the sync while the file is read back from the cache, twice. Where the
      // file has a second descriptor, the sync runs on it: a stop (or any failure) then lets the
      // sync go on alone instead of waiting for the device, and that descriptor is closed when
      // it ends.
      auto sync = std::make_shared<SyncState>();
      const bool ownDescriptor = file.Duplicate(sync->file) == 0;
      std::vector<std::string> diffs;
      std::exception_ptr checkFailed;
      bool same = false;
      {
        std::thread syncer([sync, ownDescriptor, &file]() noexcept {
          try {
            sync->ok = ownDescriptor ? sync->Run() : file.Sync(sync->error);
          } catch (...) {
            sync->ok = false;
          }
        });
        const SyncerEnd syncerEnd{syncer, ownDescriptor};
        if (hooks != nullptr && hooks->written != nullptr) hooks->written(temp.path());
        // Declared after everything it reads, so that it is joined before they go, on every path.
        std::jthread checker([&]() noexcept {
          const StopScope checkerStop(stop);
          try {
            try {
              const Hive written = Hive::Windowed(temp.path(), windows.compare);
              // The lockstep comparison reads every cell of the copy the source's tree reaches and
              // is bounded by that validated tree, so it needs no walk of its own over the copy.
              diffs = CompareTrees(source, written, 5);
            } catch (const FormatError& e) {
              diffs.push_back(std::string("the copy does not read back: ") + e.what());
            }
          } catch (...) {
            checkFailed = std::current_exception();
          }
        });
        same = ReadsBackAs(temp.path(), size, copy.Digest(), [&](std::uint64_t read) {
          progress.At(0.7 + 0.3 * static_cast<double>(read) / static_cast<double>(size), size);
        });
      }
      const bool synced = sync->ok;
      std::string error;
      if (!synced) error = sync->error.empty() ? std::string("forcing the file to disk failed") : sync->error;
      const bool written = synced && file.Close(error);

      if (checkFailed) std::rethrow_exception(checkFailed);
      // A file that does not hold what was written explains any difference found in it.
      if (!same) {
        return Refuse(out.string() + ": the copy on disk reads back different from what was written; nothing was written");
      }
      if (!diffs.empty()) {
        std::string msg = out.string() + ": the compacted copy does not match the source; nothing was written:";
        for (const auto& d : diffs) msg += "\n  " + d;
        return Refuse(msg);
      }
      if (!written) return Refuse(temp.path().string() + ": " + error + "; nothing was written");
    }
    // A stop that came while the copy was forced to disk is still in time: nothing is published.
    ThrowIfStopped();
    if (Status s = Publish(temp.path(), out); !s) return s;
    return {};
  } catch (const Stopped&) {
    Status s = Refuse(in.string() + ": stopped; nothing was written");
    s.stopped = true;
    return s;
  } catch (const CopyWriteError& e) {
    return Refuse(out.string() + ": " + e.what() + "; nothing was written");
  } catch (const FormatError& e) {
    return Refuse(e.what());
  } catch (const std::bad_alloc&) {
    return Refuse(in.string() + ": not enough memory to compact the hive");
  } catch (const std::exception& e) {
    return Refuse(in.string() + ": " + e.what());
  }
}

Status CompactHiveFile(const std::filesystem::path& in, const std::filesystem::path& out) {
  return WriteVerifiedCopy(in, out, true, nullptr);
}

Status CompactHiveFile(const std::filesystem::path& in, const std::filesystem::path& out,
                       const PrepareNewFile& prepare) {
  return WriteVerifiedCopy(in, out, true, prepare);
}

Status CompactHiveFile(const std::filesystem::path& in, const std::filesystem::path& out,
                       const PrepareNewFile& prepare, CompactProgress* progress) {
  return WriteVerifiedCopy(in, out, true, prepare, progress);
}

Status CompactHiveFile(const std::filesystem::path& in, const std::filesystem::path& out,
                       const PrepareNewFile& prepare, CompactProgress* progress, const StopFlag* stop) {
  return WriteVerifiedCopy(in, out, true, prepare, progress, stop);
}

Status WriteRecoveredHiveFile(const std::filesystem::path& in, const std::filesystem::path& out) {
  return WriteVerifiedCopy(in, out, false, nullptr);
}

}  // namespace hv::regf
