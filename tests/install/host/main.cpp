// A tiny host that uses the installed libraries the way an application would: it opens a database through
// the component and shows the library browser on a window.
#include <jet/writer.h>
#include <kxview/core/data/modpub_db.h>
#include <kxview/kxview.h>
#include <kxview/widgets/controls/outlinegrid.h>
#include <QApplication>
#include <cstdio>

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    QApplication app(argc, argv);
    const std::string path = argv[1];
    if (!jet::createDatabase(path).ok()) return 3;
    try {
        auto db = modPub_DB::OpenDB(QString::fromStdString(path));
        std::printf("%d tables\n", db->TableDefCount());
        if (db->TableDefCount() == 0) return 4;
    } catch (const kx::DbError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    kx::KXView view;
    view.setFindStyle(QStringLiteral("Mate"));
    view.resize(640, 480);
    view.show();
    QApplication::processEvents();
    auto* grid = view.findChild<kx::OutlineGrid*>(QStringLiteral("F"));
    std::printf("KXView shown: %s, grid of %d columns\n", view.isVisible() ? "yes" : "no",
                grid ? grid->cells().Cols() : 0);
    return view.isVisible() && grid && grid->cells().Cols() == 10 ? 0 : 5;
}
