#include "widgets/services/translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include "core/services/logging.h"

namespace kx {
namespace {

/// Whether Qt's standard button texts are translated (by the host or by us).
bool qtTextsTranslated() {
    return QCoreApplication::translate("QPlatformTheme", "OK") != QLatin1String("OK");
}

}  // namespace

bool useQtChineseTranslations() {
    static bool tried = false;
    if (tried || qtTextsTranslated() || QCoreApplication::instance() == nullptr) return qtTextsTranslated();
    tried = true;
    auto* translator = new QTranslator(QCoreApplication::instance());
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (!translator->load(QStringLiteral("qtbase_zh_CN"), folder)) {
        qCWarning(lcKxView) << "Qt's Chinese translations not found in" << folder
                            << "(qt6-translations-l10n)";
        delete translator;
        return false;
    }
    QCoreApplication::installTranslator(translator);
    return qtTextsTranslated();
}

}  // namespace kx
