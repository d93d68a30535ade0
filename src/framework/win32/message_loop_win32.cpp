// The Win32 loop: commands are WM_COMMAND messages posted to a message-only
// window of the user-interface thread, so that they are also dispatched
// while a message box or dialog of that thread runs its own loop (messages
// posted to the thread itself would be lost there). The console's control
// handler turns Ctrl+C, Ctrl+Break and closing the console into a request
// to end the program.
#include "framework/message_loop.h"
#include "framework/win32/win32_window.h"
#include "framework/window_system.h"

#include <windows.h>

#include <atomic>
#include <vector>

namespace molvar::framework {
namespace {

constexpr wchar_t kWindowClass[] = L"MolvarMessageLoop";
// Posted by the console's control handler.
constexpr UINT WM_END_REQUEST = WM_APP + 1;
// Stands for an end request among the commands kept until the loop runs;
// command ids are 16-bit.
constexpr unsigned kEndRequest = 0x10000;

// Read by any thread; the window is made and destroyed by the main thread.
std::atomic<HWND> g_window{nullptr};

// Touched only by the thread that owns the window.
struct LoopState {
    CCmdTarget* target = nullptr;  // set while RunMessageLoop runs
    unsigned quitCommand = 0;
    std::vector<unsigned> early;  // dispatched by some other loop before RunMessageLoop
};
LoopState g_loop;

void Route(unsigned id) {
    if (id == kEndRequest) {
        id = g_loop.quitCommand;
    }
    if (id == ID_APP_EXIT) {
        ::PostQuitMessage(0);
        return;
    }
    g_loop.target->OnCmdMsg(id, CN_COMMAND, nullptr);
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_COMMAND && message != WM_END_REQUEST) {
        return ::DefWindowProcW(window, message, wParam, lParam);
    }
    const unsigned id = message == WM_COMMAND ? LOWORD(wParam) : kEndRequest;
    if (g_loop.target == nullptr) {
        g_loop.early.push_back(id);
    } else {
        Route(id);
    }
    return 0;
}

// The window lives until the process ends.
class MessageWindow {
public:
    MessageWindow() {
        const HINSTANCE instance = ::GetModuleHandleW(nullptr);
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = WindowProc;
        windowClass.hInstance = instance;
        windowClass.lpszClassName = kWindowClass;
        ::RegisterClassExW(&windowClass);
        window_ = ::CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, nullptr);
        g_window = window_;
    }
    ~MessageWindow() {
        g_window = nullptr;
        if (window_ != nullptr) {
            ::DestroyWindow(window_);
        }
    }
    MessageWindow(const MessageWindow&) = delete;
    MessageWindow& operator=(const MessageWindow&) = delete;

private:
    HWND window_ = nullptr;
};

BOOL WINAPI OnConsoleControl(DWORD event) {
    const HWND window = g_window.load();
    if (window == nullptr || !::PostMessageW(window, WM_END_REQUEST, 0, 0)) {
        return FALSE;  // the system's way: the process ends
    }
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
        // Returning would end the process at once. Held here, the loop can
        // stop the watch and main return, which ends this thread too, within
        // the time the system grants before it ends the process itself.
        ::Sleep(INFINITE);
    }
    return TRUE;
}

// Made on first use by the thread that runs the loop.
void EnsureMessageWindow() { static MessageWindow window; }

}  // namespace

WindowSystem StartWindowSystem(WindowSystemUse) { return WindowSystem::Windows; }
void EndWindowSystem() {}

void PrepareMessageLoop() {
    EnsureMessageWindow();
    ::SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

int win32::RunMessageLoop(CCmdTarget& target, unsigned quitCommand) {
    EnsureMessageWindow();
    g_loop.target = &target;
    g_loop.quitCommand = quitCommand;
    // What came before the loop ran, in order; the rest of the messages
    // wait in the queue.
    const std::vector<unsigned> early = std::move(g_loop.early);
    g_loop.early.clear();
    for (const unsigned id : early) {
        Route(id);
    }
    int status = 0;
    MSG message;
    for (;;) {
        const BOOL got = ::GetMessageW(&message, nullptr, 0, 0);
        if (got == 0) {
            status = static_cast<int>(message.wParam);
            break;
        }
        if (got < 0) {
            status = 1;
            break;
        }
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    g_loop.target = nullptr;
    // The handler stays: a later request finds no loop and is dropped, as
    // the end under way is already the quit's and must not cut a move in two.
    return status;
}

}  // namespace molvar::framework

void AfxPostCommand(unsigned id) {
    if (const HWND window = molvar::framework::g_window.load(); window != nullptr) {
        ::PostMessageW(window, WM_COMMAND, MAKEWPARAM(id, 0), 0);
    }
}
