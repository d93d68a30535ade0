// AfxMessageBox and the backend that shows it. The values of the box types and
// results are those of Windows.
#pragma once

#include "text/cp932.h"

inline constexpr unsigned MB_OK = 0x0u;
inline constexpr unsigned MB_YESNO = 0x4u;
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;

namespace molvar::framework {

// What shows a message box and returns the user's answer. The backend's
// presenter is used unless another one is installed (a test's answerer).
class MessageBoxPresenter {
public:
    virtual ~MessageBoxPresenter() = default;
    virtual int Present(const text::Cp932String& message, unsigned type) = 0;
};

// The platform's own presenter (a real box on Windows, a line on stderr
// when headless).
MessageBoxPresenter& BackendMessageBoxPresenter();

// Installs `presenter` for every thread until the returned guard ends.
class ScopedMessageBoxPresenter {
public:
    explicit ScopedMessageBoxPresenter(MessageBoxPresenter& presenter);
    ~ScopedMessageBoxPresenter();
    ScopedMessageBoxPresenter(const ScopedMessageBoxPresenter&) = delete;
    ScopedMessageBoxPresenter& operator=(const ScopedMessageBoxPresenter&) = delete;

private:
    MessageBoxPresenter* previous_;
};

}  // namespace molvar::framework

// Shows a modal message box with `message` and returns IDOK, IDYES or IDNO.
// May be called from any thread.
int AfxMessageBox(const molvar::text::Cp932String& message, unsigned type = MB_OK);
