// What the change scan does for a new, changed or vanished file of a watch
// setting: tell the user, run the setting's program or open the file, and
// move the file away afterwards. They block the calling (monitor) thread
// until done and show no failure: what each did, or why it could not, goes
// to the activity history.
#pragma once

#include <optional>

#include "config/watch_record.h"
#include "platform/clock.h"
#include "platform/native_path.h"
#include "platform/services.h"
#include "text/cp932.h"

namespace molvar::engine {

// One event of the setting for the activity history, at the real time.
void TellActivity(const config::WatchEntry& entry, std::string_view event,
                  platform::NativePath path, std::string detail);

// The watched folder as the history names it (empty when it has no OS form).
platform::NativePath WatchedFolderPath(const config::WatchEntry& entry);

// The sound of the setting (beep or WAV file), then the message
// "<folder>を実行します。" when the setting shows one.
void NotifyUser(const config::WatchEntry& entry, const platform::Services& services);

// The file is named by its native name (platform::NativePath), exactly as the
// OS holds it, whether or not it has a code page 932 form.

// Runs the setting's program, with the file's full path as its last argument
// when `openTarget` is set and a file is named (a vanished file names none).
// With `waitForExit` the program is waited for; otherwise it is handed to the
// shell and, with `openTarget`, followed by a one-second pause.
void RunProgram(const std::optional<platform::NativePath>& fileName, const config::WatchEntry& entry,
                const platform::Services& services);

// Opens the file with its associated application, then pauses one second.
void OpenTargetFile(const std::optional<platform::NativePath>& fileName, const config::WatchEntry& entry,
                    const platform::Services& services);

// Moves the file to `moveFolder` when the setting asks for it. An existing
// file of the same name is replaced with `overwriteMoved`; otherwise the moved
// file is named with a time stamp of the move.
void AfterProcess(const platform::NativePath& fileName, const config::WatchEntry& entry,
                  const platform::Services& services);

// report.csv moved at 2012-04-22 14:05:09 becomes report_120422140509.csv:
// the stamp goes before the first full stop, the extension is kept whole.
// Counted in characters: the base keeps at most 127, and fewer when the
// stamped name would not fit the file system's limit for a name.
platform::NativePath TimeStampedName(const platform::NativePath& fileName, const platform::LocalTime& time);

}  // namespace molvar::engine
