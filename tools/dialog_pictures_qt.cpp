// dialog_pictures_qt <folder>: the program's windows as the Linux desktop
// shows them (the Qt backend), with sample settings, one after the other:
// the settings dialog's pages, the tray menu, the list of watched folders
// and the about box, each saved as "<folder>/linux-<name>.png". The whole
// program runs, so each window is opened the way the user opens it; run it
// with its own XDG_CONFIG_HOME. Exits with 1 when a picture was not taken.
#include <QApplication>
#include <QMenu>
#include <QPixmap>
#include <QWidget>

#include <array>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dialogs/set_env_dlg.h"
#include "framework/scripted_user/dialog_user.h"
#include "picture_support.h"
#include "framework/message_loop.h"
#include "framework/qt/qt_app.h"
#include "framework/window_backend.h"
#include "framework/window_system.h"
#include "platform/session.h"
#include "res/resource.h"
#include "shell/main_frame.h"
#include "shell/molvar_app.h"
#include "text/convert.h"

namespace {

using molvar::framework::DialogUser;
using molvar::text::LiteralToCp932;
namespace res = molvar::res;

class Pictures {
public:
    explicit Pictures(std::filesystem::path folder) : folder_(std::move(folder)) {}

    void Take(QWidget* window, const std::string& name) {
        if (window == nullptr) {
            std::fprintf(stderr, "dialog_pictures_qt: no window for %s\n", name.c_str());
            missing_ = true;
            return;
        }
        QApplication::processEvents();
        const std::filesystem::path file = folder_ / ("linux-" + name + ".png");
        if (!window->grab().save(QString::fromStdString(file.string()))) {
            std::fprintf(stderr, "dialog_pictures_qt: %s not written\n", file.c_str());
            missing_ = true;
            return;
        }
        std::printf("%s\n", file.c_str());
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
    settings.folder = LiteralToCp932(u8"/home/user/ダウンロード");
    settings.program = LiteralToCp932(u8"/usr/bin/mousepad");
    settings.openTarget = 1;
    settings.targetKind = 1;
    settings.namePattern = LiteralToCp932(u8"*.txt");
    settings.showMessage = 1;
    settings.soundKind = 1;
    settings.afterAction = 2;
    settings.moveFolder = LiteralToCp932(u8"/home/user/済み");
    std::vector<Step> steps;
    for (const char* const name : {"settings-dialog-files", "settings-dialog-notice", "settings-dialog-after"}) {
        const int tab = static_cast<int>(steps.size());
        steps.emplace_back([&pictures, name, tab](DialogUser& user) {
            user.PickTab({res::IDD_SETENV, res::IDC_PAGE_TABS}, tab);
            pictures.Take(molvar::framework::qt::ActiveModalWidget(), name);
        });
    }
    return ShowThrough([&] { settings.DoModal(); }, std::move(steps));
}

void WriteSampleSettings() {
    const auto configHome = molvar::platform::ApplicationDataFolder();
    if (!configHome) {
        return;
    }
    const std::filesystem::path obsdat =
        std::filesystem::path(molvar::text::ToUtf8ForDisplay(*configHome)) / "TORVEL" / "Molvar3" / "obsdat";
    std::filesystem::create_directories(obsdat);
    const molvar::pictures::SampleSetting samples[] = {
        {1, u8"ダウンロード", u8"/home/user/ダウンロード", u8"/usr/bin/mousepad"},
        {1, u8"スキャナの取り込み", u8"/srv/scans", u8""},
        {0, u8"夜間のバックアップ", u8"/home/user/文書", u8"/usr/local/bin/backup"},
    };
    const std::vector<std::uint8_t> bytes = molvar::pictures::SettingsFileBytes(samples);
    std::ofstream(obsdat / "dirinfo.dat", std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// The tray menu as the frame builds it; the frame shows it while the
// popup-menu hook looks at it.
bool TrayMenu(Pictures& pictures, molvar::framework::CFrameWnd& frame) {
    bool taken = false;
    molvar::framework::SetPopupMenuHook([&](const std::vector<molvar::framework::ShownMenuItem>&) {
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (qobject_cast<QMenu*>(window) != nullptr && window->isVisible()) {
                pictures.Take(window, "tray-menu");
                taken = true;
            }
        }
        return 0u;  // closed without a command
    });
    frame.WindowProc(molvar::shell::WM_TRAYNOTIFY, molvar::shell::kTrayIconId, WM_RBUTTONUP);
    molvar::framework::SetPopupMenuHook({});
    return taken;
}

bool ListDialog(Pictures& pictures, molvar::framework::CFrameWnd& frame) {
    return ShowThrough(
        [&] { frame.WindowProc(WM_COMMAND, res::ID_WATCH_SETTINGS, 0); },
        {[](DialogUser& user) { user.PickListLine({res::IDD_DIRLIST, res::IDC_ENTRY_LIST}, 0); },
         [&](DialogUser&) { pictures.Take(molvar::framework::qt::ActiveModalWidget(), "list-dialog"); }});
}

bool HistoryWindow(Pictures& pictures, molvar::framework::CFrameWnd& frame) {
    return ShowThrough([&] { frame.WindowProc(WM_COMMAND, res::ID_SHOW_HISTORY, 0); },
                       {[&](DialogUser&) { pictures.Take(molvar::framework::qt::ActiveModalWidget(), "history-window"); }});
}

bool AboutBox(Pictures& pictures, molvar::framework::CFrameWnd& frame) {
    return ShowThrough([&] { frame.WindowProc(WM_COMMAND, res::ID_APP_ABOUT, 0); },
                       {[&](DialogUser&) { pictures.Take(molvar::framework::qt::ActiveModalWidget(), "about-box"); }});
}

int TakeAll(const std::filesystem::path& folder) {
    WriteSampleSettings();
    molvar::framework::PrepareMessageLoop();
    if (molvar::framework::StartWindowSystem(molvar::framework::WindowSystemUse::DialogsOnly) !=
        molvar::framework::WindowSystem::Qt) {
        std::fprintf(stderr, "dialog_pictures_qt: Qt could not start (no display?)\n");
        return 1;
    }
    molvar::shell::CMolvarApp app;
    if (!app.InitInstance()) {
        std::fprintf(stderr, "dialog_pictures_qt: the program did not start\n");
        return 1;
    }
    Pictures pictures{folder};
    // Each window even when one before it failed: the others' pictures are
    // still worth having.
    bool shown = SettingsDialog(pictures);
    shown = TrayMenu(pictures, *app.m_pMainWnd) && shown;
    shown = ListDialog(pictures, *app.m_pMainWnd) && shown;
    shown = AboutBox(pictures, *app.m_pMainWnd) && shown;
    molvar::pictures::UseSampleHistory(std::filesystem::temp_directory_path() / "molvar-pictures-history", "/home/user",
                                       '/', "/usr/bin/mousepad");
    shown = HistoryWindow(pictures, *app.m_pMainWnd) && shown;
    if (!shown) {
        std::fprintf(stderr, "dialog_pictures_qt: a window could not be shown or closed early\n");
    }
    app.ExitInstance(0);
    return shown && pictures.AllTaken() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: dialog_pictures_qt <folder for the pictures>\n");
        return 2;
    }
    int status = 1;
    try {
        status = TakeAll(argv[1]);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "dialog_pictures_qt: %s\n", error.what());
    }
    molvar::framework::EndWindowSystem();
    return status;
}
