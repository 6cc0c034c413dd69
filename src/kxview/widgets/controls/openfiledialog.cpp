#include "widgets/controls/openfiledialog.h"

#include <QFileDialog>
#include <QFileInfo>

#include "core/io/filesystem.h"
#include "core/services/filedialogs.h"

namespace kx {
namespace {

/// The folder and the name a dialog starts with, from a name like "D:\价格\*.JG" or "a.QTJG".
struct StartingPoint {
    QString folder;
    QString name;  // empty when the name is a pattern: the filter already shows those files
};

StartingPoint startingPoint(const QString& fileName) {
    const QString slashed = fs::withSlashes(fileName);
    const qsizetype cut = slashed.lastIndexOf(QLatin1Char('/'));
    StartingPoint start;
    start.folder = cut < 0 ? QString() : fs::resolve(slashed.left(cut + 1));
    const QString name = slashed.mid(cut + 1);
    if (!name.contains(QLatin1Char('*')) && !name.contains(QLatin1Char('?'))) start.name = name;
    return start;
}

/// Real open-file dialogs. Qt's dialog has no read-only box, so the one OpenFileSpec may hide never shows.
class QtFileDialogService : public FileDialogService {
public:
    std::optional<QString> getOpenFileName(const OpenFileSpec& spec, QObject* parent) override {
        QFileDialog dialog(qobject_cast<QWidget*>(parent), spec.title);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
        const QStringList filters = qtNameFilters(spec.filter);
        if (!filters.isEmpty()) dialog.setNameFilters(filters);
        const StartingPoint start = startingPoint(spec.fileName);
        if (QFileInfo(start.folder).isDir()) dialog.setDirectory(start.folder);
        if (!start.name.isEmpty()) dialog.selectFile(start.name);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
        return dialog.selectedFiles().constFirst();
    }
};

}  // namespace

QStringList qtNameFilters(const QString& filter) {
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts[i].trimmed();
        const QString patterns = parts[i + 1].trimmed();
        if (patterns.isEmpty()) continue;
        const QString shown = QLatin1Char('(') + patterns + QLatin1Char(')');
        if (description.endsWith(shown)) description.chop(shown.size());
        QString spaced = patterns;
        spaced.replace(QLatin1Char(';'), QLatin1Char(' '));
        filters << description.trimmed() + QStringLiteral(" (") + spaced.simplified() + QLatin1Char(')');
    }
    return filters;
}

void useFileDialogs() {
    static const bool installed = [] {
        setDefaultFileDialogService(std::make_unique<QtFileDialogService>());
        return true;
    }();
    Q_UNUSED(installed);
}

}  // namespace kx
