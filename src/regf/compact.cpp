#include <algorithm>
#include <atomic>
#include <cstring>
#include <exception>
#include <functional>
#include <memory>
#include <system_error>
#include <thread>

#include "checker.h"
#include "compact_hooks.h"
#include "compare.h"
#include "file_view.h"
#include "host_file.h"
#include "recovery.h"
#include "regf.h"
#include "stop.h"
#include "writer.h"

namespace hv::regf {
namespace {

std::atomic<const CompactHooks*> g_hooks{nullptr};

Status Refuse(std::string message) { return Status{false, std::move(message)}; }

struct TempFile {
  std::filesystem::path path;
  ~TempFile() {
    if (!path.empty()) {
      std::error_code ec;
      std::filesystem::remove(path, ec);
    }
  }
};

// True when `path` names anything at all, a dangling symbolic link included.
bool Taken(const std::filesystem::path& path, std::error_code& ec) {
  const auto status = std::filesystem::symlink_status(path, ec);
  if (ec == std::errc::no_such_file_or_directory) ec.clear();
  return !ec && status.type() != std::filesystem::file_type::not_found;
}

// The temporary name of the copy, in out's folder: short ("~hv1.tmp", as every file system
// takes) and never longer than out's own name, so that it fits wherever out fits, however
// long out's name or path is.
std::filesystem::path TemporaryName(const std::filesystem::path& out, int attempt) {
  const std::size_t room = out.filename().native().size();
  std::string name = "~hv" + std::to_string(attempt) + ".tmp";
  if (name.size() > room) name = "~" + std::to_string(attempt);
  if (name.size() > room) name.resize(room);
  return out.parent_path() / name;
}

// Creates a file beside the target under a temporary name that no file holds.
Status CreateTemp(const std::filesystem::path& out, NewFile& file, TempFile& temp) {
  for (int i = 1; i <= 1000; ++i) {
    const std::filesystem::path p = TemporaryName(out, i);
    bool exists = false;
    std::string error;
    if (file.Create(p, exists, error)) {
      temp.path = p;
      return {};
    }
    if (!exists) return Refuse(p.string() + ": " + error);
  }
  return Refuse(out.string() + ": no temporary name beside the target is free");
}

// True when the file holds exactly `image`: read back in pieces, so that memory stays at the
// image's size however large the hive.
bool HoldsExactly(const std::filesystem::path& path, const std::vector<std::uint8_t>& image,
                  const std::function<void(std::size_t)>& read) {
  HostFile f;
  if (f.Open(path, HostFile::Access::kRead, HostFile::Disposition::kOpenExisting, HostFile::LastLink::kRefuse) != 0) return false;
  constexpr std::size_t kPiece = std::size_t{1} << 20;
  std::unique_ptr<std::uint8_t[]> piece(new std::uint8_t[kPiece]);
  for (std::size_t at = 0; at < image.size();) {
    ThrowIfStopped();
    const std::size_t want = std::min(kPiece, image.size() - at);
    std::size_t got = 0;
    if (f.Read(piece.get(), want, got) != 0 || got != want || std::memcmp(piece.get(), image.data() + at, want) != 0) {
      return false;
    }
    at += want;
    read(at);
  }
  std::uint8_t more = 0;
  std::size_t extra = 0;
  return f.Read(&more, 1, extra) == 0 && extra == 0;
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

// The copy on disk is verified in two halves that together cover it: the image in memory is
// parsed by the reader with all its checks and its tree compared with the source's (on a second
// thread), while this thread writes the image, forces it to disk and reads it back byte for
// byte. Equal bytes and a verified image make a verified file. The source is the hive as Windows
// would load it: a dirty one recovered from its logs.
// Progress, as the share of the copy's size reached: reading the source is the first fifth,
// building the image the second, writing it the next three tenths, reading it back the rest.
class Progress {
 public:
  explicit Progress(CompactProgress* counter) : counter_(counter) {}
  void At(double share, std::size_t size) const {
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
      const Hive source = LoadHive(in);
      progress.At(0.2, source.Size());
      // One rule set: what the checker would list as a fault is refused, never copied. The
      // checker walks the source on a second thread while this one builds the copy; its verdict
      // comes first, so a hive both find at fault is refused in the checker's words.
      std::vector<std::uint8_t> image;
      {
        std::vector<std::string> problems;
        std::exception_ptr checkError, buildError;
        std::jthread soundness;
        if (compact) {
          soundness = std::jthread([&]() noexcept {
            const StopScope soundnessStop(stop);
            try {
              problems = CheckTree(source);
            } catch (...) {
              checkError = std::current_exception();
            }
          });
        }
        try {
          image = compact ? WriteCompactImage(source)
                          : std::vector<std::uint8_t>(source.Data(), source.Data() + source.Size());
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
      progress.At(0.4, image.size());
      if (hooks != nullptr && hooks->image != nullptr) hooks->image(image);
      NewFile file;
      if (Status s = CreateTemp(out, file, temp); !s) return s;
      if (prepare) {
        if (Status s = prepare(temp.path); !s) return s;
      }

      std::vector<std::string> diffs;
      std::exception_ptr checkFailed;
      const std::string imageName = temp.path.string();
      // Declared after everything it reads, so that it is joined before they go, on every path.
      std::jthread checker([&]() noexcept {
        const StopScope checkerStop(stop);
        try {
          try {
            const Hive copy = Hive::View(image.data(), image.size(), imageName);
            // The lockstep comparison reads every cell of the copy the source's tree reaches and
            // is bounded by that validated tree, so it needs no walk of its own over the copy.
            diffs = CompareTrees(source, copy, 5);
          } catch (const FormatError& e) {
            diffs.push_back(std::string("the copy does not read back: ") + e.what());
          }
        } catch (...) {
          checkFailed = std::current_exception();
        }
      });

      std::string error;
      bool written = true;
      constexpr std::size_t kStep = std::size_t{4} << 20;
      for (std::size_t at = 0; written && at < image.size(); at += kStep) {
        ThrowIfStopped();
        written = file.Write(image.data() + at, std::min(kStep, image.size() - at), error);
        progress.At(0.4 + 0.3 * static_cast<double>(std::min(at + kStep, image.size())) /
                              static_cast<double>(image.size()),
                    image.size());
      }
      bool same = false;
      if (written) {
        // The device works on the sync while this thread reads the file back from the cache.
        bool synced = false;
        std::string syncError;
        {
          std::jthread syncer([&]() noexcept {
            try {
              synced = file.Sync(syncError);
            } catch (...) {
              synced = false;
            }
          });
          if (hooks != nullptr && hooks->written != nullptr) hooks->written(temp.path);
          same = HoldsExactly(temp.path, image, [&](std::size_t read) {
            progress.At(0.7 + 0.3 * static_cast<double>(read) / static_cast<double>(image.size()), image.size());
          });
        }
        if (!synced) error = syncError.empty() ? std::string("forcing the file to disk failed") : syncError;
        written = synced && file.Close(error);
      }
      checker.join();

      if (checkFailed) std::rethrow_exception(checkFailed);
      if (!diffs.empty()) {
        std::string msg = out.string() + ": the compacted copy does not match the source; nothing was written:";
        for (const auto& d : diffs) msg += "\n  " + d;
        return Refuse(msg);
      }
      if (!written) return Refuse(temp.path.string() + ": " + error + "; nothing was written");
      if (!same) {
        return Refuse(out.string() + ": the copy on disk reads back different from the verified image; nothing was written");
      }
    }
    // A stop that came while the copy was forced to disk is still in time: nothing is published.
    ThrowIfStopped();
    if (Status s = Publish(temp.path, out); !s) return s;
    return {};
  } catch (const Stopped&) {
    Status s = Refuse(in.string() + ": stopped; nothing was written");
    s.stopped = true;
    return s;
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
