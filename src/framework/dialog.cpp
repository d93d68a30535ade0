#include "framework/dialog.h"

#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "framework/app.h"
#include "framework/frame.h"
#include "framework/window_backend.h"
#include "res/strings.h"
#include "res/templates.h"

namespace molvar::framework {
namespace {

// This thread's modal dialogs, innermost last. Only the user-interface
// thread runs dialogs: on any other thread (a watch's) the stack is empty,
// so a message box asked there has no owner.
thread_local std::vector<CDialog*> g_modalDialogs;
IdleHook g_idleHook;

// Work for the user-interface thread, from any thread.
struct PostedWork {
    std::mutex mutex;
    std::deque<std::function<void()>> queue;
};
PostedWork& Posted() {
    static PostedWork posted;
    return posted;
}

// Runs what was posted up to now; work posted meanwhile waits for the next turn.
void RunPostedWork() {
    std::deque<std::function<void()>> due;
    {
        const std::lock_guard lock(Posted().mutex);
        due.swap(Posted().queue);
    }
    for (const auto& work : due) {
        work();
    }
}

}  // namespace

void PostToModalLoop(std::function<void()> work) {
    {
        const std::lock_guard lock(Posted().mutex);
        Posted().queue.push_back(std::move(work));
    }
    PlatformBackend().WakeModalLoop();
}

void SetModalIdleHook(IdleHook hook) { g_idleHook = std::move(hook); }

bool HasModalIdleHook() { return static_cast<bool>(g_idleHook); }

bool RunModalIdleHook() {
    if (!g_idleHook) {
        return false;
    }
    // A copy: a step may install another hook.
    const IdleHook hook = g_idleHook;
    return hook();
}

bool PreTranslateThroughParents(Message& message) {
    CDialog* const modal = ActiveModalDialog();
    for (CWnd* window = message.target; window != nullptr; window = window->GetParent()) {
        if (window->PreTranslateMessage(message)) {
            return true;
        }
        // The walk ends at the dialog whose loop runs: its owner is
        // disabled and sees nothing of it.
        if (window == modal) {
            break;
        }
    }
    return false;
}

CDialog* ActiveModalDialog() { return g_modalDialogs.empty() ? nullptr : g_modalDialogs.back(); }

void RunModalLoop(CDialog& dialog, CWnd* owner) {
    // The owner comes back however the loop ends, a handler's exception too.
    struct Loop {
        CDialog& dialog;
        WindowBackend& backend = PlatformBackend();
        WindowBackend::ModalState state;
        Loop(CDialog& d, CWnd* owner) : dialog(d), state(backend.BeginModal(d, owner)) {}
        ~Loop() { backend.EndModal(dialog, state); }
        Loop(const Loop&) = delete;
        Loop& operator=(const Loop&) = delete;
    } loop(dialog, owner);
    WindowBackend& backend = loop.backend;
    bool quit = false;
    while (dialog.ContinueModal()) {
        RunPostedWork();
        if (!dialog.ContinueModal()) {
            break;
        }
        const WindowBackend::Pumped pumped = backend.PumpOne(dialog, !HasModalIdleHook());
        if (pumped == WindowBackend::Pumped::Quit || pumped == WindowBackend::Pumped::Gone) {
            quit = pumped == WindowBackend::Pumped::Quit;
            dialog.EndDialog(IDCANCEL);
            break;
        }
        // Once nothing is pending a test acts as the user; a dialog that
        // nobody can answer ends as cancelled.
        if (pumped == WindowBackend::Pumped::Nothing && !RunModalIdleHook() && dialog.ContinueModal()) {
            dialog.EndDialog(IDCANCEL);
        }
    }
    if (quit) {
        backend.PassQuitOn();
    }
}

bool OfferKeyToDialog(CWnd& target, unsigned virtualKey, int focusedPushButton) {
    Message message{WM_KEYDOWN, virtualKey, &target};
    if (PreTranslateThroughParents(message)) {
        return true;
    }
    CDialog* const top = ActiveModalDialog();
    if (top == nullptr || top->Peer() == nullptr) {
        return false;
    }
    if (virtualKey == VK_ESCAPE) {
        top->OnCommand(IDCANCEL, BN_CLICKED);
        return true;
    }
    if (virtualKey != VK_RETURN) {
        return false;
    }
    if (focusedPushButton != 0) {
        target.OnCommand(focusedPushButton, BN_CLICKED);
        return true;
    }
    const int defaultButton = res::DefaultButtonId(top->Peer()->Template());
    if (defaultButton == 0) {
        top->OnCommand(IDOK, BN_CLICKED);
    } else if (top->Peer()->IsEnabled(defaultButton)) {
        top->OnCommand(defaultButton, BN_CLICKED);
    }
    return true;
}

bool InActiveModalDialog(const CWnd& window) {
    const CDialog* modal = ActiveModalDialog();
    for (const CWnd* w = &window; w != nullptr; w = w->GetParent()) {
        if (w == modal) {
            return true;
        }
    }
    return false;
}

void CDataExchange::Fail(int id, const text::Cp932String& message) {
    AfxMessageBox(message, MB_OK);
    if (WindowPeer* peer = m_pDlgWnd->Peer()) {
        peer->SetFocus(id);
    }
    failed_ = true;
}

void DDX_Text(CDataExchange* pDX, int id, text::Cp932String& value, std::size_t maxBytes) {
    WindowPeer* peer = pDX->m_pDlgWnd->Peer();
    if (pDX->Failed() || peer == nullptr) {
        return;
    }
    if (!pDX->m_bSaveAndValidate) {
        peer->SetLimit(id, maxBytes);
        peer->SetText(id, value);
        return;
    }
    text::Cp932String entered = peer->GetText(id);
    if (entered.size() > maxBytes) {
        pDX->Fail(id, res::TextTooLong(maxBytes));
        return;
    }
    value = std::move(entered);
}

void DDX_Check(CDataExchange* pDX, int id, int& value) {
    WindowPeer* peer = pDX->m_pDlgWnd->Peer();
    if (pDX->Failed() || peer == nullptr) {
        return;
    }
    if (pDX->m_bSaveAndValidate) {
        value = peer->GetCheck(id) == BST_CHECKED ? 1 : 0;
    } else {
        peer->SetCheck(id, value != 0 ? BST_CHECKED : BST_UNCHECKED);
    }
}

void DDX_Control(CDataExchange* pDX, int id, CWnd& control) {
    if (!control.IsWindow() && pDX->m_pDlgWnd->IsWindow()) {
        control.AttachToControl(*pDX->m_pDlgWnd, id);
    }
}

CDialog::~CDialog() { CDialog::DestroyWindow(); }

bool CDialog::MakeWindow(CWnd* parent) {
    const res::DialogTemplate* source = res::FindDialogTemplate(templateId_);
    if (source == nullptr) {
        return false;
    }
    std::unique_ptr<WindowPeer> peer = PlatformBackend().CreateDialogWindow(*source, *this, parent);
    if (!peer) {
        return false;
    }
    AttachPeer(std::move(peer), parent);
    return true;
}

int CDialog::DoModal() {
    // As the framework does: the active dialog, else the main window owns it
    // (so a second copy finds it as the main window's last active popup).
    CWnd* owner = parentWindow_ != nullptr ? parentWindow_ : ActiveModalDialog();
    if (owner == nullptr && AfxGetApp() != nullptr) {
        owner = AfxGetApp()->m_pMainWnd;
    }
    modalResult_ = IDCANCEL;
    continueModal_ = true;
    if (!MakeWindow(owner)) {
        continueModal_ = false;
        return IDCANCEL;
    }
    // Whatever a handler throws, the dialog leaves the modal stack and its
    // window goes (which enables the owner again).
    struct ModalScope {
        CDialog& dialog;
        explicit ModalScope(CDialog& d) : dialog(d) { g_modalDialogs.push_back(&d); }
        ~ModalScope() {
            std::erase(g_modalDialogs, &dialog);
            dialog.continueModal_ = false;
            dialog.DestroyWindow();
        }
        ModalScope(const ModalScope&) = delete;
        ModalScope& operator=(const ModalScope&) = delete;
    } scope(*this);
    if (OnInitDialog()) {
        peer_->FocusFirstTabStop();
    }
    if (continueModal_) {
        peer_->ShowWindow();
        RunModalLoop(*this, owner);
    }
    return modalResult_;
}

bool CDialog::Create(unsigned templateId, CWnd* parent) {
    templateId_ = templateId;
    if (!MakeWindow(parent)) {
        return false;
    }
    OnInitDialog();
    if (peer_ != nullptr) {
        peer_->ShowWindow();
    }
    return true;
}

void CDialog::EndDialog(int result) {
    modalResult_ = result;
    continueModal_ = false;
    PlatformBackend().WakeModalLoop();
}

bool CDialog::UpdateData(bool saveAndValidate) {
    CDataExchange exchange(*this, saveAndValidate);
    DoDataExchange(&exchange);
    return !exchange.Failed();
}

bool CDialog::DestroyWindow() { return CWnd::DestroyWindow(); }

bool CDialog::OnInitDialog() {
    UpdateData(false);
    return true;
}

void CDialog::OnOK() {
    if (UpdateData(true)) {
        EndDialog(IDOK);
    }
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

bool CDialog::OnDialogMessage(int, unsigned, long*) { return false; }

bool CDialog::OnCommand(int id, unsigned code) {
    if (OnDialogMessage(id, code, nullptr)) {
        return true;
    }
    if (code != BN_CLICKED) {
        return false;
    }
    if (id == IDOK) {
        OnOK();
        return true;
    }
    if (id == IDCANCEL) {
        OnCancel();
        return true;
    }
    return false;
}

bool CDialog::OnNotify(int id, unsigned code, long* result) { return OnDialogMessage(id, code, result); }

}  // namespace molvar::framework
