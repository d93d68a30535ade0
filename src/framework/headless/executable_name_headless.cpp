// The name the program was started under, not the file it resolves to: a
// copy started through a link of another name counts as another program.
#include <errno.h>  // program_invocation_name (GNU)

#include <string_view>

#include "framework/executable_name.h"
#include "text/convert.h"

namespace molvar::framework {

text::Cp932String ExecutableName() {
    std::string_view name = program_invocation_name != nullptr ? program_invocation_name : "";
    name = name.substr(name.find_last_of('/') + 1);
    if (const auto dot = name.find_last_of('.'); dot != std::string_view::npos && dot > 0) {
        name = name.substr(0, dot);
    }
    return text::FromUtf8(name).value_or(text::Cp932String());
}

}  // namespace molvar::framework
