// Held by the backends for the length of every file write, so that the end
// of the program never cuts one in two (EndProcessAfterFileWrites).
#pragma once

namespace molvar::platform {

class FileWriteScope {
public:
    // Once the end has begun no write starts: the thread waits for the end.
    FileWriteScope();
    ~FileWriteScope();
    FileWriteScope(const FileWriteScope&) = delete;
    FileWriteScope& operator=(const FileWriteScope&) = delete;
};

}  // namespace molvar::platform
