#include "platform/offline/registry_values.h"

#include <cstring>

namespace hv::offline {

LSTATUS CopyValueData(const HivelistValue& value, DWORD* type, BYTE* data, DWORD* dataLen) {
  if (data != nullptr && dataLen == nullptr) return static_cast<LSTATUS>(err::kInvalidParameter);
  if (type != nullptr) *type = value.type;
  const DWORD size = static_cast<DWORD>(value.data.size());
  if (dataLen == nullptr) return static_cast<LSTATUS>(err::kSuccess);
  if (data == nullptr) {
    *dataLen = size;
    return static_cast<LSTATUS>(err::kSuccess);
  }
  if (*dataLen < size) {
    *dataLen = size;
    return static_cast<LSTATUS>(err::kMoreData);
  }
  if (size > 0) std::memcpy(data, value.data.data(), size);
  *dataLen = size;
  return static_cast<LSTATUS>(err::kSuccess);
}

LSTATUS CopyEnumeratedValue(const HivelistValue& value, char* name, DWORD* nameLen, DWORD* type,
                            BYTE* data, DWORD* dataLen) {
  if (name == nullptr || nameLen == nullptr) return static_cast<LSTATUS>(err::kInvalidParameter);
  if (*nameLen < value.name.size() + 1) return static_cast<LSTATUS>(err::kMoreData);
  const LSTATUS dataStatus = CopyValueData(value, type, data, dataLen);
  if (dataStatus == static_cast<LSTATUS>(err::kInvalidParameter)) return dataStatus;
  std::memcpy(name, value.name.c_str(), value.name.size() + 1);
  *nameLen = static_cast<DWORD>(value.name.size());
  return dataStatus;
}

}  // namespace hv::offline
