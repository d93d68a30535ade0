// The name the framework keeps for the application (its m_pszExeName).
#pragma once

#include "text/cp932.h"

namespace molvar::framework {

// The running executable's file name without folder and extension ("Molvar3"
// for "C:\Program Files\Molvar3\Molvar3.exe"; on Linux the name it was
// started under, a link's own name); empty when it cannot be told or has no
// code page 932 form.
text::Cp932String ExecutableName();

}  // namespace molvar::framework
