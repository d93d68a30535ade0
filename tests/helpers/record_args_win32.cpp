// Test helper: writes its arguments (without the program name) in UTF-8, each
// followed by a NUL, in one write to the file named by MOLVAR_ARGS_FILE,
// which may be a named pipe (\\.\pipe\...) the test reads from. wmain, so
// that the arguments arrive whole whatever the ANSI code page.
#include <windows.h>

#include <cwchar>
#include <cstdlib>
#include <string>

namespace {

std::string Utf8(const wchar_t* wide) {
    const int length = static_cast<int>(std::wcslen(wide));
    if (length == 0) {
        return {};
    }
    std::string utf8(static_cast<std::size_t>(length) * 4, '\0');
    const int written =
        ::WideCharToMultiByte(CP_UTF8, 0, wide, length, utf8.data(), static_cast<int>(utf8.size()), nullptr, nullptr);
    utf8.resize(written > 0 ? static_cast<std::size_t>(written) : 0);
    return utf8;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const wchar_t* target = ::_wgetenv(L"MOLVAR_ARGS_FILE");
    if (target == nullptr) {
        return 2;
    }
    std::string record;
    for (int i = 1; i < argc; ++i) {
        record += Utf8(argv[i]);
        record += '\0';
    }
    const bool pipe = std::wcsncmp(target, LR"(\\.\pipe\)", 9) == 0;
    // On a pipe the append right would ask to create a pipe instance.
    const HANDLE file = ::CreateFileW(target, pipe ? GENERIC_WRITE : FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, pipe ? OPEN_EXISTING : OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return 3;
    }
    DWORD written = 0;
    const bool ok = ::WriteFile(file, record.data(), static_cast<DWORD>(record.size()), &written, nullptr) &&
                    written == record.size();
    ::CloseHandle(file);
    return ok ? 0 : 4;
}
