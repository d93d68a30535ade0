#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

#include "platform/command_line.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/win32/com.h"
#include "platform/win32/handle.h"
#include "platform/win32/wide_path.h"
#include "text/convert.h"
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
// SEE_MASK_FLAG_NO_UI: a file without an application, or a program that
// cannot start, shows the user no box; the failure is returned instead.
Failure ShellOpen(const std::wstring& file, const std::wstring* parameters) {
    const win32::ComApartment apartment;
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
    info.lpVerb = L"open";
    info.lpFile = file.c_str();
    info.lpParameters = parameters ? parameters->c_str() : nullptr;
    info.nShow = SW_SHOW;
    if (!::ShellExecuteExW(&info)) {
        return LastErrorText();
    }
    return std::nullopt;
}

std::wstring WideOfUtf8(std::string_view utf8) { return win32::WideOf(NativeFromUtf8(utf8)); }

bool IsFile(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// The file a candidate program names, as CreateProcess would take it but
// without its search by prefixes: a path names a file, with ".exe" added
// where it has no extension; a bare name is searched for as CreateProcess
// searches (the program's folder, the current folder, the system folders,
// PATH).
std::optional<std::string> ResolveProgram(const std::string& candidate) {
    const std::wstring wide = WideOfUtf8(candidate);
    if (wide.empty() || wide.find(L'\0') != std::wstring::npos) {
        return std::nullopt;
    }
    std::optional<std::wstring> found;
    if (wide.find_first_of(L"\\/:") != std::wstring::npos) {
        const std::wstring name = wide.substr(wide.find_last_of(L"\\/:") + 1);
        if (IsFile(wide)) {
            found = wide;
        } else if (name.find(L'.') == std::wstring::npos && IsFile(wide + L".exe")) {
            found = wide + L".exe";
        }
    } else {
        wchar_t path[MAX_PATH];
        const DWORD length = ::SearchPathW(nullptr, wide.c_str(), L".exe", MAX_PATH, path, nullptr);
        if (length > 0 && length < MAX_PATH && IsFile(path)) {
            found = std::wstring(path, length);
        }
    }
    if (!found) {
        return std::nullopt;
    }
    return Utf8ForDisplay(win32::NativeOfWide(*found));
}

std::optional<ProgramField> ReadField(const text::Cp932String& programField) {
    const auto utf8 = text::ToUtf8(programField);
    if (!utf8) {
        return std::nullopt;
    }
    return ReadProgramField(*utf8, ResolveProgram);
}

}  // namespace

// The program is always named to CreateProcess, never left to its own search
// of an unquoted path, which tries the shortest prefix first.
ProgramEnd RunAndWait(const text::Cp932String& programField, const std::optional<NativePath>& argument) {
    const auto field = ReadField(programField);
    if (!field || !field->program) {
        ::SetLastError(ERROR_FILE_NOT_FOUND);
        return {LastErrorText(), {}, {}};
    }
    const std::wstring program = WideOfUtf8(*field->program);
    std::wstring line = L"\"" + program + L"\"";
    if (!field->arguments.empty()) {
        line += L' ';
        line += WideOfUtf8(field->arguments);
    }
    if (argument) {
        line += L' ';
        line += QuotedArgument(win32::WideOf(*argument));
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!::CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &started)) {
        return {LastErrorText(), {}, {}};
    }
    const win32::UniqueHandle process(started.hProcess);
    const win32::UniqueHandle thread(started.hThread);
    ::WaitForSingleObject(process.get(), INFINITE);
    DWORD status = 0;
    ::GetExitCodeProcess(process.get(), &status);
    return {std::nullopt, static_cast<int>(status), std::nullopt};
}

Failure ShellRun(const text::Cp932String& programField, const std::optional<NativePath>& parameter) {
    const auto field = ReadField(programField);
    if (!field) {
        ::SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return LastErrorText();
    }
    std::wstring parameters = WideOfUtf8(field->arguments);
    if (parameter) {
        parameters += parameters.empty() ? L"" : L" ";
        parameters += QuotedArgument(win32::WideOf(*parameter));
    }
    // Not a program: the shell is given the field whole, and opens a
    // document or finds a program of its own.
    const auto file = field->program ? std::optional(WideOfUtf8(*field->program)) : OsPath(programField);
    if (!file) {
        ::SetLastError(ERROR_BAD_PATHNAME);
        return LastErrorText();
    }
    return ShellOpen(*file, parameters.empty() ? nullptr : &parameters);
}

Failure ShellOpenDocument(const NativePath& path) {
    if (path.empty()) {
        ::SetLastError(ERROR_FILE_NOT_FOUND);
        return LastErrorText();
    }
    return ShellOpen(win32::WideOf(path), nullptr);
}

}  // namespace molvar::platform
