// The document: the object that owns the application's data. The framework
// creates it before the main window and routes commands to it after the
// window and the view.
#pragma once

#include "framework/command_target.h"

namespace molvar::framework {

class CDocument : public CCmdTarget {
public:
    bool OnCmdMsg(unsigned, int, CCmdUI*) override { return false; }
};

}  // namespace molvar::framework
