// Command routing: a command (a menu item's id) or a query for its state
// travels to the objects that may handle it, and each of them looks it up in
// its message map, a table from command id and notification code to handler.
#pragma once

#include <span>

namespace molvar::framework {

// Notification codes of a command map entry, with the framework's values.
inline constexpr int CN_COMMAND = 0;
inline constexpr int CN_UPDATE_COMMAND_UI = -1;
// Asks only whether a command handler exists; nothing is called.
inline constexpr int CN_HAS_HANDLER = -2;

// The framework's exit command: closes the application.
inline constexpr unsigned ID_APP_EXIT = 57665;

// The state of one command's menu item, asked for before the menu shows.
class CCmdUI {
public:
    explicit CCmdUI(unsigned id) : m_nID(id) {}
    virtual ~CCmdUI() = default;

    virtual void Enable(bool on = true) { m_bEnabled = on; }

    unsigned m_nID;
    bool m_bEnabled = true;
};

class CCmdTarget {
public:
    virtual ~CCmdTarget() = default;

    // Hands a command (code CN_COMMAND) or a state query (CN_UPDATE_COMMAND_UI,
    // with `ui`) to this object's handler; false when it has none.
    virtual bool OnCmdMsg(unsigned id, int code, CCmdUI* ui) = 0;
};

// One entry of a message map of class Target: a command handler, or a
// state handler for CN_UPDATE_COMMAND_UI.
template <class Target>
struct MessageMapEntry {
    unsigned id;
    int code;
    void (Target::*onCommand)() = nullptr;
    void (Target::*onUpdate)(CCmdUI*) = nullptr;
};

template <class Target>
constexpr MessageMapEntry<Target> OnCommand(unsigned id, void (Target::*handler)()) {
    return {id, CN_COMMAND, handler, nullptr};
}

template <class Target>
constexpr MessageMapEntry<Target> OnUpdateCommandUI(unsigned id, void (Target::*handler)(CCmdUI*)) {
    return {id, CN_UPDATE_COMMAND_UI, nullptr, handler};
}

// Looks the command up in `map` and calls the first matching handler.
template <class Target>
bool DispatchThroughMap(Target& target, std::span<const MessageMapEntry<Target>> map, unsigned id, int code,
                        CCmdUI* ui) {
    for (const MessageMapEntry<Target>& entry : map) {
        if (code == CN_HAS_HANDLER && entry.id == id && entry.code == CN_COMMAND) {
            return true;
        }
        if (entry.id != id || entry.code != code) {
            continue;
        }
        if (entry.onUpdate != nullptr) {
            if (ui == nullptr) {
                return false;
            }
            (target.*entry.onUpdate)(ui);
        } else {
            (target.*entry.onCommand)();
        }
        return true;
    }
    return false;
}

}  // namespace molvar::framework
