#include "shell/run_record.h"

namespace hv {

RunRecord& TheRunRecord() {
  static RunRecord record;
  return record;
}

}  // namespace hv
