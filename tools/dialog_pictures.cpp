// dialog_pictures <folder>: the dialogs with sample values, one after the
// other, for scripts/screenshots. For each picture it writes
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
#include "framework/dialog_user.h"
#include "framework/window_backend.h"
#include "res/resource.h"
#include "text/convert.h"

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

using Step = std::function<void(DialogUser&)>;

// Shows `dialog` and plays `steps` on it, one per idle turn of its modal
// loop; the loop cancels the dialog once they are done. False when the
// dialog could not be shown or closed before its last step.
bool Show(CDialog& dialog, std::vector<Step> steps) {
    const std::unique_ptr<DialogUser> user = molvar::framework::MakeDialogUser();
    std::size_t next = 0;
    molvar::framework::SetModalIdleHook([&] {
        if (next == steps.size()) {
            return false;
        }
        steps[next++](*user);
        return true;
    });
    // Gone however the loop ends: the hook refers to this frame.
    const std::unique_ptr<void, void (*)(void*)> unhook(&next, [](void*) {
        molvar::framework::SetModalIdleHook(nullptr);
    });
    const int result = dialog.DoModal();
    return result != -1 && next == steps.size();
}

struct IconDestroyer {
    void operator()(HICON icon) const { ::DestroyIcon(icon); }
};
using IconPtr = std::unique_ptr<std::remove_pointer_t<HICON>, IconDestroyer>;

// The program's own icon, from the program beside this one: this one has
// no resources.
IconPtr ProgramIcon() {
    std::array<wchar_t, MAX_PATH> self{};
    ::GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size()));
    const std::filesystem::path program = std::filesystem::path(self.data()).replace_filename(MOLVAR_EXECUTABLE_NAME);
    const std::unique_ptr<std::remove_pointer_t<HMODULE>, decltype(&::FreeLibrary)> module(
        ::LoadLibraryExW(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE),
        ::FreeLibrary);
    if (!module) {
        return nullptr;
    }
    return IconPtr(static_cast<HICON>(
        ::LoadImageW(module.get(), MAKEINTRESOURCEW(res::IDR_MAINFRAME), IMAGE_ICON, 32, 32, 0)));
}

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
    return Show(settings, std::move(steps));
}

bool ListDialog(Pictures& pictures) {
    CDialog list(res::IDD_DIRLIST);
    return Show(list, {[&](DialogUser&) {
                    molvar::framework::WindowPeer& peer = *list.Peer();
                    for (const std::u8string_view line :
                         {u8"ダウンロード", u8"スキャナの取り込み", u8"夜間のバックアップ"}) {
                        peer.ListInsert(res::IDC_ENTRY_LIST, -1, LiteralToCp932(line));
                    }
                    peer.ListSelect(res::IDC_ENTRY_LIST, 0);
                    peer.SetText(res::IDC_SHOWN_FOLDER, LiteralToCp932(u8"C:\\Users\\Public\\Downloads"));
                    peer.SetText(res::IDC_SHOWN_PROGRAM, LiteralToCp932(u8"C:\\Windows\\notepad.exe"));
                    peer.SetCheck(res::IDC_START_WITH_LOGIN, BST_CHECKED);
                    pictures.Take(HandleOf(&list), "list-dialog");
                }});
}

bool AboutBox(Pictures& pictures, HICON icon) {
    CDialog about(res::IDD_ABOUTBOX);
    return Show(about, {[&](DialogUser&) {
                    const HWND window = HandleOf(&about);
                    // The icon is the box's first control.
                    ::SendMessageW(::GetWindow(window, GW_CHILD), STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);
                    pictures.Take(window, "about-box");
                }});
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: dialog_pictures <folder for the requests>\n");
        return 2;
    }
    try {
        const IconPtr icon = ProgramIcon();
        if (!icon) {
            std::fprintf(stderr, "dialog_pictures: no icon: is %ls beside this program?\n", MOLVAR_EXECUTABLE_NAME);
            return 1;
        }
        Pictures pictures{std::filesystem::path(argv[1])};
        // Each dialog even when one before it failed: the others' pictures
        // are still worth having.
        bool shown = SettingsDialog(pictures);
        shown = ListDialog(pictures) && shown;
        shown = AboutBox(pictures, icon.get()) && shown;
        if (!shown) {
            std::fprintf(stderr, "dialog_pictures: a dialog could not be shown or closed early\n");
        }
        return shown && pictures.AllTaken() ? 0 : 1;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "dialog_pictures: %s\n", error.what());
        return 1;
    }
}
