// The demo host's pickers end to end: its buttons press the browser's library and price tools, the
// pickers are answered by script, and what is missing comes from the mirror the window serves on
// 127.0.0.1: a quota library that is not installed, then a price file that is not installed, whose column
// the browser adds. Everything written stays below the application directory.
#include <QAbstractItemView>
#include <QDialog>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTreeView>
#include <QtTest>

#include "demo_window.h"
#include "kxview/kxview.h"
#include "scripted_ui.h"
#include "widgets/controls/kxpicture.h"

namespace {

/// Clicks the entry captioned `text` in a picker's tree, as a user does.
bool clickEntry(QDialog& picker, const QString& text) {
    auto* view = picker.findChild<QWidget*>("tree")->findChild<QTreeView*>();
    const QModelIndexList found = view->model()->match(view->model()->index(0, 0), Qt::DisplayRole, text, 1,
                                                       Qt::MatchExactly | Qt::MatchRecursive);
    if (found.isEmpty()) return false;
    view->scrollTo(found.first());
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(found.first()).center());
    return true;
}

void press(QDialog& picker, const char* button) {
    QTest::mouseClick(picker.findChild<kx::KXPicture*>(button), Qt::LeftButton);
}

QStringList logLines(const demo::DemoWindow& window) {
    return window.findChild<QPlainTextEdit*>("eventLog")->toPlainText().split('\n');
}

}  // namespace

class DemoPickersTest : public QObject {
    Q_OBJECT

private slots:
    void aMissingLibraryAndAMissingPriceFileComeFromTheMirror() {
        QTemporaryDir dir;
        const QString app = dir.filePath("app");
        QVERIFY(kxtest::copySampleApp(app));
        demo::DemoWindow window(app);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(window.open(demo::Library::Quota));
        kxtest::ScriptedUi ui;
        const auto before = kxtest::snapshot(dir.path());

        ui.dialogs->queue("frmPub_SelectDE", [&](QDialog& d) {
            QVERIFY(clickEntry(d, "2018年市政工程消耗量定额"));
            ui.messages->queueAnswer(kx::MessageAnswer::Yes);
            press(d, "cmdSure");
        });
        ui.dialogs->queue("frmPub_DownLoad", [](QDialog&) {});  // closes itself when the package is in
        window.switchLibrary();
        const QString municipal = app + "/造价资料/定额库/市政工程消耗量定额.QTDE";
        QCOMPARE(window.view().GetDBFullName(), municipal);
        QCOMPARE(kxtest::keyInfo(municipal, "Key"), QString("DE2018SZ"));

        ui.dialogs->queue("frmSelectPrice", [&](QDialog& d) {
            ui.messages->queueAnswer(kx::MessageAnswer::Yes);
            QVERIFY(clickEntry(d, "北京市2024年3月建设工程材料信息价"));  // not installed: offered at once
            press(d, "cmdSure");
        });
        ui.dialogs->queue("frmPub_DownLoad", [](QDialog&) {});
        window.selectPriceFile();
        QCOMPARE(window.cellText(0, window.columnCount() - 1), QString("京24.03"));

        QCOMPARE(ui.dialogs->shown(),
                 (QStringList{"frmPub_SelectDE", "frmPub_DownLoad", "frmSelectPrice", "frmPub_DownLoad"}));
        QCOMPARE(ui.messageTexts(), (QStringList{"选择的定额尚未安装，是否远程下载！",
                                                 "当前价格文件不存在，是否立即远程下载！"}));
        const QStringList changed = kxtest::changedPaths(before, kxtest::snapshot(dir.path()));
        for (const QString& path : changed) QVERIFY2(path.startsWith("app/"), qPrintable(path));
        for (const char* file : {"app/造价资料/定额库/市政工程消耗量定额.QTDE",
                                 "app/造价资料/材料价格文件/CJ2018/北京2024年3月信息价.QTJG"})
            QVERIFY2(changed.contains(QString::fromUtf8(file)), file);
        const QStringList log = logLines(window);
        for (const QString& line :
             {QString("  http GET /更新数据/定额库/市政工程消耗量定额.rar -> 200"),
              QString("SwitchLibrary (tool tMateIndex)"),
              QString("  GetDBFullName() = \"市政工程消耗量定额.QTDE\""),
              QString("  http GET /更新数据/材料价格/CJ2018/北京2024年3月信息价.rar -> 200"),
              QString("SelectPriceFile (tool tWithPrice)"), QString("  price columns: \"京24.03\"")})
            QVERIFY2(log.contains(line), qPrintable(line));
    }
};

QTEST_MAIN(DemoPickersTest)
#include "demo_pickers_test.moc"
