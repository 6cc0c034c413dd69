// A tiny host that uses the installed libraries the way an application would, and every installed header
// of the component: it shows the browser and a toolbar, reads the enumerations through Qt's meta-object
// system, keeps "FindStyle" in a settings file, catches the error a library without tables gives, runs
// a price-file update without a screen and with the component's dialogs against an empty update service,
// and catches the error both pickers give for a folder whose catalogue and template are missing.
#include <jet/writer.h>
#include <kxview/enums.h>
#include <kxview/errors.h>
#include <kxview/frmpub_selectde.h>
#include <kxview/frmselectprice.h>
#include <kxview/kxbar.h>
#include <kxview/kxview.h>
#include <kxview/modupdate.h>
#include <kxview/propertystore.h>
#include <kxview/updateprompts.h>
#include <kxview/updates.h>
#include <QAbstractItemModel>
#include <QApplication>
#include <QDir>
#include <QMetaEnum>
#include <QSettings>
#include <QTableView>
#include <cstdio>

namespace {

int failures = 0;

void check(bool ok, const char* what) {
    std::printf("%s: %s\n", ok ? "ok" : "FAILED", what);
    failures += ok ? 0 : 1;
}

/// Prompts of a host without a screen: it fetches without a window and chooses nothing.
class NoScreen : public kx::UpdatePrompts {
public:
    QStringList titles;
    bool fetch(const kx::FetchRequest& request) override {
        titles << request.title;
        return kx::fetchWithoutWindow(request, [](const QString&, bool) {});
    }
    bool confirmQuotaLibraryOffer(const kx::QuotaLibraryOffer&) override { return false; }
    QStringList choosePriceFiles(const kx::PriceSetOffer&) override { return {}; }
    kx::ReplaceAnswer replaceExistingFile(const QString&) override { return kx::ReplaceAnswer::Keep; }
    void inform(const QString&) override {}
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    QApplication app(argc, argv);
    const QString work = QString::fromLocal8Bit(argv[1]) + QLatin1Char('/');
    QDir().mkpath(work + QStringLiteral("service"));
    const std::string library = (work + QStringLiteral("new.QTDE")).toStdString();
    check(jet::createDatabase(library).ok(), "the engine writes a new database");

    kx::KXView view;
    view.resize(640, 480);
    view.show();
    QApplication::processEvents();
    auto* grid = view.findChild<QTableView*>(QStringLiteral("F"));
    check(view.isVisible() && grid && grid->model()->columnCount() == 10,
          "KXView shows a grid of 10 columns");

    view.setFindStyle(QStringLiteral("DataBook"));
    try {
        view.Load(QString::fromStdString(library));
        check(false, "Load of a library without tables throws kx::DbError");
    } catch (const kx::DbError& e) {
        check(e.code() == jet::Status::Code::NotFound, "Load of a library without tables throws kx::DbError");
    }

    QSettings settings(work + QStringLiteral("host.ini"), QSettings::IniFormat);
    kx::SettingsPropertyStore store(settings, QStringLiteral("KXView1"));
    view.writeProperties(store);
    kx::KXView restored;
    restored.readProperties(store);
    check(restored.FindStyle() == QLatin1String("DataBook"), "FindStyle persists through the property store");

    kx::KXBar bar;
    bar.HideTool_Link();
    check(QMetaEnum::fromType<kx::HCol_F>().valueToKey(int(kx::HCol_F::Code)) == QByteArray("Code") &&
              QMetaEnum::fromType<kx::KXViewEvent>().keyCount() == 8 &&
              QMetaEnum::fromType<kx::KXBarEvent>().keyToValue("ToolClickFind") == 4,
          "the enumerations are known to the meta-object system");

    modUpdate::SetUpdateBaseAddress(work + QStringLiteral("service/"));
    NoScreen prompts;
    const bool withoutScreen =
        modUpdate::UpdatePriceFile(prompts, QStringLiteral("K"), work, work, QStringLiteral("x.QTJG"));
    check(!withoutScreen && prompts.titles == QStringList{QStringLiteral("下载 x.QTJG")},
          "a price file the service lacks is not installed (prompts)");
    check(!modUpdate::UpdatePriceFile(QStringLiteral("K"), work, work, QStringLiteral("x.QTJG")),
          "a price file the service lacks is not installed (dialogs)");

    kx::frmSelectPrice prices;
    prices.SetAppPath(work);
    prices.SetPriceDir(work + QStringLiteral("service/"));
    prices.SetDBName(QStringLiteral("MatePriceIndex.mdb"));
    prices.SetExtension(QStringLiteral(".QTJG"));
    kx::frmPub_SelectDE libraries;
    libraries.SetAppPath(work);
    libraries.SetPath(work + QStringLiteral("service/"));
    libraries.SetDBName(QStringLiteral("DEIndex.mdb"));
    libraries.SetExtension(QStringLiteral(".QTDE"));
    auto refuses = [](auto& picker) {
        try {
            picker.showModal();
            return false;
        } catch (const kx::FileSystemError&) {
            return true;
        }
    };
    check(refuses(prices) && refuses(libraries) && prices.GetUnloadState() == 1 &&
              libraries.GetUnloadState() == 1,
          "the pickers refuse a folder without its catalogue and without a template to copy");
    return failures == 0 ? 0 : 1;
}
