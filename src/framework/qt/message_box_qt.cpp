#include "framework/posix/backend_choice.h"

namespace molvar::framework {
MessageBoxPresenter& qt::MessageBoxes() { return headless::MessageBoxes(); }
}  // namespace molvar::framework
