#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

#include "platform/process.h"
#include "platform/win32/com.h"
#include "platform/win32/handle.h"
#include "platform/win32/wide_path.h"
#include "text/win32/wide.h"

namespace molvar::platform {
namespace {

using win32::OsPath;

// Quotes an argument so that the C run-time of the started program reads
// it back as one argument, unchanged: backslashes count only before a quote,
// so those before an inner quote and before the closing quote are doubled.
std::wstring QuotedArgument(const std::wstring& argument) {
    std::wstring quoted = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(2 * backslashes, L'\\');
    quoted += L'"';
    return quoted;
}

// The shell may hand the start to COM-based extensions, so the calling
// thread is in a single-threaded apartment for the duration of the call.
void ShellOpen(const std::wstring& file, const std::wstring* parameters) {
    const win32::ComApartment apartment;
    ::ShellExecuteW(nullptr, L"open", file.c_str(), parameters ? parameters->c_str() : nullptr, nullptr,
                    SW_SHOW);
}

}  // namespace

void RunAndWait(const text::Cp932String& commandLine, const std::optional<text::Cp932String>& argument) {
    const auto program = text::ToWide(commandLine);
    if (!program || program->find_first_not_of(L" \t") == std::wstring::npos ||
        program->find(L'\0') != std::wstring::npos) {
        return;
    }
    std::wstring line = *program;
    if (argument) {
        const auto osArgument = OsPath(*argument);
        if (!osArgument) {
            return;
        }
        line += L' ';
        line += QuotedArgument(*osArgument);
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started)) {
        return;
    }
    const win32::UniqueHandle process(started.hProcess);
    const win32::UniqueHandle thread(started.hThread);
    ::WaitForSingleObject(process.get(), INFINITE);
}

void ShellRun(const text::Cp932String& program, const std::optional<text::Cp932String>& parameter) {
    const auto osProgram = OsPath(program);
    if (!osProgram) {
        return;
    }
    if (!parameter) {
        ShellOpen(*osProgram, nullptr);
        return;
    }
    const auto osParameter = OsPath(*parameter);
    if (!osParameter) {
        return;
    }
    const std::wstring parameters = QuotedArgument(*osParameter);
    ShellOpen(*osProgram, &parameters);
}

void ShellOpenDocument(const text::Cp932String& path) {
    if (const auto osPath = OsPath(path)) {
        ShellOpen(*osPath, nullptr);
    }
}

}  // namespace molvar::platform
