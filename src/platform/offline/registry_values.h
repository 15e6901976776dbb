#pragma once
// Registry values handed out with the buffer rules of RegQueryValueExA and
// RegEnumValueA.
#include "platform/offline/machine_description.h"
#include "platform/types.h"

namespace hv::offline {

// RegQueryValueExA: *type when asked; with `data`, the bytes when *dataLen
// holds them (kMoreData and the size needed when it does not); without it,
// the size alone. `data` without `dataLen` is kInvalidParameter.
LSTATUS CopyValueData(const HivelistValue& value, DWORD* type, BYTE* data, DWORD* dataLen);

// RegEnumValueA of one value: *nameLen counts characters with the NUL on
// input and without it on output; a name that does not fit is kMoreData and
// nothing is stored. Then the data as CopyValueData; the name is stored even
// when the data does not fit.
LSTATUS CopyEnumeratedValue(const HivelistValue& value, char* name, DWORD* nameLen, DWORD* type,
                            BYTE* data, DWORD* dataLen);

}  // namespace hv::offline
