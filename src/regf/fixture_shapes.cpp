#include "fixture_shapes.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "fixture.h"
#include "format.h"
#include "hive.h"

namespace hv::regf {
namespace {

std::uint8_t* CellAt(std::vector<std::uint8_t>& image, std::uint32_t cell) {
  return image.data() + kBaseBlockSize + cell + cell::kData;
}

void FixChecksum(std::vector<std::uint8_t>& image) {
  Wr32(image.data() + base::kChecksum, BaseBlockChecksum(image.data()));
}

std::string Numbered(const char* prefix, std::uint32_t i) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%s%05u", prefix, static_cast<unsigned>(i));
  return buf;
}

// The key at a path of names below the root of an image.
KeyNode KeyAt(const Hive& h, std::initializer_list<const char*> path) {
  KeyNode key = h.Key(h.Base().rootCell);
  for (const char* name : path) {
    std::vector<std::uint32_t> kids;
    h.AppendSubkeys(key, kids);
    bool found = false;
    for (std::uint32_t k : kids) {
      const KeyNode child = h.Key(k);
      if (std::string(reinterpret_cast<const char*>(child.name.bytes), child.name.size) == name) {
        key = child;
        found = true;
        break;
      }
    }
    if (!found) h.Fail(std::string("no key ") + name);
  }
  return key;
}

}  // namespace

std::vector<std::uint32_t> AppendCells(std::vector<std::uint8_t>& image, const std::vector<std::uint32_t>& dataSizes) {
  std::uint64_t need = kBinHeaderSize;
  for (std::uint32_t s : dataSizes) need += (s + cell::kData + cell::kAlign - 1) / cell::kAlign * cell::kAlign;
  need += cell::kAlign;  // room for the free tail cell
  const std::uint32_t binSize = static_cast<std::uint32_t>((need + kBinAlign - 1) / kBinAlign * kBinAlign);
  const std::uint32_t start = Rd32(image.data() + base::kBinsSize);
  image.resize(kBaseBlockSize + static_cast<std::size_t>(start) + binSize, 0);
  std::uint8_t* bin = image.data() + kBaseBlockSize + start;
  PutSignature(bin + bin::kSignature, "hbin");
  Wr32(bin + bin::kOffset, start);
  Wr32(bin + bin::kSize, binSize);
  std::vector<std::uint32_t> cells;
  std::uint32_t at = start + kBinHeaderSize;
  for (std::uint32_t s : dataSizes) {
    const std::uint32_t size = (s + cell::kData + cell::kAlign - 1) / cell::kAlign * cell::kAlign;
    Wr32(image.data() + kBaseBlockSize + at + cell::kSize, static_cast<std::uint32_t>(-static_cast<std::int32_t>(size)));
    cells.push_back(at);
    at += size;
  }
  Wr32(image.data() + kBaseBlockSize + at + cell::kSize, start + binSize - at);
  Wr32(image.data() + base::kBinsSize, start + binSize);
  FixChecksum(image);
  return cells;
}

std::vector<std::uint8_t> SharedCellHive(SharedShape shape, std::uint32_t count, std::uint32_t count2) {
  FixtureBuilder b(5);
  switch (shape) {
    case SharedShape::kBigDataSegment: {
      count = std::clamp<std::uint32_t>(count ? count : 3, 2, 65535);
      b.Root().AddKey("A").SetBinary("Big", std::vector<std::uint8_t>(2 * kBigDataSegment, 0x5A));
      std::vector<std::uint8_t> image = b.Build();
      const Hive h = Hive::FromBytes(image, "shape");
      std::vector<std::uint32_t> values;
      h.AppendValues(KeyAt(h, {"A"}), values);
      const ValueRec v = h.Value(values.at(0));
      const std::uint32_t firstSegment = Rd32(h.Cell(Rd32(h.Cell(v.dataOffset, "db").data + db::kSegmentList), "list").data);
      const std::uint32_t list = AppendCells(image, {count * db::kSegmentElement}).at(0);
      for (std::uint32_t i = 0; i < count; ++i) Wr32(CellAt(image, list) + i * db::kSegmentElement, firstSegment);
      std::uint8_t* rec = CellAt(image, v.dataOffset);
      Wr16(rec + db::kSegmentCount, static_cast<std::uint16_t>(count));
      Wr32(rec + db::kSegmentList, list);
      Wr32(CellAt(image, v.offset) + vk::kDataSize, count * kBigDataSegment);
      FixChecksum(image);
      return image;
    }
    case SharedShape::kValueList: {
      count = count ? count : 2;
      count2 = count2 ? count2 : 2;
      for (std::uint32_t i = 0; i < count; ++i) {
        b.Root().AddKey(Numbered("G", i / 500) + "\\" + Numbered("K", i)).SetDword("V", i);
      }
      std::vector<std::uint8_t> image = b.Build();
      std::vector<std::uint32_t> sizes(count2, vk::kName);
      sizes.push_back(count2 * valuelist::kElement);
      const std::vector<std::uint32_t> cells = AppendCells(image, sizes);
      const std::uint32_t list = cells.back();
      for (std::uint32_t i = 0; i < count2; ++i) {
        std::uint8_t* p = CellAt(image, cells[i]);
        PutSignature(p + vk::kSignature, "vk");
        Wr32(p + vk::kDataSize, vk::kInlineMax | vk::kDataInline);
        Wr32(p + vk::kDataOffset, i);
        Wr32(p + vk::kType, kRegDword);
        Wr32(CellAt(image, list) + i * valuelist::kElement, cells[i]);
      }
      const Hive h = Hive::FromBytes(image, "shape");
      for (std::uint32_t i = 0; i < count; ++i) {
        const std::string group = Numbered("G", i / 500), key = Numbered("K", i);
        const KeyNode k = KeyAt(h, {group.c_str(), key.c_str()});
        Wr32(CellAt(image, k.offset) + nk::kValueCount, count2);
        Wr32(CellAt(image, k.offset) + nk::kValueList, list);
      }
      FixChecksum(image);
      return image;
    }
    case SharedShape::kValue: {
      count = count ? count : 2;
      count2 = count2 ? count2 : 64;
      b.Root().AddKey("A").SetBinary("Data", std::vector<std::uint8_t>(count2, 0x33));
      std::vector<std::uint8_t> image = b.Build();
      const Hive h = Hive::FromBytes(image, "shape");
      const KeyNode a = KeyAt(h, {"A"});
      std::vector<std::uint32_t> values;
      h.AppendValues(a, values);
      const std::uint32_t list = AppendCells(image, {count * valuelist::kElement}).at(0);
      for (std::uint32_t i = 0; i < count; ++i) Wr32(CellAt(image, list) + i * valuelist::kElement, values.at(0));
      Wr32(CellAt(image, a.offset) + nk::kValueCount, count);
      Wr32(CellAt(image, a.offset) + nk::kValueList, list);
      FixChecksum(image);
      return image;
    }
    case SharedShape::kSubkeyList: {
      count = count ? count : 2;
      b.Root().AddKey("A\\Child").SetDword("V", 1);
      for (std::uint32_t i = 0; i < count; ++i) b.Root().AddKey(Numbered("S", i));
      std::vector<std::uint8_t> image = b.Build();
      const Hive h = Hive::FromBytes(image, "shape");
      const KeyNode a = KeyAt(h, {"A"});
      for (std::uint32_t i = 0; i < count; ++i) {
        const std::string name = Numbered("S", i);
        const KeyNode s = KeyAt(h, {name.c_str()});
        Wr32(CellAt(image, s.offset) + nk::kSubkeyCount, a.subkeyCount);
        Wr32(CellAt(image, s.offset) + nk::kSubkeyList, a.subkeyList);
      }
      FixChecksum(image);
      return image;
    }
  }
  return {};
}

}  // namespace hv::regf
