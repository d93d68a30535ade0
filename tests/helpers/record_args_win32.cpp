// Test helper: writes its arguments (without the program name) in UTF-8, each
// followed by a NUL, in one write to the file named by MOLVAR_ARGS_FILE,
// which may be a mailslot (\\.\mailslot\...) the test reads from; then waits
// while the file MOLVAR_ARGS_HOLD names exists. wmain, so that the arguments
// arrive whole whatever the ANSI code page.
#include <windows.h>

#include <cstdlib>
#include <cwchar>
#include <string>

int wmain(int argc, wchar_t** argv) {
    // A length of -1 converts the terminating NUL along.
    std::string record;
    for (int i = 1; i < argc; ++i) {
        const int size = ::WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, nullptr, 0, nullptr, nullptr);
        record.resize(record.size() + static_cast<std::size_t>(size));
        ::WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, record.data() + record.size() - size, size, nullptr, nullptr);
    }
    const wchar_t* target = ::_wgetenv(L"MOLVAR_ARGS_FILE");
    if (target == nullptr) return 2;
    // A mailslot (\\.\mailslot\...) takes the record as one message.
    const bool slot = std::wcsncmp(target, LR"(\\.\)", 4) == 0;
    const HANDLE file = ::CreateFileW(target, slot ? GENERIC_WRITE : FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, slot ? OPEN_EXISTING : OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 3;
    // A mailslot passes no empty message: no argument is sent as a line feed.
    if (slot && record.empty()) record.push_back('\n');
    DWORD written = 0;
    const bool ok = ::WriteFile(file, record.data(), static_cast<DWORD>(record.size()), &written, nullptr) &&
                    written == record.size();
    ::CloseHandle(file);
    // A program that runs on, for two minutes at the most.
    const wchar_t* hold = ::_wgetenv(L"MOLVAR_ARGS_HOLD");
    for (int waits = 0; hold && waits < 2400 && ::GetFileAttributesW(hold) != INVALID_FILE_ATTRIBUTES; ++waits) ::Sleep(50);
    return ok ? 0 : 4;
}
