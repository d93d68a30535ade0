// dialog_pictures <folder>: the program's windows with sample settings, one
// after the other, for scripts/screenshots: the settings dialog's pages, the
// open tray menu, the list of watched folders and the about box. The whole
// program runs here (in the pictures' own Wine prefix), so each window is
// opened the way the user opens it. For each picture it writes
// "<name>.request" into <folder>, holding the window's rectangle on the
// screen ("left top width height"), and goes on once the script has taken
// the picture and removed the file. Exits with 1 when a picture was not
// taken.
#include "framework/win32/win32_window.h"

#include <array>
#include <chrono>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "dialogs/set_env_dlg.h"
#include "framework/scripted_user/dialog_user.h"
#include "picture_support.h"
#include "framework/message_loop.h"
#include "framework/window_backend.h"
#include "platform/session.h"
#include "res/resource.h"
#include "shell/main_frame.h"
#include "shell/molvar_app.h"
#include "text/convert.h"
#include "text/win32/wide.h"

namespace {

using namespace std::chrono_literals;
using molvar::framework::CDialog;
using molvar::framework::DialogUser;
using molvar::framework::win32::HandleOf;
using molvar::text::LiteralToCp932;
namespace res = molvar::res;

// Runs the window messages for `time`, so that the windows paint meanwhile.
void Settle(std::chrono::milliseconds time) {
    const auto until = std::chrono::steady_clock::now() + time;
    do {
        MSG message;
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
        ::Sleep(20);
    } while (std::chrono::steady_clock::now() < until);
}

class Pictures {
public:
    explicit Pictures(std::filesystem::path folder) : folder_(std::move(folder)) {}

    // Asks for a picture of `window` and waits until it is taken. The
    // request is written under another name first: the script must never
    // read half a rectangle.
    void Take(HWND window, const std::string& name) {
        if (missing_) {
            return;  // nobody is taking them
        }
        ::RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
        Settle(500ms);
        RECT rect;
        ::GetWindowRect(window, &rect);
        const std::filesystem::path request = folder_ / (name + ".request");
        const std::filesystem::path part = folder_ / (name + ".part");
        std::ofstream(part) << rect.left << ' ' << rect.top << ' ' << rect.right - rect.left << ' '
                            << rect.bottom - rect.top << '\n';
        std::filesystem::rename(part, request);
        const auto deadline = std::chrono::steady_clock::now() + 30s;
        while (std::filesystem::exists(request)) {
            if (std::chrono::steady_clock::now() > deadline) {
                std::fprintf(stderr, "dialog_pictures: no picture of %s\n", name.c_str());
                std::filesystem::remove(request);
                missing_ = true;
                return;
            }
            Settle(50ms);
        }
    }

    bool AllTaken() const { return !missing_; }

private:
    std::filesystem::path folder_;
    bool missing_ = false;
};

using molvar::pictures::ShowThrough;
using molvar::pictures::Step;

bool SettingsDialog(Pictures& pictures) {
    molvar::dialogs::CSetEnvDlg settings;
    settings.title = LiteralToCp932(u8"ダウンロード");
    settings.folder = LiteralToCp932(u8"C:\\Users\\Public\\Downloads");
    settings.program = LiteralToCp932(u8"C:\\Windows\\notepad.exe");
    settings.openTarget = 1;
    settings.targetKind = 1;
    settings.namePattern = LiteralToCp932(u8"*.txt");
    settings.showMessage = 1;
    settings.soundKind = 1;
    settings.afterAction = 2;
    settings.moveFolder = LiteralToCp932(u8"C:\\Users\\Public\\済み");
    std::vector<Step> steps;
    for (const char* const name : {"settings-dialog-files", "settings-dialog-notice", "settings-dialog-after"}) {
        const int tab = static_cast<int>(steps.size());
        steps.emplace_back([&pictures, &settings, name, tab](DialogUser& user) {
            user.PickTab({res::IDD_SETENV, res::IDC_PAGE_TABS}, tab);
            pictures.Take(HandleOf(&settings), name);
        });
    }
    return ShowThrough([&] { settings.DoModal(); }, std::move(steps));
}

// Sample settings in the data folder, before the program starts: folders
// that exist in every Wine prefix.
void WriteSampleSettings() {
    const auto appData = molvar::platform::ApplicationDataFolder();
    if (!appData) {
        return;
    }
    const std::filesystem::path obsdat =
        std::filesystem::path(molvar::text::ToWideForDisplay(*appData)) / L"TORVEL" / L"Molvar3" / L"obsdat";
    std::filesystem::create_directories(obsdat);
    const molvar::pictures::SampleSetting samples[] = {
        {1, u8"ダウンロード", u8"C:\\users\\Public\\Downloads", u8"C:\\windows\\notepad.exe"},
        {1, u8"スキャナの取り込み", u8"C:\\users\\Public\\Pictures", u8""},
        {0, u8"夜間のバックアップ", u8"C:\\users\\Public\\Documents", u8"C:\\windows\\system32\\xcopy.exe"},
    };
    const std::vector<std::uint8_t> bytes = molvar::pictures::SettingsFileBytes(samples);
    std::ofstream(obsdat / L"dirinfo.dat", std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// The window of the innermost modal dialog.
HWND ModalWindow() { return HandleOf(molvar::framework::ActiveModalDialog()); }

bool TrayMenu(Pictures& pictures, molvar::framework::CFrameWnd& frame) {
    bool taken = false;
    molvar::framework::SetPopupMenuHook([&](const std::vector<molvar::framework::ShownMenuItem>&) {
        if (const HWND menu = ::FindWindowW(L"#32768", nullptr)) {
            pictures.Take(menu, "tray-menu");
            taken = true;
        }
        return 0u;  // closed without a command
    });
    // Where a right click on an icon at the foot of the screen would be.
    ::SetCursorPos(600, 500);
    frame.WindowProc(molvar::shell::WM_TRAYNOTIFY, molvar::shell::kTrayIconId, WM_RBUTTONUP);
    molvar::framework::SetPopupMenuHook({});
    return taken;
}

bool ListDialog(Pictures& pictures, molvar::framework::CFrameWnd& frame) {
    return ShowThrough([&] { frame.WindowProc(WM_COMMAND, res::ID_WATCH_SETTINGS, 0); },
                       {[&](DialogUser& user) { user.PickListLine({res::IDD_DIRLIST, res::IDC_ENTRY_LIST}, 0); },
                        [&](DialogUser&) { pictures.Take(ModalWindow(), "list-dialog"); }});
}

bool HistoryWindow(Pictures& pictures, molvar::framework::CFrameWnd& frame) {
    return ShowThrough([&] { frame.WindowProc(WM_COMMAND, res::ID_SHOW_HISTORY, 0); },
                       {[&](DialogUser&) { pictures.Take(ModalWindow(), "history-window"); }});
}

bool AboutBox(Pictures& pictures, molvar::framework::CFrameWnd& frame) {
    return ShowThrough([&] { frame.WindowProc(WM_COMMAND, res::ID_APP_ABOUT, 0); },
                       {[&](DialogUser&) { pictures.Take(ModalWindow(), "about-box"); }});
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: dialog_pictures <folder for the requests>\n");
        return 2;
    }
    try {
        WriteSampleSettings();
        molvar::framework::PrepareMessageLoop();
        molvar::shell::CMolvarApp app;
        if (!app.InitInstance()) {
            std::fprintf(stderr, "dialog_pictures: the program did not start\n");
            return 1;
        }
        molvar::framework::CFrameWnd& frame = *app.m_pMainWnd;
        Pictures pictures{std::filesystem::path(argv[1])};
        // Each window even when one before it failed: the others' pictures
        // are still worth having.
        bool shown = SettingsDialog(pictures);
        shown = TrayMenu(pictures, frame) && shown;
        shown = ListDialog(pictures, frame) && shown;
        shown = AboutBox(pictures, frame) && shown;
        molvar::pictures::UseSampleHistory(std::filesystem::temp_directory_path() / L"molvar-pictures-history",
                                           "C:\\Users\\user", '\\',
                                           "C:\\Windows\\notepad.exe");
        shown = HistoryWindow(pictures, frame) && shown;
        if (!shown) {
            std::fprintf(stderr, "dialog_pictures: a window could not be shown or closed early\n");
        }
        app.ExitInstance(0);
        return shown && pictures.AllTaken() ? 0 : 1;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "dialog_pictures: %s\n", error.what());
        return 1;
    }
}
