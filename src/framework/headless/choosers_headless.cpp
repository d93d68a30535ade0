// Without a window system there is nothing to choose from: every chooser
// comes back cancelled (tests install their own).
#include "framework/posix/backend_choice.h"
#include "framework/choosers.h"

namespace molvar::framework {
namespace {

class NoChoosers final : public Choosers {
public:
    ChooserResult OpenFile(const OpenFileRequest&) override { return {}; }
    ChooserResult Folder(const text::Cp932String&, const text::Cp932String&) override { return {}; }
};

}  // namespace

Choosers& headless::FileChoosers() {
    static NoChoosers choosers;
    return choosers;
}

}  // namespace molvar::framework
