#include "hive.h"

#include <system_error>

#include "bin_cells.h"
#include "hex_text.h"
#include "hive_overlay.h"
#include "security_descriptor.h"
#include "stop.h"

namespace hv::regf {

void Hive::Fail(const std::string& what, std::uint32_t offset) const {
  std::string msg = name_ + ": " + what;
  if (offset != kNone) msg += " (cell " + Hex(offset) + ")";
  throw FormatError(msg);
}

Hive Hive::Load(const std::filesystem::path& file, LoadOptions options) {
  Hive h;
  h.name_ = file.string();
  std::string error;
  // Only the base block and the bins it declares are read: a file is often longer (Windows grows
  // it in steps, or it was padded or extended), and its tail is never looked at. A declared size
  // that no hive can have reads nothing more; Parse refuses it.
  const auto declared = [](const std::uint8_t* head, std::size_t size) -> std::uint64_t {
    if (size < kBaseBlockSize) return size;
    const std::uint32_t bins = Rd32(head + base::kBinsSize);
    if (bins == 0 || bins % kBinAlign != 0 || bins > 0x7FFFF000u) return size;
    return kBaseBlockSize + std::uint64_t{bins};
  };
  if (!h.loaded_.Open(file, kBaseBlockSize, declared, error)) h.Fail(error);
  h.fileSize_ = h.loaded_.FileSize();
  const std::size_t have = h.loaded_.Size();
  if (have < kBaseBlockSize) h.Fail("the file is too short to be a hive (" + std::to_string(have) + " bytes)");
  h.data_ = h.loaded_.Data();
  // A declared size beyond the bytes read is a truncation that Parse reports (or tolerates for
  // the checker).
  h.size_ = have;
  h.Parse(options);
  return h;
}

Hive Hive::FromBytes(std::vector<std::uint8_t> bytes, std::string name, LoadOptions options) {
  Hive h;
  h.name_ = std::move(name);
  h.fileSize_ = bytes.size();
  h.given_ = std::move(bytes);
  if (h.given_.size() < kBaseBlockSize) h.Fail("the image is too short to be a hive");
  std::uint64_t want = static_cast<std::uint64_t>(kBaseBlockSize) + Rd32(h.given_.data() + base::kBinsSize);
  if (want < h.given_.size()) h.given_.resize(static_cast<std::size_t>(want));
  h.data_ = h.given_.data();
  h.size_ = h.given_.size();
  h.Parse(options);
  return h;
}

Hive Hive::View(const std::uint8_t* data, std::size_t size, std::string name, LoadOptions options) {
  Hive h;
  h.name_ = std::move(name);
  h.fileSize_ = size;
  if (size < kBaseBlockSize) h.Fail("the image is too short to be a hive");
  const std::uint64_t want = static_cast<std::uint64_t>(kBaseBlockSize) + Rd32(data + base::kBinsSize);
  h.data_ = data;
  h.size_ = want < size ? static_cast<std::size_t>(want) : size;
  h.Parse(options);
  return h;
}

namespace {

// Opens a hive's file for reading as the reader opens it (a link in its place is refused).
std::shared_ptr<const ByteSource> OpenHiveFile(const std::filesystem::path& file, int& error) {
  auto f = std::make_shared<HostFile>();
  error = f->Open(file, HostFile::Access::kRead, HostFile::Disposition::kOpenExisting, HostFile::LastLink::kRefuse);
  const std::uint64_t size = error == 0 ? f->Size(error) : 0;
  if (error != 0) return nullptr;
  return std::make_shared<FileBytes>(std::move(f), size);
}

}  // namespace

std::shared_ptr<const ByteSource> Hive::OpenFile(const std::filesystem::path& file) const {
  int e = 0;
  auto source = OpenHiveFile(file, e);
  if (!source) Fail("cannot read the file: " + HostErrorText(e));
  return source;
}

Hive Hive::OnDemand(const std::filesystem::path& file) {
  Hive h;
  h.name_ = file.string();
  std::shared_ptr<const ByteSource> source = h.OpenFile(file);
  return OnDemandOver(std::move(h), std::move(source));
}

Hive Hive::OnDemand(std::shared_ptr<const HiveOverlay> overlay) {
  Hive h;
  h.name_ = overlay->Name();
  return OnDemandOver(std::move(h), std::move(overlay));
}

Hive Hive::OnDemandOver(Hive h, std::shared_ptr<const ByteSource> source) {
  h.onDemand_ = std::make_unique<OnDemandState>();
  OnDemandState& s = *h.onDemand_;
  s.source = std::move(source);
  h.fileSize_ = s.source->Size();
  s.baseBlock.resize(kBaseBlockSize);
  std::size_t got = 0;
  if (const int e = s.source->ReadAt(0, s.baseBlock.data(), kBaseBlockSize, got); e != 0) {
    h.Fail("cannot read the file: " + HostErrorText(e));
  }
  if (got < kBaseBlockSize) h.Fail("the file is too short to be a hive (" + std::to_string(got) + " bytes)");
  h.data_ = s.baseBlock.data();
  h.size_ = kBaseBlockSize;
  h.ParseBase(LoadOptions{});
  h.binsEnd_ = h.base_.binsSize;
  if (!h.IsAllocatedCell(h.base_.rootCell)) h.Fail("the root cell offset " + Hex(h.base_.rootCell) + " is not an allocated cell");
  return h;
}

const Hive::LoadedBin& Hive::BinHolding(std::uint32_t offset, std::uint32_t& start) const {
  OnDemandState& s = *onDemand_;
  std::lock_guard lock(s.mutex);
  auto it = s.bins.upper_bound(offset);
  if (it != s.bins.begin()) {
    --it;
    if (offset - it->first < it->second.bytes.size()) {
      start = it->first;
      return it->second;
    }
  }
  // The bin holding `offset` starts at the nearest 4 KiB boundary at or below it that carries a
  // bin header naming that very offset; bins larger than this bound are not looked for.
  constexpr std::uint32_t kLongestSearch = (64u << 20) / kBinAlign;
  std::uint8_t header[kBinHeaderSize];
  std::uint32_t at = offset / kBinAlign * kBinAlign;
  for (std::uint32_t step = 0; step < kLongestSearch; ++step, at -= kBinAlign) {
    ThrowIfStopped();
    std::size_t got = 0;
    const int e = s.source->ReadAt(kBaseBlockSize + std::uint64_t{at}, header, sizeof header, got);
    if (e != 0) Fail("cannot read the file: " + HostErrorText(e));
    if (got < sizeof header) {
      Fail("the file is truncated: its base block declares " + std::to_string(base_.binsSize) +
           " bytes of hive bins, and the bin at " + Hex(at) + " is missing");
    }
    if (HasSignature(header + bin::kSignature, "hbin") && Rd32(header + bin::kOffset) == at) {
      const std::uint32_t size = Rd32(header + bin::kSize);
      if (size < kBinAlign || size % kBinAlign != 0 || size > binsEnd_ - at) {
        Fail("hive bin at " + Hex(at) + " has an invalid size " + Hex(size));
      }
      if (offset - at >= size) break;
      LoadedBin bin;
      bin.bytes.resize(size);
      const int re = s.source->ReadAt(kBaseBlockSize + std::uint64_t{at}, bin.bytes.data(), size, got);
      if (re != 0) Fail("cannot read the file: " + HostErrorText(re));
      if (got < size) Fail("the file is truncated inside the hive bin at " + Hex(at));
      bin.cellStarts.assign(size / 512 + 1, 0);
      const std::string problem = ScanCells(bin.bytes.data(), at, size, [&](std::uint32_t c, std::int32_t raw) {
        if (raw < 0) bin.cellStarts[(c - at) / 512] |= std::uint64_t{1} << (((c - at) / 8) % 64);
      });
      if (!problem.empty()) Fail(problem);
      start = at;
      return s.bins.emplace(at, std::move(bin)).first->second;
    }
    if (at == 0) break;
  }
  Fail("no hive bin holds the offset " + Hex(offset));
}

std::uint64_t Hive::BinBytesRead() const {
  if (!onDemand_) return 0;
  std::lock_guard lock(onDemand_->mutex);
  std::uint64_t n = 0;
  for (const auto& [start, bin] : onDemand_->bins) n += bin.bytes.size();
  return n;
}

bool Hive::OnDemandCellStart(std::uint32_t offset) const {
  std::uint32_t start = 0;
  const LoadedBin& bin = BinHolding(offset, start);
  const std::uint32_t in = offset - start;
  return (bin.cellStarts[in / 512] >> ((in / 8) % 64)) & 1u;
}

const std::uint8_t* Hive::OnDemandAt(std::uint32_t offset) const {
  std::uint32_t start = 0;
  const LoadedBin& bin = BinHolding(offset, start);
  return bin.bytes.data() + (offset - start);
}

void Hive::Parse(LoadOptions options) {
  ParseBase(options);
  ParseBins(options);
}

void Hive::ParseBase(LoadOptions options) {
  const std::uint8_t* b = data_;
  if (!HasSignature(b + base::kSignature, "regf")) Fail("not a hive file (no \"regf\" signature)");
  base_.primarySeq = Rd32(b + base::kPrimarySeq);
  base_.secondarySeq = Rd32(b + base::kSecondarySeq);
  base_.lastWritten = Rd64(b + base::kLastWritten);
  base_.major = Rd32(b + base::kMajor);
  base_.minor = Rd32(b + base::kMinor);
  base_.fileType = Rd32(b + base::kFileType);
  base_.format = Rd32(b + base::kFormat);
  base_.rootCell = Rd32(b + base::kRootCell);
  base_.binsSize = Rd32(b + base::kBinsSize);
  base_.clustering = Rd32(b + base::kClustering);
  base_.storedChecksum = Rd32(b + base::kChecksum);
  base_.computedChecksum = BaseBlockChecksum(b);
  if (!options.allowDirty) {
    if (base_.primarySeq != base_.secondarySeq) {
      Fail("the hive is dirty (primary sequence number " + std::to_string(base_.primarySeq) +
           ", secondary " + std::to_string(base_.secondarySeq) +
           "); its transaction logs must be replayed before it can be read");
    }
    if (base_.storedChecksum != base_.computedChecksum) {
      Fail("the base block checksum is wrong (stored " + Hex(base_.storedChecksum) + ", computed " +
           Hex(base_.computedChecksum) + "); the hive is dirty or damaged");
    }
  }
  if (base_.major != 1 || base_.minor < 2 || base_.minor > 6) {
    Fail("unsupported format version " + std::to_string(base_.major) + "." + std::to_string(base_.minor));
  }
  if (base_.fileType != 0) Fail("not a primary hive file (file type " + std::to_string(base_.fileType) + ")");
  if (base_.format != 1) Fail("unknown file format " + std::to_string(base_.format));
  if (base_.binsSize == 0 || base_.binsSize % kBinAlign != 0 || base_.binsSize > 0x7FFFF000u) {
    Fail("invalid hive bins size " + std::to_string(base_.binsSize));
  }
}

void Hive::ParseBins(LoadOptions options) {
  const std::uint64_t have = size_ - kBaseBlockSize;
  if (have < base_.binsSize) {
    const std::string what = "the file is truncated: its base block declares " +
                             std::to_string(base_.binsSize) + " bytes of hive bins but only " +
                             std::to_string(have) + " follow";
    if (!options.tolerateBins) Fail(what);
    binProblem_ = what;
  }
  const std::uint32_t limit = static_cast<std::uint32_t>(have < base_.binsSize ? have : base_.binsSize);
  cellStarts_ = std::make_shared<std::vector<std::uint64_t>>(limit / 512 + 1, 0);

  std::uint32_t off = 0;
  while (off < limit) {
    ThrowIfStopped();
    std::string problem;
    const std::uint8_t* p = At(off);
    std::uint32_t binSize = 0;
    if (limit - off < kBinHeaderSize) {
      problem = "hive bin at " + Hex(off) + " is cut short";
    } else if (!HasSignature(p + bin::kSignature, "hbin")) {
      problem = "no hive bin signature at " + Hex(off) + " (the bin chain is broken)";
    } else if (Rd32(p + bin::kOffset) != off) {
      problem = "hive bin at " + Hex(off) + " claims offset " + Hex(Rd32(p + bin::kOffset));
    } else {
      binSize = Rd32(p + bin::kSize);
      if (binSize < kBinAlign || binSize % kBinAlign != 0 || binSize > limit - off) {
        problem = "hive bin at " + Hex(off) + " has an invalid size " + Hex(binSize);
      }
    }
    // Cells are checked into a scratch count first so that a broken bin is dropped as a whole.
    std::uint64_t binFree = 0;
    std::uint32_t binFreeCells = 0, binAlloc = 0;
    if (problem.empty()) {
      problem = ScanCells(At(off), off, binSize, [&](std::uint32_t c, std::int32_t raw) {
        if (raw < 0) {
          (*cellStarts_)[c / 512] |= std::uint64_t{1} << ((c / 8) % 64);
          ++binAlloc;
        } else {
          binFree += static_cast<std::uint64_t>(raw);
          ++binFreeCells;
        }
      });
    }
    if (!problem.empty()) {
      if (!options.tolerateBins) Fail(problem);
      if (binProblem_.empty()) binProblem_ = problem;
      // Forget the cell starts recorded for the broken bin.
      for (std::uint32_t c = off; c < limit && c < off + (binSize ? binSize : kBinAlign); c += 8) {
        (*cellStarts_)[c / 512] &= ~(std::uint64_t{1} << ((c / 8) % 64));
      }
      break;
    }
    freeBytes_ += binFree;
    freeCells_ += binFreeCells;
    allocatedCells_ += binAlloc;
    ++binCount_;
    off += binSize;
  }
  binsEnd_ = off;
  if (!IsAllocatedCell(base_.rootCell)) Fail("the root cell offset " + Hex(base_.rootCell) + " is not an allocated cell");
}

void Hive::FailNotACell(std::uint32_t offset, const char* what) const {
  Fail(std::string(what) + " points to " + Hex(offset) + ", which is not an allocated cell");
}

KeyNode Hive::Key(std::uint32_t offset) const {
  KeyNode k;
  k.name = KeyName(offset);  // validates the cell, its signature and the name
  const std::uint8_t* p = Cell(offset, "a key reference").data;
  k.offset = offset;
  k.flags = Rd16(p + nk::kFlags);
  k.timestamp = Rd64(p + nk::kTimestamp);
  k.accessBits = Rd32(p + nk::kAccessBits);
  k.parent = Rd32(p + nk::kParent);
  k.subkeyCount = Rd32(p + nk::kSubkeyCount);
  k.subkeyList = Rd32(p + nk::kSubkeyList);
  k.valueCount = Rd32(p + nk::kValueCount);
  k.valueList = Rd32(p + nk::kValueList);
  k.security = Rd32(p + nk::kSecurity);
  k.classCell = Rd32(p + nk::kClass);
  k.maxNameField = Rd32(p + nk::kMaxNameLen);
  k.maxClassLen = Rd32(p + nk::kMaxClassLen);
  k.maxValueNameLen = Rd32(p + nk::kMaxValueNameLen);
  k.maxValueDataLen = Rd32(p + nk::kMaxValueDataLen);
  k.classLen = Rd16(p + nk::kClassLen);
  return k;
}

NameRef Hive::KeyName(std::uint32_t offset) const {
  const Span c = Cell(offset, "a key reference");
  if (c.size < kNkFixed || !HasSignature(c.data + nk::kSignature, "nk")) Fail("expected a key node", offset);
  const std::uint16_t flags = Rd16(c.data + nk::kFlags);
  const std::uint16_t nameLen = Rd16(c.data + nk::kNameLen);
  if (nameLen == 0) Fail("key node with an empty name", offset);
  if (kNkFixed + nameLen > c.size) Fail("key name runs past its cell", offset);
  const bool comp = (flags & kKeyCompName) != 0;
  if (!comp && nameLen % 2 != 0) Fail("UTF-16 key name of odd length", offset);
  return NameRef{c.data + nk::kName, nameLen, comp};
}

ValueRec Hive::Value(std::uint32_t offset) const {
  const Span c = Cell(offset, "a value list entry");
  if (c.size < kVkFixed || !HasSignature(c.data + vk::kSignature, "vk")) Fail("expected a value record", offset);
  const std::uint8_t* p = c.data;
  ValueRec v;
  v.offset = offset;
  const std::uint16_t nameLen = Rd16(p + vk::kNameLen);
  v.rawSize = Rd32(p + vk::kDataSize);
  v.dataOffset = Rd32(p + vk::kDataOffset);
  v.type = Rd32(p + vk::kType);
  v.flags = Rd16(p + vk::kFlags);
  if (kVkFixed + nameLen > c.size) Fail("value name runs past its cell", offset);
  const bool comp = (v.flags & kValueCompName) != 0;
  if (!comp && nameLen % 2 != 0) Fail("UTF-16 value name of odd length", offset);
  v.name = NameRef{p + vk::kName, nameLen, comp};
  return v;
}

void Hive::AppendSubkeys(const KeyNode& key, std::vector<std::uint32_t>& out) const {
  if (key.subkeyCount == 0) return;
  const std::size_t start = out.size();
  const Span list = Cell(key.subkeyList, "a key's subkey list");
  if (list.size < list::kElements) Fail("subkey list too short", key.subkeyList);
  auto appendLeaf = [&](const Span& leaf, std::uint32_t at) {
    const std::uint8_t* p = leaf.data;
    const std::uint32_t n = Rd16(p + list::kCount);
    const bool li = HasSignature(p, "li");
    if (!li && !HasSignature(p, "lf") && !HasSignature(p, "lh")) Fail("expected a subkey list (li, lf or lh)", at);
    const std::uint32_t stride = li ? list::kOffsetElement : list::kHashElement;
    if (list::kElements + static_cast<std::uint64_t>(n) * stride > leaf.size) Fail("subkey list count runs past its cell", at);
    if (out.size() - start + n > key.subkeyCount) {
      Fail("subkey lists hold more entries than the key's count of " + std::to_string(key.subkeyCount), key.offset);
    }
    for (std::uint32_t i = 0; i < n; ++i) out.push_back(Rd32(p + list::kElements + i * stride));
  };
  if (HasSignature(list.data, "ri")) {
    const std::uint32_t n = Rd16(list.data + list::kCount);
    if (list::kElements + static_cast<std::uint64_t>(n) * list::kOffsetElement > list.size) Fail("index root count runs past its cell", key.subkeyList);
    // Taken out of the cell first: a windowed hive may let the index root go while its leaves
    // are read.
    std::vector<std::uint32_t> leaves(n);
    for (std::uint32_t i = 0; i < n; ++i) leaves[i] = Rd32(list.data + list::kElements + i * list::kOffsetElement);
    for (const std::uint32_t at : leaves) {
      const Span leaf = Cell(at, "an index root entry");
      if (leaf.size < list::kElements) Fail("subkey list too short", at);
      if (HasSignature(leaf.data, "ri")) Fail("an index root points to another index root", at);
      appendLeaf(leaf, at);
    }
  } else {
    appendLeaf(list, key.subkeyList);
  }
  if (out.size() - start != key.subkeyCount) {
    Fail("the key counts " + std::to_string(key.subkeyCount) + " subkeys but its lists hold " +
         std::to_string(out.size() - start), key.offset);
  }
}

void Hive::AppendValues(const KeyNode& key, std::vector<std::uint32_t>& out) const {
  if (key.valueCount == 0) return;
  const Span list = Cell(key.valueList, "a key's value list");
  if (static_cast<std::uint64_t>(key.valueCount) * valuelist::kElement > list.size) {
    Fail("the key counts " + std::to_string(key.valueCount) + " values but its value list holds fewer", key.offset);
  }
  for (std::uint32_t i = 0; i < key.valueCount; ++i) out.push_back(Rd32(list.data + i * valuelist::kElement));
}

bool Hive::DirectData(const ValueRec& v, std::uint8_t (&inlineBytes)[4], Span& out) const {
  const std::uint32_t size = v.Size();
  if (v.Inline()) {
    if (size > vk::kInlineMax) Fail("value data of " + std::to_string(size) + " bytes marked as stored in the record", v.offset);
    Wr32(inlineBytes, v.dataOffset);
    out = Span{inlineBytes, size};
    return true;
  }
  if (size == 0) {
    out = Span{};
    return true;
  }
  const Span cell = Cell(v.dataOffset, "a value's data");
  if (UsesBigData(size) && cell.size >= db::kSize && HasSignature(cell.data, "db")) return false;
  if (cell.size < size) Fail("value data of " + std::to_string(size) + " bytes runs past its cell", v.dataOffset);
  out = Span{cell.data, size};
  return true;
}

void Hive::ReadData(const ValueRec& v, std::vector<std::uint8_t>& out) const {
  out.clear();
  std::uint8_t inlineBytes[4];
  Span direct;
  if (DirectData(v, inlineBytes, direct)) {
    out.assign(direct.data, direct.data + direct.size);
    return;
  }
  const std::uint32_t size = v.Size();
  const Span cell = Cell(v.dataOffset, "a value's data");
  const std::uint32_t segments = Rd16(cell.data + db::kSegmentCount);
  const std::uint32_t listAt = Rd32(cell.data + db::kSegmentList);
  // Each byte of data lies in a cell of its own in a sound hive; a reader that has not walked the
  // tree (an on-demand hive) must not let repeated segments assemble more than the hive holds.
  if (size > base_.binsSize) Fail("value data of " + std::to_string(size) + " bytes is larger than the hive", v.dataOffset);
  const std::uint64_t needed = (static_cast<std::uint64_t>(size) + kBigDataSegment - 1) / kBigDataSegment;
  if (segments < needed) Fail("big data has too few segments for its size", v.dataOffset);
  const Span list = Cell(listAt, "a big data segment list");
  if (static_cast<std::uint64_t>(segments) * db::kSegmentElement > list.size) Fail("big data segment list too short", listAt);
  // Taken out of the cell first: a windowed hive may let the list go while segments are read.
  std::vector<std::uint32_t> parts(segments);
  for (std::uint32_t i = 0; i < segments; ++i) parts[i] = Rd32(list.data + i * db::kSegmentElement);
  out.reserve(size);
  std::uint32_t left = size;
  for (std::uint32_t i = 0; i < segments && left > 0; ++i) {
    const std::uint32_t at = parts[i];
    const Span seg = Cell(at, "a big data segment");
    const std::uint32_t take = left < kBigDataSegment ? left : kBigDataSegment;
    if (seg.size < take) Fail("big data segment shorter than its share of the data", at);
    out.insert(out.end(), seg.data, seg.data + take);
    left -= take;
  }
}

Span Hive::SecurityDescriptor(std::uint32_t offset) const {
  const Span c = Cell(offset, "a key's security reference");
  if (c.size < kSkFixed || !HasSignature(c.data + sk::kSignature, "sk")) Fail("expected a security cell", offset);
  const std::uint32_t n = Rd32(c.data + sk::kDescriptorSize);
  if (n > c.size - kSkFixed) Fail("security descriptor runs past its cell", offset);
  if (std::string why = SecurityDescriptorProblem(c.data + sk::kDescriptor, n); !why.empty()) {
    Fail("invalid security descriptor: " + why, offset);
  }
  return Span{c.data + sk::kDescriptor, n};
}

Span Hive::ClassName(const KeyNode& key) const {
  if (key.classLen == 0) return {};
  const Span c = Cell(key.classCell, "a key's class name");
  if (c.size < key.classLen) Fail("class name runs past its cell", key.classCell);
  return Span{c.data, key.classLen};
}

}  // namespace hv::regf
