#include "framework/scripted_user/dialog_user.h"

#include "framework/dialog.h"

namespace molvar::framework {

unsigned DialogUser::ModalTemplate() const {
    const CDialog* modal = ActiveModalDialog();
    return modal != nullptr ? modal->TemplateId() : 0;
}

}  // namespace molvar::framework
