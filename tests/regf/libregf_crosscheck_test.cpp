// An independent reader (libregf) sees the same tree in each source and its compacted copy:
// key names, classes, timestamps, security descriptors, value names, types and data. Each file
// is read by libregf and by this engine's reader in lockstep, so every value libregf returns is
// checked byte for byte against the stored bytes of that very file.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

#include "regf/hive.h"
#include "regf/regf.h"
#include "regf_test_util.h"

// The few libregf entry points used, declared here: the packaged libregf.h pulls in libbfio
// headers that are not always installed.
extern "C" {
struct libregf_file;
struct libregf_key;
struct libregf_value;
struct libregf_error;
using libregf_file_t = libregf_file;
using libregf_key_t = libregf_key;
using libregf_value_t = libregf_value;
using libregf_error_t = libregf_error;
int libregf_file_initialize(libregf_file_t** file, libregf_error_t** error);
int libregf_file_free(libregf_file_t** file, libregf_error_t** error);
int libregf_file_open(libregf_file_t* file, const char* filename, int access_flags, libregf_error_t** error);
int libregf_file_close(libregf_file_t* file, libregf_error_t** error);
int libregf_file_get_root_key(libregf_file_t* file, libregf_key_t** key, libregf_error_t** error);
int libregf_key_free(libregf_key_t** key, libregf_error_t** error);
int libregf_key_get_utf8_name_size(libregf_key_t* key, size_t* size, libregf_error_t** error);
int libregf_key_get_utf8_name(libregf_key_t* key, uint8_t* s, size_t size, libregf_error_t** error);
int libregf_key_get_class_name_size(libregf_key_t* key, size_t* size, libregf_error_t** error);
int libregf_key_get_class_name(libregf_key_t* key, uint8_t* s, size_t size, libregf_error_t** error);
int libregf_key_get_last_written_time(libregf_key_t* key, uint64_t* filetime, libregf_error_t** error);
int libregf_key_get_security_descriptor_size(libregf_key_t* key, size_t* size, libregf_error_t** error);
int libregf_key_get_security_descriptor(libregf_key_t* key, uint8_t* s, size_t size, libregf_error_t** error);
int libregf_key_get_number_of_values(libregf_key_t* key, int* n, libregf_error_t** error);
int libregf_key_get_value(libregf_key_t* key, int index, libregf_value_t** value, libregf_error_t** error);
int libregf_key_get_number_of_sub_keys(libregf_key_t* key, int* n, libregf_error_t** error);
int libregf_key_get_sub_key(libregf_key_t* key, int index, libregf_key_t** sub, libregf_error_t** error);
int libregf_value_free(libregf_value_t** value, libregf_error_t** error);
int libregf_value_get_utf8_name_size(libregf_value_t* value, size_t* size, libregf_error_t** error);
int libregf_value_get_utf8_name(libregf_value_t* value, uint8_t* s, size_t size, libregf_error_t** error);
int libregf_value_get_value_type(libregf_value_t* value, uint32_t* type, libregf_error_t** error);
int libregf_value_get_value_data_size(libregf_value_t* value, size_t* size, libregf_error_t** error);
int libregf_value_get_value_data(libregf_value_t* value, uint8_t* s, size_t size, libregf_error_t** error);
void libregf_error_free(libregf_error_t** error);
}
constexpr int LIBREGF_OPEN_READ = 1;

namespace hv::test {
namespace {

using regf::Hive;

// libregf's reading of string data (REG_SZ, REG_EXPAND_SZ held in one cell): it ignores the
// stored data size whenever the cell holds a UTF-16 NUL at an even offset and instead returns
// the cell up to and including the first such NUL, or the whole cell when there is none,
// provided that reads as sane UTF-16. The stored size is what Windows returns, so libregf hands
// out a stored string cut short at an embedded NUL, or lengthened by the bytes that follow it
// in the cell's padding. Those bytes differ between a source (old garbage) and a compacted copy
// (zeros), e.g. 57 GUID strings of NTUSER-WSL.DAT stored without their terminator. This is the
// length libregf computes from a cell.
std::size_t LibregfStringLength(const regf::Span& cell) {
  std::size_t n = 0;
  while (n + 2 <= cell.size) {
    const bool nul = cell.data[n] == 0 && cell.data[n + 1] == 0;
    n += 2;
    if (nul) break;
  }
  return n;
}

// libregf's reading of data held in the record itself (bit 31 of the size set): it takes the
// last `size` bytes of the 4-byte field, where Windows takes the first (a REG_BINARY
// SchemeLangID stored as 09 04 00 00 is LANGID 0x0409, which libregf returns as 00 00); and a
// string of 1 or 3 bytes comes back one byte longer with that byte zeroed.
std::string LibregfInlineData(const regf::ValueRec& v) {
  std::uint8_t field[4];
  regf::Wr32(field, v.dataOffset);
  std::size_t n = v.Size();
  const bool padded = (v.type == 1 || v.type == 2) && (n == 1 || n == 3);
  if (padded) ++n;
  std::string out(reinterpret_cast<const char*>(field) + 4 - n, n);
  if (padded) out[n - 1] = '\0';
  return out;
}

class Dumper {
 public:
  // Appends one line per key and value to `out`. Returns false with `error` set when libregf
  // cannot read the file; a value libregf reads differently from this engine fails the test.
  bool Dump(const std::filesystem::path& file, std::vector<std::string>& out, std::string& error) {
    hive_ = std::make_unique<Hive>(Hive::Load(file));
    quirks = 0;
    libregf_file_t* f = nullptr;
    libregf_error_t* err = nullptr;
    bool ok = libregf_file_initialize(&f, &err) == 1 && libregf_file_open(f, file.string().c_str(), LIBREGF_OPEN_READ, &err) == 1;
    libregf_key_t* root = nullptr;
    ok = ok && libregf_file_get_root_key(f, &root, &err) == 1;
    if (ok) ok = Key(root, hive_->Key(hive_->Base().rootCell), "", out, 0);
    if (!ok) error = "libregf cannot read " + file.string();
    if (root != nullptr) libregf_key_free(&root, nullptr);
    if (f != nullptr) {
      libregf_file_close(f, nullptr);
      libregf_file_free(&f, nullptr);
    }
    if (err != nullptr) libregf_error_free(&err);
    return ok;
  }
  std::size_t quirks = 0;  // values libregf read by one of its own rules above

 private:
  template <class Size, class Get, class Obj>
  static std::string Bytes(Obj* o, Size size, Get get) {
    std::size_t n = 0;
    if (size(o, &n, nullptr) != 1 || n == 0) return "";
    std::string s(n, '\0');
    if (get(o, reinterpret_cast<std::uint8_t*>(s.data()), n, nullptr) != 1) return "<error>";
    return s;
  }

  // The value's stored bytes, after checking that libregf's reading `theirs` is exactly them or
  // exactly what its string length rule makes of the stored cell.
  std::string ValueData(const regf::ValueRec& v, const std::string& theirs, const std::string& where) {
    std::vector<std::uint8_t> data;
    hive_->ReadData(v, data);
    const std::string ours(data.begin(), data.end());
    if (theirs == ours) return ours;
    if (v.Inline() && v.Size() <= 4 && theirs == LibregfInlineData(v)) {
      ++quirks;
      return ours;
    }
    const bool oneCellString = (v.type == 1 || v.type == 2) && !v.Inline() && v.Size() > 0 && !hive_->UsesBigData(v.Size());
    if (oneCellString) {
      const regf::Span cell = hive_->Cell(v.dataOffset, "value data");
      const std::size_t n = LibregfStringLength(cell);
      if (theirs.size() == n && theirs.compare(0, n, reinterpret_cast<const char*>(cell.data), n) == 0) {
        ++quirks;
        return ours;
      }
    }
    ADD_FAILURE() << where << ": libregf reads " << theirs.size() << " bytes, the stored data has " << ours.size();
    return ours;
  }

  bool Key(libregf_key_t* key, const regf::KeyNode& node, const std::string& path, std::vector<std::string>& out, int depth) {
    if (depth > 600) return false;
    const std::string name = Bytes(key, libregf_key_get_utf8_name_size, libregf_key_get_utf8_name);
    const std::string here = path + "\\" + name;
    std::uint64_t ts = 0;
    libregf_key_get_last_written_time(key, &ts, nullptr);
    out.push_back("K " + here + " t=" + std::to_string(ts) +
                  " c=" + Bytes(key, libregf_key_get_class_name_size, libregf_key_get_class_name) +
                  " s=" + Bytes(key, libregf_key_get_security_descriptor_size, libregf_key_get_security_descriptor));
    std::vector<std::uint32_t> valueOffsets, subkeyOffsets;
    hive_->AppendValues(node, valueOffsets);
    hive_->AppendSubkeys(node, subkeyOffsets);
    int values = 0;
    if (libregf_key_get_number_of_values(key, &values, nullptr) != 1) return false;
    if (static_cast<std::size_t>(values) != valueOffsets.size()) {
      ADD_FAILURE() << here << ": libregf sees " << values << " values, the key holds " << valueOffsets.size();
      return false;
    }
    for (int i = 0; i < values; ++i) {
      libregf_value_t* v = nullptr;
      if (libregf_key_get_value(key, i, &v, nullptr) != 1) return false;
      std::uint32_t type = 0;
      libregf_value_get_value_type(v, &type, nullptr);
      const std::string valueName = Bytes(v, libregf_value_get_utf8_name_size, libregf_value_get_utf8_name);
      const std::string theirs = Bytes(v, libregf_value_get_value_data_size, libregf_value_get_value_data);
      libregf_value_free(&v, nullptr);
      const regf::ValueRec rec = hive_->Value(valueOffsets[static_cast<std::size_t>(i)]);
      if (rec.type != type) ADD_FAILURE() << here << " value " << i << ": libregf reads type " << type << ", stored " << rec.type;
      out.push_back("V " + valueName + " " + std::to_string(type) + " " + ValueData(rec, theirs, here + " value " + valueName));
    }
    int subkeys = 0;
    if (libregf_key_get_number_of_sub_keys(key, &subkeys, nullptr) != 1) return false;
    if (static_cast<std::size_t>(subkeys) != subkeyOffsets.size()) {
      ADD_FAILURE() << here << ": libregf sees " << subkeys << " subkeys, the key holds " << subkeyOffsets.size();
      return false;
    }
    for (int i = 0; i < subkeys; ++i) {
      libregf_key_t* sub = nullptr;
      if (libregf_key_get_sub_key(key, i, &sub, nullptr) != 1) return false;
      const bool ok = Key(sub, hive_->Key(subkeyOffsets[static_cast<std::size_t>(i)]), here, out, depth + 1);
      libregf_key_free(&sub, nullptr);
      if (!ok) return false;
    }
    return true;
  }

  std::unique_ptr<Hive> hive_;
};

void ExpectSameUnderLibregf(const std::filesystem::path& source, const std::filesystem::path& copy) {
  Dumper d;
  std::vector<std::string> a, b;
  std::string error;
  if (!d.Dump(source, a, error)) {
    std::printf("[   INFO   ] skipped %s: %s\n", source.string().c_str(), error.c_str());
    return;  // libregf's own limits; the copy must then at least be as readable
  }
  const std::size_t sourceQuirks = d.quirks;
  ASSERT_TRUE(d.Dump(copy, b, error)) << error;
  ASSERT_EQ(a.size(), b.size()) << source;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i] == b[i]) continue;
    std::size_t at = 0;
    while (at < a[i].size() && at < b[i].size() && a[i][at] == b[i][at]) ++at;
    FAIL() << source << " entry " << i << " (" << a[i].substr(0, 60) << "...): sizes " << a[i].size() << " / "
           << b[i].size() << ", first difference at byte " << at;
  }
  if (sourceQuirks + d.quirks > 0) {
    std::printf("[   INFO   ] %s: libregf's own reading rules applied to %zu value(s) of the source, %zu of the copy\n",
                source.string().c_str(), sourceQuirks, d.quirks);
  }
}

TEST(RegfLibregfCrossCheck, FragmentedFixturesReadTheSame) {
  ScratchDir dir;
  for (std::uint32_t minor : {3u, 5u}) {
    regf::FixtureBuilder b(minor);
    auto& k = b.Root().AddKey("Software\\Vendor\\Product");
    k.SetString("Path", "C:\\x").SetClass("Cls").SetBinary("Big", std::vector<std::uint8_t>(70000, 3));
    // Big data whose last segment is short: 16,345 bytes and one byte short of three segments.
    k.SetBinary("Odd", std::vector<std::uint8_t>(16345, 4)).SetBinary("Odd2", std::vector<std::uint8_t>(3 * 16344 - 1, 5));
    for (int i = 0; i < 700; ++i) b.Root().AddKey("Many\\K" + std::to_string(i)).SetDword("i", static_cast<std::uint32_t>(i));
    b.AddGarbage(0.5);
    const auto in = dir / ("in" + std::to_string(minor)), out = dir / ("out" + std::to_string(minor));
    ASSERT_TRUE(b.WriteFile(in));
    ASSERT_TRUE(regf::CompactHiveFile(in, out));
    ExpectSameUnderLibregf(in, out);
  }
}

// A version 1.2 hive (li lists, no big data) and its copy, which keeps the version and its list
// kinds.
TEST(RegfLibregfCrossCheck, Version12HivesReadTheSame) {
  ScratchDir dir;
  regf::FixtureBuilder b(2);
  auto& many = b.Root().AddKey("Many");
  for (int i = 0; i < 700; ++i) many.AddKey("Key" + std::to_string(10000 + i)).SetDword("N", static_cast<std::uint32_t>(i));
  b.Root().AddKey("Large").SetBinary("Blob", std::vector<std::uint8_t>(50000, 0x42)).SetClass("cls");
  b.AddGarbage(0.3);
  ASSERT_TRUE(b.WriteFile(dir / "in.hive"));
  const auto s = regf::CompactHiveFile(dir / "in.hive", dir / "out.hive");
  ASSERT_TRUE(s) << s.message;
  EXPECT_EQ(Hive::Load(dir / "out.hive").Base().minor, 2u);
  ExpectSameUnderLibregf(dir / "in.hive", dir / "out.hive");
}

TEST(RegfLibregfCrossCheck, CleanSamplesReadTheSame) {
  HV_REQUIRE_SHARED_HIVES();
  ScratchDir dir;
  int n = 0;
  for (const auto& f : SampleHives(CleanHives())) {
    const auto out = dir / ("out" + std::to_string(n++));
    const auto s = regf::CompactHiveFile(f, out);
    ASSERT_TRUE(s) << s.message;
    ExpectSameUnderLibregf(f, out);
  }
}

}  // namespace
}  // namespace hv::test
