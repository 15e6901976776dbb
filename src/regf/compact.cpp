#include <fstream>
#include <system_error>

#include "compare.h"
#include "regf.h"
#include "writer.h"

namespace hv::regf {
namespace {

Status Refuse(std::string message) { return Status{false, std::move(message)}; }

// A temporary name beside the target that no file holds yet.
std::filesystem::path TempName(const std::filesystem::path& out) {
  for (int i = 0;; ++i) {
    std::filesystem::path p = out;
    p += ".hivora-tmp" + (i ? std::to_string(i) : std::string());
    std::error_code ec;
    if (!std::filesystem::exists(p, ec) && !ec) return p;
    if (i > 1000) return p;
  }
}

struct TempFile {
  std::filesystem::path path;
  bool keep = false;
  ~TempFile() {
    if (!keep && !path.empty()) {
      std::error_code ec;
      std::filesystem::remove(path, ec);
    }
  }
};

Status WriteFile(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  if (!f) return Refuse(path.string() + ": cannot create the file");
  f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  f.flush();
  if (!f) return Refuse(path.string() + ": writing failed (disk full?)");
  f.close();
  if (!f) return Refuse(path.string() + ": closing failed");
  return {};
}

// Gives the verified copy the target name without ever replacing a file: a hard link fails when
// the target exists. Where the file system has no hard links, a rename after a last check.
Status Publish(const std::filesystem::path& temp, const std::filesystem::path& out) {
  std::error_code ec;
  std::filesystem::create_hard_link(temp, out, ec);
  if (!ec) return {};
  if (std::filesystem::exists(out)) return Refuse(out.string() + ": the target already exists; it was left untouched");
  std::filesystem::rename(temp, out, ec);
  if (ec) return Refuse(out.string() + ": cannot move the verified copy into place: " + ec.message());
  return {};
}

}  // namespace

Status CompactHiveFile(const std::filesystem::path& in, const std::filesystem::path& out) {
  std::error_code ec;
  if (std::filesystem::exists(out, ec) || ec) {
    return Refuse(out.string() + ": the target already exists; it was left untouched");
  }
  try {
    std::vector<std::uint8_t> image;
    TempFile temp;
    temp.path = TempName(out);
    {
      const Hive source = Hive::Load(in);
      image = WriteCompactImage(source);
      if (Status s = WriteFile(temp.path, image); !s) return s;
      image.clear();
      image.shrink_to_fit();
      // The copy is verified as it lies on disk, against the source still in memory.
      std::vector<std::string> diffs;
      try {
        // The lockstep comparison reads every cell of the copy the source's tree reaches and is
        // bounded by that validated tree, so it needs no walk of its own over the copy.
        const Hive copy = Hive::Load(temp.path);
        diffs = CompareTrees(source, copy, 5);
      } catch (const FormatError& e) {
        diffs.push_back(std::string("the copy does not read back: ") + e.what());
      }
      if (!diffs.empty()) {
        std::string msg = out.string() + ": the compacted copy does not match the source; nothing was written:";
        for (const auto& d : diffs) msg += "\n  " + d;
        return Refuse(msg);
      }
    }
    if (Status s = Publish(temp.path, out); !s) return s;
    return {};
  } catch (const FormatError& e) {
    return Refuse(e.what());
  } catch (const std::bad_alloc&) {
    return Refuse(in.string() + ": not enough memory to compact the hive");
  } catch (const std::exception& e) {
    return Refuse(in.string() + ": " + e.what());
  }
}

}  // namespace hv::regf
