#include "framework/posix/backend_choice.h"

namespace molvar::framework {
Choosers& qt::FileChoosers() { return headless::FileChoosers(); }
}  // namespace molvar::framework
