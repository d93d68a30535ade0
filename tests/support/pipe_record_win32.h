// A Windows named pipe for the argument recorder, shared by the Windows
// tests that start programs.
#pragma once

#include <windows.h>

#include <atomic>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/win32/handle.h"
#include "support/test_support.h"

namespace molvar::test {

// A named pipe that a started program writes its record into: the test
// waits for the program by reading, never by sleeping.
class PipeRecord {
public:
    PipeRecord()
        : name_(LR"(\\.\pipe\molvar-test-)" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                std::to_wstring(counter_.fetch_add(1))),
          pipe_(::CreateNamedPipeW(name_.c_str(), PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED,
                                   PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, 0, 4096, 0, nullptr)),
          event_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
        EXPECT_TRUE(pipe_.valid());
    }

    std::string Name() const { return Utf8(std::filesystem::path(name_)); }

    // The arguments of the one program that connects; empty when none
    // connects within 20 seconds.
    std::optional<std::vector<std::string>> Read() {
        if (!Complete(::ConnectNamedPipe(pipe_.get(), Start()), ERROR_PIPE_CONNECTED)) {
            return std::nullopt;
        }
        std::string content;
        char buffer[4096];
        while (true) {
            const BOOL done = ::ReadFile(pipe_.get(), buffer, sizeof buffer, nullptr, Start());
            DWORD got = 0;
            if (!Complete(done, 0, &got)) {
                if (::GetLastError() == ERROR_BROKEN_PIPE) {
                    return SplitRecord(content);  // the program has closed its end
                }
                return std::nullopt;
            }
            content.append(buffer, got);
        }
    }

private:
    OVERLAPPED* Start() {
        overlapped_ = OVERLAPPED{};
        ::ResetEvent(event_.get());
        overlapped_.hEvent = event_.get();
        return &overlapped_;
    }

    // Waits for the started operation; `alsoDone` is an error that means it
    // had already happened.
    bool Complete(BOOL started, DWORD alsoDone, DWORD* transferred = nullptr) {
        DWORD count = 0;
        if (!started) {
            const DWORD error = ::GetLastError();
            if (alsoDone != 0 && error == alsoDone) {
                return true;
            }
            if (error != ERROR_IO_PENDING) {
                return false;
            }
        }
        if (::WaitForSingleObject(event_.get(), 20000) != WAIT_OBJECT_0) {
            ADD_FAILURE() << "the program never wrote";
            ::CancelIoEx(pipe_.get(), &overlapped_);
            ::GetOverlappedResult(pipe_.get(), &overlapped_, &count, TRUE);
            ::SetLastError(ERROR_TIMEOUT);
            return false;
        }
        const BOOL ok = ::GetOverlappedResult(pipe_.get(), &overlapped_, &count, FALSE);
        if (transferred) {
            *transferred = count;
        }
        return ok;
    }

    static inline std::atomic<int> counter_{0};
    std::wstring name_;
    platform::win32::UniqueHandle pipe_;
    platform::win32::UniqueHandle event_;
    OVERLAPPED overlapped_{};
};

}  // namespace molvar::test
