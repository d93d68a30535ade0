// What the change scan does for a new, changed or vanished file of a watch
// setting: tell the user, run the setting's program or open the file, and
// move the file away afterwards. They block the calling (monitor) thread
// until done and report no failure: a reaction that cannot be carried out
// passes in silence.
#pragma once

#include <optional>

#include "config/watch_record.h"
#include "platform/clock.h"
#include "platform/services.h"
#include "text/cp932.h"

namespace molvar::engine {

// The sound of the setting (beep or WAV file), then the message
// "<folder>を実行します。" when the setting shows one.
void NotifyUser(const config::WatchEntry& entry, const platform::Services& services);

// Runs the setting's program, with the file's full path as its last argument
// when `openTarget` is set and a file is named (a vanished file names none).
// With `waitForExit` the program is waited for; otherwise it is handed to the
// shell and, with `openTarget`, followed by a one-second pause.
void RunProgram(const std::optional<text::Cp932String>& fileName, const config::WatchEntry& entry,
                const platform::Services& services);

// Opens the file with its associated application, then pauses one second.
void OpenTargetFile(const std::optional<text::Cp932String>& fileName, const config::WatchEntry& entry,
                    const platform::Services& services);

// Moves the file to `moveFolder` when the setting asks for it. An existing
// file of the same name is replaced with `overwriteMoved`; otherwise the moved
// file is named with a time stamp of the move.
void AfterProcess(const text::Cp932String& fileName, const config::WatchEntry& entry,
                  const platform::Services& services);

// report.csv moved at 2012-04-22 14:05:09 becomes report_120422140509.csv:
// the stamp goes before the first full stop, the extension is kept whole.
text::Cp932String TimeStampedName(const text::Cp932String& fileName, const platform::LocalTime& time);

}  // namespace molvar::engine
