#pragma once
// Grafts the key tree of a hive onto a fixture key, for generated hives that must also hold the
// keys of another: the source root's values, class, timestamp and descriptor go to `into`, its
// subkeys below it, with their classes, timestamps, flags, descriptors and values. Deleted keys
// and values, free and orphaned cells are not copied; names are stored as the fixture stores
// them (one byte a character when they can be, an empty value name included). A key that `into`
// already holds is merged, a value it holds replaced.
#include "regf/fixture.h"
#include "regf/hive.h"

namespace hv::bench {

// Throws regf::FormatError when the source is malformed (it is walked as the compactor walks it).
void CopyTree(const regf::Hive& source, regf::FixtureKey& into);

}  // namespace hv::bench
