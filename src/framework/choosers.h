// The file-open dialog and the folder chooser, behind the backend. A test
// installs its own choosers, as it does for message boxes.
#pragma once

#include <utility>
#include <vector>

#include "text/cp932.h"

namespace molvar::framework {

struct ChooserResult {
    enum class Outcome {
        Chosen,
        Cancelled,
        NoFileSystemPath,  // a virtual folder (Control Panel, a phone)
        NotConvertible,    // the path has no code page 932 form
    };
    Outcome outcome = Outcome::Cancelled;
    text::Cp932String path;  // full path when chosen
};

struct OpenFileRequest {
    // Pairs of a description and its pattern ("*.EXE"), in order.
    std::vector<std::pair<text::Cp932String, text::Cp932String>> filters;
    text::Cp932String title;
};

class Choosers {
public:
    virtual ~Choosers() = default;
    virtual ChooserResult OpenFile(const OpenFileRequest& request) = 0;
    // `title` heads the chooser; `initial` is selected when it opens.
    virtual ChooserResult Folder(const text::Cp932String& title, const text::Cp932String& initial) = 0;
};

// The platform's choosers, or the ones a test installed.
Choosers& ActiveChoosers();
Choosers& BackendChoosers();

class ScopedChoosers {
public:
    explicit ScopedChoosers(Choosers& choosers);
    ~ScopedChoosers();
    ScopedChoosers(const ScopedChoosers&) = delete;
    ScopedChoosers& operator=(const ScopedChoosers&) = delete;

private:
    Choosers* previous_;
};

// The file-open dialog: filters in the framework's form
// "description|pattern|description|pattern||".
class CFileDialog {
public:
    CFileDialog(bool openFileDialog, const text::Cp932String& filter, const text::Cp932String& title);
    // IDOK when a file was chosen, IDCANCEL otherwise; Result() then says
    // whether the user cancelled or chose something that cannot be used.
    int DoModal();
    const ChooserResult& Result() const { return result_; }
    text::Cp932String GetPathName() const { return result_.path; }

private:
    OpenFileRequest request_;
    ChooserResult result_;
};

}  // namespace molvar::framework
