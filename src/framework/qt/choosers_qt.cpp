// Qt's file-open dialog and folder chooser, owned by the modal dialog that
// asks. Paths come back in code page 932, or not at all.
#include <QFileDialog>
#include <QStringList>

#include "framework/qt/qt_app.h"
#include "framework/qt/qt_window.h"

namespace molvar::framework::qt {
namespace {

ChooserResult Chosen(const QString& path) {
    if (path.isEmpty()) {
        return {};
    }
    if (auto converted = ToCp932(path)) {
        return {ChooserResult::Outcome::Chosen, std::move(*converted)};
    }
    return {ChooserResult::Outcome::NotConvertible, {}};
}

// The patterns of one Windows filter ("*.EXE;*.COM") as Qt reads them.
QStringList PatternsOf(const QString& windowsPatterns) {
    QStringList patterns;
    for (const QString& part : windowsPatterns.split(u';', Qt::SkipEmptyParts)) {
        const QString pattern = part.trimmed();
        if (pattern.isEmpty()) {
            continue;
        }
        // "*.*" matches every name on Windows, also one without a dot.
        if (pattern == QStringLiteral("*.*")) {
            patterns << QStringLiteral("*");
            continue;
        }
        patterns << pattern;
        // Windows compares names without case; Linux file systems do not.
        const QString lower = pattern.toLower();
        if (lower != pattern) {
            patterns << lower;
        }
    }
    patterns.removeDuplicates();
    return patterns;
}

// A description without the patterns Windows programs show in it ("Programs
// (*.EXE)"): Qt shows the patterns it uses after it. Other words in
// parentheses stay.
QString DescriptionOf(const QString& text) {
    const QString description = text.trimmed();
    const qsizetype open = description.lastIndexOf(u'(');
    if (!description.endsWith(u')') || open <= 0) {
        return description;
    }
    const QString inside = description.mid(open);
    if (!inside.contains(u'*') && !inside.contains(u'?')) {
        return description;
    }
    return description.left(open).trimmed();
}

class QtChoosers final : public Choosers {
public:
    ChooserResult OpenFile(const OpenFileRequest& request) override {
        return Chosen(QFileDialog::getOpenFileName(ActiveModalWidget(), ToQString(request.title), QString(),
                                                   NameFiltersOf(request).join(QStringLiteral(";;"))));
    }

    ChooserResult Folder(const text::Cp932String& title, const text::Cp932String& initial) override {
        return Chosen(QFileDialog::getExistingDirectory(ActiveModalWidget(), ToQString(title), ToQString(initial),
                                                        QFileDialog::ShowDirsOnly));
    }
};

}  // namespace

QStringList NameFiltersOf(const OpenFileRequest& request) {
    QStringList filters;
    for (const auto& [description, windowsPatterns] : request.filters) {
        const QStringList patterns = PatternsOf(ToQString(windowsPatterns));
        if (patterns.isEmpty()) {
            continue;
        }
        const QString shown = DescriptionOf(ToQString(description));
        const QString joined = patterns.join(u' ');
        filters << (shown.isEmpty() ? joined : shown + QStringLiteral(" (") + joined + u')');
    }
    return filters;
}

Choosers& FileChoosers() {
    static QtChoosers choosers;
    return choosers;
}

}  // namespace molvar::framework::qt
