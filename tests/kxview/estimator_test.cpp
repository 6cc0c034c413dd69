// The browser's additions driven as a user drives them, offscreen, over a copy of the sample directory:
// typing into the filter and the find dialog (initials, whole syllables, mixed, a polyphonic character, no
// match), favourites across a reopen and a library update, export and copy, the price history, the errata
// mark, and each rough edge of the specified browser, shown with the addition on and as it was with it off.
#include <QAbstractItemModelTester>
#include <QApplication>
#include <QChartView>
#include <QCheckBox>
#include <QClipboard>
#include <QFile>
#include <QFileDialog>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QLineSeries>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QProcess>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSettings>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>
#include <set>

#include "browser_support.h"
#include "core/data/modpub_db.h"
#include "kxview/propertystore.h"
#include "widgets/browser/item_rows.h"
#include "widgets/browser/list_delegate.h"
#include "widgets/controls/kxpicture.h"
#include "widgets/controls/kxtext.h"
#include "widgets/controls/twips.h"

using kx::KXView;
using A = kx::KXView::Addition;
using namespace kxtest;

namespace {

const QString kFind = QStringLiteral("frmPub_Find");

/// The IDs of the items of `table` in `file` whose name contains `part` (the engine's own Like).
std::set<qint64> idsNamed(const QString& file, const QString& table, const QString& part) {
    std::set<qint64> out;
    auto db = modPub_DB::OpenDB(file);
    for (auto rs =
             db->OpenRecordset(QStringLiteral("SELECT * FROM %1 WHERE Name Like '*%2*'").arg(table, part));
         !rs->isEOF(); rs->MoveNext())
        out.insert(rs->Value(QStringLiteral("ID")).toLongLong());
    return out;
}

/// The IDs of the item rows the grid shows.
std::set<qint64> shownIds(Browser& b) {
    std::set<qint64> out;
    for (int r = 1; r < b.cells().Rows(); ++r) {
        if (b.F().isRowShown(r) && b.cells().RowOutlineLevel(r) == 0)
            out.insert(b.cells().TextMatrix(r, kId).toLongLong());
    }
    return out;
}

/// Types `text` as a user does: letters and digits as keys, Chinese characters as an input method
/// commits them.
void type(QWidget& widget, const QString& text) {
    for (const QChar c : text) {
        if (c.unicode() < 0x80) {
            QTest::keyClick(&widget, c.toLatin1());
            continue;
        }
        QInputMethodEvent commit;
        commit.setCommitString(c);
        QApplication::sendEvent(&widget, &commit);
    }
}

/// What the filter and the find dialog are typed: initials, whole syllables, letters after a character, a
/// polyphonic character by its less common reading (长 as chang), and letters no name reads as.
void addPinyinCases() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("sameAs");  // the characters the letters stand for ("" for no match)
    QTest::newRow("initials") << "wybtf"
                              << "挖一般土方";
    QTest::newRow("full pinyin") << "wayibantufang"
                                 << "挖一般土方";
    QTest::newRow("mixed") << "挖ybtf"
                           << "挖一般土方";
    QTest::newRow("polyphonic 长 read chang") << "zhuangchang"
                                              << "桩长";
    QTest::newRow("no match") << "qqqq"
                              << "";
}

QLineEdit& filterBox(Browser& b) {
    return *b.view.findChild<QLineEdit*>(QStringLiteral("txtFilter"));
}

/// Types into the find dialog and confirms it, as a user does.
void findByName(DialogScope& dialogs, const QString& text) {
    dialogs.service->queue(kFind, [text](QDialog& d) {
        d.findChild<kx::KXText*>("txtFindName")->setText(text);
        QTest::mouseClick(d.findChild<kx::KXPicture*>("cmdSure"), Qt::LeftButton);
    });
}

/// Chooses the entry whose text starts with `caption` in the context menu the grid opens at row `row`.
void chooseFromGridMenu(Browser& b, int row, const QString& caption) {
    bool chosen = false;
    QTimer::singleShot(0, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        QVERIFY(menu);
        for (QAction* action : menu->actions()) {
            if (!action->text().startsWith(caption)) continue;
            chosen = true;
            menu->close();
            action->trigger();
            return;
        }
        menu->close();
    });
    const QRect cell = b.F().visualRect(b.cells().index(row - 1, kName));
    emit b.F().customContextMenuRequested(cell.center());
    QVERIFY2(chosen, qPrintable(caption));
}

/// The first `count` rows whose items have a code, after the first.
QList<int> rowsWithCodes(Browser& b, int count) {
    QList<int> rows;
    for (int r = 2; r < b.cells().Rows() && rows.size() < count; ++r) {
        if (!b.cells().TextMatrix(r, kCode).isEmpty() && b.cells().RowOutlineLevel(r) == 0) rows << r;
    }
    return rows;
}

/// The first row whose name carries the errata mark.
int firstCorrectedRow(Browser& b) {
    for (int r = 1; r < b.cells().Rows(); ++r) {
        if (b.cells().TextMatrix(r, kName).endsWith(kx::errataMark())) return r;
    }
    return 0;
}

QByteArray unzipped(const QString& archive, const QString& member) {
    QProcess unzip;
    unzip.start(QStringLiteral("unzip"), {QStringLiteral("-p"), archive, member});
    unzip.waitForFinished(30000);
    return unzip.readAllStandardOutput();
}

/// A property store in memory, for the marks of one test.
class MemoryStore : public kx::PropertyStore {
public:
    std::optional<QVariant> read(const QString& name) const override {
        return m_values.contains(name) ? std::optional<QVariant>(m_values.value(name)) : std::nullopt;
    }
    void write(const QString& name, const QVariant& value) override { m_values[name] = value; }

private:
    QMap<QString, QVariant> m_values;
};

}  // namespace

class EstimatorTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_app.ok()); }

    void everyAdditionIsOffUntilTheHostSwitchesItOn() {
        Browser b;
        const QMetaEnum additions = QMetaEnum::fromType<KXView::Addition>();
        for (int i = 0; i < additions.keyCount(); ++i) {
            QVERIFY(!b.view.addition(static_cast<A>(additions.value(i))));
            // One property per addition, of the same name.
            QVERIFY2(b.view.property(additions.key(i)).isValid(), additions.key(i));
        }
        b.load(m_app, QStringLiteral("DE"), m_app.quota());
        QVERIFY(!b.view.findChild<QWidget*>(QStringLiteral("filterBar")));
        QVERIFY(!b.view.findChild<QWidget*>(QStringLiteral("marksPanel")));
        QCOMPARE(b.F().columnWidth(kName), kx::toPixels(3000));
        b.view.setProperty("FilterBox", true);
        QVERIFY(b.view.FilterBox() && b.view.findChild<QWidget*>(QStringLiteral("filterBar"))->isVisible());
        b.view.setFilterBox(false);
        QVERIFY(!b.view.findChild<QWidget*>(QStringLiteral("filterBar"))->isVisible());
    }

    void filterFindsTheWholeLibraryByPinyin_data() { addPinyinCases(); }
    void filterFindsTheWholeLibraryByPinyin() {
        QFETCH(QString, typed);
        QFETCH(QString, sameAs);
        Browser b;
        b.view.setFilterBox(true);
        b.view.setPinyinFind(true);
        b.view.setEmptyListNotice(true);
        b.load(m_app, QStringLiteral("DE"), m_app.quota());
        b.view.findChild<QCheckBox*>(QStringLiteral("chkWholeLibrary"))->setChecked(true);
        type(filterBox(b), typed);
        const std::set<qint64> expected =
            sameAs.isEmpty() ? std::set<qint64>{} : idsNamed(m_app.quota(), QStringLiteral("DM"), sameAs);
        QVERIFY(sameAs.isEmpty() || !expected.empty());
        QCOMPARE(shownIds(b), expected);
        if (sameAs.isEmpty()) {
            QCOMPARE(b.F().shownRowCount(), 0);
            QVERIFY(b.F().placeholderText().contains(typed));
        }
        // Without pinyin the letters find no Chinese name.
        b.view.setPinyinFind(false);
        if (typed.front().unicode() < 0x80) QCOMPARE(b.F().shownRowCount(), 0);
    }

    void filterNarrowsTheCategoryAndEscClearsIt() {
        Browser b;
        b.view.setFilterBox(true);
        b.view.setPinyinFind(true);
        b.view.setRowErrorsInStatusLine(true);
        b.load(m_app, QStringLiteral("DE"), m_app.quota());
        const int listed = b.cells().Rows() - 1;
        int expected = 0;
        for (int r = 1; r < b.cells().Rows(); ++r)
            expected += b.cells().TextMatrix(r, kName).contains(QStringLiteral("挖一般土方"));
        type(filterBox(b), QStringLiteral("wybtf"));
        const int shown = b.F().shownRowCount();
        QVERIFY(shown > 0 && shown < listed);
        QCOMPARE(shown, expected);
        for (int r = 1; r < b.cells().Rows(); ++r) {
            if (b.F().isRowShown(r))
                QVERIFY(b.cells().TextMatrix(r, kName).startsWith(QStringLiteral("挖一般土方")));
        }
        QVERIFY(b.child("lblStatus")
                    .property("text")
                    .toString()
                    .contains(QStringLiteral("%1 / %2").arg(shown).arg(listed)));
        // Esc in the box, then all rows again; the rows the filter hid are back.
        QTest::keyClick(&filterBox(b), Qt::Key_Escape);
        QCOMPARE(filterBox(b).text(), QString());
        QCOMPARE(b.F().shownRowCount(), listed);
        // A new category is narrowed by the text still typed.
        type(filterBox(b), QStringLiteral("wybtf"));
        b.clickNode(2);
        QVERIFY(b.F().shownRowCount() > 0);
        for (int r = 1; r < b.cells().Rows(); ++r) {
            if (b.F().isRowShown(r))
                QVERIFY(b.cells().TextMatrix(r, kName).startsWith(QStringLiteral("挖一般土方")));
        }
    }

    void filterHighlightsWhatMatches() {
        Browser b;
        b.view.setFilterBox(true);
        b.view.setPinyinFind(true);
        b.load(m_app, QStringLiteral("DE"), m_app.quota());
        type(filterBox(b), QStringLiteral("ybtf"));
        int row = 0;
        for (int r = 1; r < b.cells().Rows() && row == 0; ++r) row = b.F().isRowShown(r) ? r : 0;
        QVERIFY(row > 0);
        b.F().scrollTo(b.cells().index(row - 1, kName));
        const QRect cell = b.F().visualRect(b.cells().index(row - 1, kName));
        const QImage picture = b.F().viewport()->grab(cell).toImage();
        // The matched characters (一般土方 after 挖) sit on the highlight's yellow.
        int yellow = 0;
        for (int x = 0; x < picture.width(); ++x)
            yellow += picture.pixelColor(x, picture.height() / 2 - 5) == QColor(255, 230, 120) ||
                      picture.pixelColor(x, 3) == QColor(255, 230, 120);
        QVERIFY2(yellow > 10, "no highlight drawn");
    }

    void findDialogFindsNamesByPinyin_data() { addPinyinCases(); }
    void findDialogFindsNamesByPinyin() {
        QFETCH(QString, typed);
        QFETCH(QString, sameAs);
        const std::set<qint64> expected =
            sameAs.isEmpty() ? std::set<qint64>{} : idsNamed(m_app.quota(), QStringLiteral("DM"), sameAs);
        QVERIFY(sameAs.isEmpty() || !expected.empty());
        for (const bool pinyin : {true, false}) {
            DialogScope dialogs;
            Browser b;
            b.view.setPinyinFind(pinyin);
            b.view.setEmptyListNotice(true);
            b.load(m_app, QStringLiteral("DE"), m_app.quota());
            // Typed into the dialog's name box and confirmed with Enter, as a user does.
            dialogs.service->queue(kFind, [typed](QDialog& d) {
                auto* name = d.findChild<kx::KXText*>("txtFindName")->findChild<QLineEdit*>();
                name->clear();
                type(*name, typed);
                QTest::keyClick(name, Qt::Key_Return);
            });
            b.view.FindOne();
            // As specified (pinyin off) letters find no Chinese name, and the literal text of a mixed one
            // is in none.
            QCOMPARE(shownIds(b), pinyin ? expected : std::set<qint64>{});
            if (shownIds(b).empty()) QVERIFY(b.F().placeholderText().contains(typed));
        }
    }

    void findDialogKeepsLikeAndItsErrors() {
        DialogScope dialogs;
        Browser b;
        b.view.setPinyinFind(true);
        b.load(m_app, QStringLiteral("DE"), m_app.quota());
        // Characters still find what Like finds, and an apostrophe still ends the find with the engine's
        // error.
        findByName(dialogs, QStringLiteral("一般土方"));
        b.view.FindOne();
        QCOMPARE(shownIds(b), idsNamed(m_app.quota(), QStringLiteral("DM"), QStringLiteral("一般土方")));
        findByName(dialogs, QStringLiteral("a'b"));
        QVERIFY_THROWS_EXCEPTION(kx::DbError, b.view.FindOne());
    }

    void favouritesSurviveAReopenAndALibraryUpdate() {
        SampleApp app;
        QVERIFY(app.ok());
        MemoryStore store;
        QString favourite, called;
        {
            Browser b;
            b.view.SetItemMarksStore(&store);
            b.view.setRecentAndFavourites(true);
            b.view.setGridMenu(true);
            b.load(app, QStringLiteral("DE"), app.quota());
            const QList<int> rows = rowsWithCodes(b, 3);
            QSignalSpy calls(&b.view, &KXView::DoubleClickDE);
            b.doubleClickRow(rows[2]);
            QCOMPARE(calls.count(), 1);
            called = b.cells().TextMatrix(rows[2], kCode);
            QCOMPARE(b.view.findChild<QTreeWidget*>(QStringLiteral("lstRecent"))->topLevelItemCount(), 1);
            b.clickRow(rows[0]);
            QTest::keyClick(b.F().viewport(), Qt::Key_D, Qt::ControlModifier);
            favourite = b.cells().TextMatrix(rows[0], kCode);
            chooseFromGridMenu(b, rows[1], QStringLiteral("加入收藏"));
            auto* favourites = b.view.findChild<QTreeWidget*>(QStringLiteral("lstFavourites"));
            QCOMPARE(favourites->topLevelItemCount(), 2);
            chooseFromGridMenu(b, b.rowOfId(b.cells().TextMatrix(rows[1], kId).toLongLong()),
                               QStringLiteral("取消收藏"));
            QCOMPARE(favourites->topLevelItemCount(), 1);
        }
        // The library is updated: the favourite item is gone from the new edition.
        QCOMPARE(modPub_DB::OpenDB(app.quota())
                     ->Execute(QStringLiteral("DELETE FROM DM WHERE DECode='%1'").arg(favourite)),
                 1);
        Browser b;
        b.view.SetItemMarksStore(&store);
        b.view.setRecentAndFavourites(true);
        b.load(app, QStringLiteral("DE"), app.quota());
        auto* favourites = b.view.findChild<QTreeWidget*>(QStringLiteral("lstFavourites"));
        auto* recent = b.view.findChild<QTreeWidget*>(QStringLiteral("lstRecent"));
        QCOMPARE(favourites->topLevelItemCount(), 1);
        QCOMPARE(favourites->topLevelItem(0)->text(0), favourite);
        QVERIFY(favourites->topLevelItem(0)->text(1).endsWith(QStringLiteral("（本库中已没有此项）")));
        QCOMPARE(recent->topLevelItem(0)->text(0), called);
        // Choosing a recent item lists its category with it current; a missing one changes nothing.
        b.clickNode(b.tree().NodeCount());  // somewhere else: every item
        emit recent->itemDoubleClicked(recent->topLevelItem(0), 0);
        QCOMPARE(b.cells().TextMatrix(b.F().Row(), kCode), called);
        const QStringList listed = column(b.cells(), kId);
        emit favourites->itemDoubleClicked(favourites->topLevelItem(0), 0);
        QCOMPARE(column(b.cells(), kId), listed);
        // Kept by library key: the material library shows none of them.
        b.load(app, QStringLiteral("Mate"), app.material());
        QCOMPARE(favourites->topLevelItemCount() + recent->topLevelItemCount(), 0);
    }

    void exportWritesTheListedRowsAsAWorkbook() {
        DialogScope dialogs;
        MessageScope messages;
        QTemporaryDir dir;
        Browser b;
        b.view.setSpreadsheetExport(true);
        b.view.setGridMenu(true);
        b.view.SetPriceDBFullPath(m_app.priceFile(QStringLiteral("北京2024年1月信息价")));
        b.load(m_app, QStringLiteral("Mate"), m_app.material());
        QCOMPARE(b.cells().Cols(), 11);
        const QString file = dir.filePath(QStringLiteral("材料.xlsx"));
        dialogs.service->queue(QStringLiteral("exportFileDialog"), [file](QDialog& d) {
            static_cast<QFileDialog&>(d).selectFile(file);
            d.accept();
        });
        chooseFromGridMenu(b, 1, QStringLiteral("导出为 XLSX"));
        QVERIFY(messages.service->shown().isEmpty());
        const QString sheet = QString::fromUtf8(unzipped(file, QStringLiteral("xl/worksheets/sheet1.xml")));
        // A header and one row per listed material; prices as numbers, codes and names as text.
        QCOMPARE(sheet.count(QStringLiteral("<row ")), b.cells().Rows());
        QVERIFY(sheet.contains(b.cells().TextMatrix(0, 10)) &&
                sheet.contains(b.cells().TextMatrix(1, kName)));
        int priced = 0;
        for (int r = 1; r < b.cells().Rows(); ++r) {
            const QString price = b.cells().TextMatrix(r, 10);
            if (price.isEmpty()) continue;
            ++priced;
            const QRegularExpression cell(
                QStringLiteral("<c r=\"D%1\" s=\"\\d+\"><v>([0-9.]+)</v></c>").arg(r + 1));
            const QRegularExpressionMatch m = cell.match(sheet);
            QVERIFY2(m.hasMatch(), qPrintable(price));
            QCOMPARE(m.captured(1).toDouble(), price.toDouble());
        }
        QVERIFY(priced > 0);
    }

    void exportKeepsConversionRowsAsAnOutline() {
        DialogScope dialogs;
        QTemporaryDir dir;
        Browser b;
        b.view.setSpreadsheetExport(true);
        b.view.setGridMenu(true);
        b.load(m_app, QStringLiteral("DE"), m_app.quota());
        int item = 0;
        for (int r = 1; r < b.cells().Rows() && item == 0; ++r) {
            b.F().setRow(r);
            item = b.cells().hasChildRows(r) ? r : 0;
        }
        QVERIFY(item > 0);
        const QString file = dir.filePath(QStringLiteral("定额.csv"));
        dialogs.service->queue(QStringLiteral("exportFileDialog"), [file](QDialog& d) {
            static_cast<QFileDialog&>(d).selectFile(file);
            d.accept();
        });
        chooseFromGridMenu(b, item, QStringLiteral("导出为 CSV"));
        QFile csv(file);
        QVERIFY(csv.open(QIODevice::ReadOnly));
        const QStringList lines =
            QString::fromUtf8(csv.readAll()).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), b.cells().Rows());  // the folded conversion rows go along
        QVERIFY(lines.at(item + 1).startsWith(QStringLiteral(" -")));

        // The same list as a workbook: the conversions are level 1 of the outline, folded away.
        const QString book = dir.filePath(QStringLiteral("定额.xlsx"));
        dialogs.service->queue(QStringLiteral("exportFileDialog"), [book](QDialog& d) {
            static_cast<QFileDialog&>(d).selectFile(book);
            d.accept();
        });
        chooseFromGridMenu(b, item, QStringLiteral("导出为 XLSX"));
        const QString sheet = QString::fromUtf8(unzipped(book, QStringLiteral("xl/worksheets/sheet1.xml")));
        QVERIFY(sheet.contains(QRegularExpression(
            QStringLiteral("<row r=\"%1\"[^>]*hidden=\"1\"[^>]*outlineLevel=\"1\"").arg(item + 2))));
    }

    void copiedRowsPasteAsColumns() {
        Browser b;
        b.view.setSpreadsheetExport(true);
        b.load(m_app, QStringLiteral("DE"), m_app.quota());
        b.clickRow(2);
        QTest::mouseClick(b.F().viewport(), Qt::LeftButton, Qt::ShiftModifier,
                          b.F().visualRect(b.cells().index(3, kName)).center());
        QCOMPARE(b.F().Row(), 4);
        QTest::keyClick(b.F().viewport(), Qt::Key_C, Qt::ControlModifier);
        const QMimeData* mime = QApplication::clipboard()->mimeData();
        QVERIFY(mime->hasText() && mime->hasHtml());
        const QStringList lines = mime->text().split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 4);  // the header and rows 2 to 4
        for (int r = 2; r <= 4; ++r) {
            const QStringList cells = lines.at(r - 1).split('\t');
            QCOMPARE(cells.value(0), b.cells().TextMatrix(r, kCode));
            QCOMPARE(cells.value(1), b.cells().TextMatrix(r, kName));
            QCOMPARE(cells.value(2), b.cells().TextMatrix(r, kUnit));
        }
        QCOMPARE(mime->html().count(QStringLiteral("<tr>")), 4);
    }

    void errataMarkRaisesCallDEEditRecord_data() {
        QTest::addColumn<bool>("link");
        QTest::newRow("errata link on") << true;
        QTest::newRow("as specified") << false;
    }
    void errataMarkRaisesCallDEEditRecord() {
        QFETCH(bool, link);
        Browser b;
        b.view.setErrataLink(link);
        b.load(m_app, QStringLiteral("DE"), m_app.quota());
        const int row = firstCorrectedRow(b);
        QVERIFY(row > 0);
        b.F().scrollTo(b.cells().index(row - 1, kName));
        const QModelIndex name = b.cells().index(row - 1, kName);
        const QRect cell = b.F().visualRect(name);
        QSignalSpy edit(&b.view, &KXView::CallDEEditRecord);
        // Where the mark is drawn: at the end of the name, kept in sight however long the name.
        auto* delegate = static_cast<kx::ListDelegate*>(b.F().itemDelegate());
        const bool wasLink = delegate->errataLink();
        delegate->setErrataLink(true);
        const QPoint mark = delegate->errataMarkRect(&b.F(), cell, name).center();
        delegate->setErrataLink(wasLink);
        QVERIFY(cell.contains(mark));
        QTest::mouseClick(b.F().viewport(), Qt::LeftButton, {}, QPoint(cell.left() + 6, cell.center().y()));
        QCOMPARE(edit.count(), 0);  // the name itself is no link
        QTest::mouseClick(b.F().viewport(), Qt::LeftButton, {}, mark);
        QCOMPARE(edit.count(), link ? 1 : 0);
        if (link)
            QCOMPARE(edit.at(0), (QVariantList{b.cells().TextMatrix(row, kId).toInt(),
                                               QString::fromUtf8(sample::names::kBuildingKey)}));
    }

    void rowChangeFailuresGoToTheStatusLineOnce_data() {
        QTest::addColumn<bool>("statusLine");
        QTest::newRow("status line") << true;
        QTest::newRow("as specified: a box per row") << false;
    }
    void rowChangeFailuresGoToTheStatusLineOnce() {
        QFETCH(bool, statusLine);
        MessageScope messages;
        const QRegularExpression logged(QStringLiteral("row change failed: .*DE2018SZ"));
        if (statusLine) {
            // Logged with the engine's text, once however often a failing row is reached.
            QTest::ignoreMessage(QtWarningMsg, logged);
            QTest::failOnWarning(logged);
        }
        Browser b;
        b.view.setRowErrorsInStatusLine(statusLine);
        b.load(m_app, QStringLiteral("DataBook"), m_app.bill());
        b.clickNode(b.tree().NodeCount());
        // Down through every bill item: a related quota of an uninstalled library is among them.
        int failures = 0;
        QString failure;
        b.clickRow(1);
        for (int i = 0; i < b.cells().Rows(); ++i) {
            QTest::keyClick(b.F().viewport(), Qt::Key_Down);
            if (statusLine &&
                !b.child("lblStatus").property("text").toString().startsWith(QStringLiteral("共"))) {
                ++failures;
                failure = b.child("lblStatus").property("text").toString();
            }
        }
        if (!statusLine) {
            QVERIFY(messages.service->shown().size() > 1);  // one modal box per failing row, in English
            QVERIFY(messages.service->shown().at(0).text.contains(QStringLiteral("DE2018SZ")));
            return;
        }
        QVERIFY(messages.service->shown().isEmpty());
        QVERIFY(failures > 0);
        QCOMPARE(failure, QStringLiteral("本机没有安装键为“DE2018SZ”的定额库，无法显示这条相关定额的内容。"));
    }

    void codesKeepTheirMiddle() {
        Browser b;
        b.load(m_app, QStringLiteral("DataBook"), m_app.bill());
        const QFontMetrics metrics(b.F().font());
        int widest = 0;
        for (int r = 1; r < b.cells().Rows(); ++r)
            widest = std::max(widest, metrics.horizontalAdvance(b.cells().TextMatrix(r, kCode)));
        QVERIFY2(b.F().columnWidth(kCode) < widest, "12-digit codes fit as specified: nothing to fix");
        b.view.setFullCodes(true);
        QVERIFY(b.F().columnWidth(kCode) >= widest + 6);
        QCOMPARE(b.cells().ColWidth(kCode), 1000);  // the specified width stays the least
        b.clickNode(b.tree().NodeCount());
        QVERIFY(b.F().columnWidth(kCode) >= widest + 6);
    }

    void aNewListStartsAtItsTop_data() {
        QTest::addColumn<bool>("on");
        QTest::newRow("new list at top") << true;
        QTest::newRow("as specified") << false;
    }
    void aNewListStartsAtItsTop() {
        QFETCH(bool, on);
        Browser b;
        b.view.setNewListAtTop(on);
        b.load(m_app, QStringLiteral("DE"), m_app.quota());
        b.clickNode(b.tree().NodeCount());  // every item: a long list
        b.F().setFocus();
        QTest::keyClick(b.F().viewport(), Qt::Key_End, Qt::ControlModifier);
        QVERIFY(b.F().verticalScrollBar()->value() > 0);
        b.clickNode(2);
        QVERIFY(b.cells().Rows() > 30);
        QCOMPARE(b.F().verticalScrollBar()->value() == 0, on);
    }

    void thePaneIsClearedWithTheList() {
        Browser b;
        b.load(m_app, QStringLiteral("DE"), m_app.quota());
        b.clickRow(1);
        const QString shown = b.txtSM().Text();
        QVERIFY(!shown.isEmpty());
        b.load(m_app, QStringLiteral("DataBook"), m_app.bill());
        QCOMPARE(b.txtSM().Text(), shown);  // as specified: another library's text stays
        b.view.setPaneFollowsList(true);
        b.clickNode(3);
        QCOMPARE(b.txtSM().Text(), QString());
    }

    void afterAFindTheFirstResultIsCurrent_data() {
        QTest::addColumn<bool>("on");
        QTest::newRow("focus on results") << true;
        QTest::newRow("as specified") << false;
    }
    void afterAFindTheFirstResultIsCurrent() {
        QFETCH(bool, on);
        DialogScope dialogs;
        Browser b;
        b.view.setFocusOnResults(on);
        b.load(m_app, QStringLiteral("DE"), m_app.quota());
        b.tree().setFocus();
        findByName(dialogs, QStringLiteral("土方"));
        b.view.FindOne();
        QVERIFY(b.cells().Rows() > 2);
        QCOMPARE(b.F().Row(), on ? 1 : 0);
        QCOMPARE(b.F().hasFocus(), on);
        if (on) {
            // The next arrow key moves in the results instead of replacing them with a category.
            const std::set<qint64> results = shownIds(b);
            QTest::keyClick(b.F().viewport(), Qt::Key_Down);
            QCOMPARE(b.F().Row(), 2);
            QCOMPARE(shownIds(b), results);
        }
    }

    void anEmptyResultSaysSo() {
        DialogScope dialogs;
        Browser b;
        b.load(m_app, QStringLiteral("DE"), m_app.quota());
        findByName(dialogs, QStringLiteral("没有这种子目"));
        b.view.FindOne();
        QCOMPARE(b.cells().Rows(), 1);
        QCOMPARE(b.F().placeholderText(), QString());  // as specified: an empty grid, no word
        b.view.setEmptyListNotice(true);
        findByName(dialogs, QStringLiteral("没有这种子目"));
        b.view.FindOne();
        QCOMPARE(b.F().placeholderText(), QStringLiteral("没有找到与“没有这种子目”匹配的定额子目"));
        const QImage picture = b.F().viewport()->grab().toImage();
        int ink = 0;
        for (int x = 0; x < picture.width(); ++x)
            ink += picture.pixelColor(x, picture.height() / 2).lightness() < 200;
        QVERIFY2(ink > 0, "the notice is painted in the middle of the grid");
    }

    void messageBoxesSpeakChinese() {
        QMessageBox box(QMessageBox::Warning, QStringLiteral("提示"), QStringLiteral("价格已经存在！"),
                        QMessageBox::Ok);
        QCOMPARE(box.button(QMessageBox::Ok)->text(), QStringLiteral("OK"));  // Qt's English texts
        Browser b;
        b.view.setQtTranslations(true);
        QMessageBox translated(QMessageBox::Warning, QStringLiteral("提示"), QStringLiteral("价格已经存在！"),
                               QMessageBox::Ok | QMessageBox::Cancel);
        QVERIFY(translated.button(QMessageBox::Ok)->text().contains(QStringLiteral("确定")));
        QVERIFY(translated.button(QMessageBox::Cancel)->text().contains(QStringLiteral("取消")));
    }

    void theFindDialogOpensOverTheHost() {
        DialogScope dialogs;
        QWidget host;
        host.setGeometry(300, 200, 900, 640);
        Browser b;
        b.view.setParent(&host);
        host.show();
        QVERIFY(QTest::qWaitForWindowExposed(&host));
        b.view.setDialogsOverHost(true);
        b.load(m_app, QStringLiteral("DE"), m_app.quota());
        QPoint centre;
        dialogs.service->queue(kFind, [&](QDialog& d) {
            centre = d.frameGeometry().center();
            d.reject();
        });
        b.view.FindOne();
        QVERIFY2((centre - host.frameGeometry().center()).manhattanLength() < 8,
                 qPrintable(QStringLiteral("%1,%2").arg(centre.x()).arg(centre.y())));
    }

    void keysFindAndFoldTheOutline() {
        DialogScope dialogs;
        Browser b;
        b.view.setOutlineKeys(true);
        b.load(m_app, QStringLiteral("DE"), m_app.quota());
        int item = 0;
        for (int r = 1; r < b.cells().Rows() && item == 0; ++r) {
            b.F().setRow(r);
            item = b.cells().hasChildRows(r) ? r : 0;
        }
        QVERIFY(item > 0);
        b.F().setFocus();
        QCOMPARE(b.cells().IsCollapsed(item), qint16(kx::OutlineCollapsed));
        const struct {
            Qt::Key key;
            qint16 after;
        } steps[] = {{Qt::Key_Right, kx::OutlineExpanded},
                     {Qt::Key_Left, kx::OutlineCollapsed},
                     {Qt::Key_Plus, kx::OutlineExpanded},
                     {Qt::Key_Minus, kx::OutlineCollapsed}};
        for (const auto& step : steps) {
            QTest::keyClick(b.F().viewport(), step.key);
            QCOMPARE(b.cells().IsCollapsed(item), step.after);
        }
        // Left on a conversion row goes up to its item.
        QTest::keyClick(b.F().viewport(), Qt::Key_Right);
        b.F().setRow(item + 1);
        QTest::keyClick(b.F().viewport(), Qt::Key_Left);
        QCOMPARE(b.F().Row(), item);
        dialogs.service->queue(kFind, [](QDialog& d) { d.reject(); });
        QTest::keyClick(b.F().viewport(), Qt::Key_F, Qt::ControlModifier);
        QCOMPARE(dialogs.service->shown(), QStringList{kFind});
    }

    void theNameColumnTakesTheFreeWidth() {
        Browser b;
        b.load(m_app, QStringLiteral("DE"), m_app.quota());
        QCOMPARE(b.F().columnWidth(kName), kx::toPixels(3000));
        b.view.setNameColumnFills(true);
        int others = 0;
        for (int c = 1; c < b.cells().Cols(); ++c)
            others += c != kName && !b.F().isColumnHidden(c) ? b.F().columnWidth(c) : 0;
        QCOMPARE(b.F().columnWidth(kName), b.F().viewport()->width() - others);
        QCOMPARE(b.cells().ColWidth(kName), 3000);
        b.view.resize(1200, 700);
        QCOMPARE(b.F().columnWidth(kName), b.F().viewport()->width() - others);
    }

    void priceHistoryRefusesAKeyLeadingOutOfThePriceFolder() {
        SampleApp app;
        QVERIFY(app.ok());
        QCOMPARE(
            modPub_DB::OpenDB(app.material())
                ->Execute(QStringLiteral("UPDATE KeyInfo SET WithCode='..\\..\\用户数据' WHERE Code='Key'")),
            1);
        DialogScope dialogs;
        MessageScope messages;
        Browser b;
        b.view.setPriceHistory(true);
        b.view.setGridMenu(true);
        b.load(app, QStringLiteral("Mate"), app.material());
        chooseFromGridMenu(b, 1, QStringLiteral("价格走势"));
        // The user reads why; no chart is drawn from files outside the price folder.
        QVERIFY(dialogs.service->shown().isEmpty());
        QCOMPARE(messages.service->shown().size(), 1);
        QVERIFY(messages.service->shown().at(0).text.contains(QStringLiteral("..\\..\\用户数据")));
    }

    void priceHistoryChartsTheSetsFiles() {
        DialogScope dialogs;
        Browser b;
        b.view.setPriceHistory(true);
        b.view.setGridMenu(true);
        b.load(m_app, QStringLiteral("Mate"), m_app.material());
        int rows = 0, lines = 0, segments = 0;
        dialogs.service->queue(QStringLiteral("frmPriceHistory"), [&](QDialog& d) {
            auto* table = d.findChild<QTableWidget*>(QStringLiteral("tblPrices"));
            rows = table->rowCount();
            // Each run of prices between gaps is one line of the chart.
            bool inRun = false;
            for (int r = 0; r < rows; ++r) {
                const bool priced = table->item(r, 2)->text() != QStringLiteral("—");
                segments += priced && !inRun;
                inRun = priced;
            }
            for (QAbstractSeries* s : d.findChild<QChartView*>(QStringLiteral("chart"))->chart()->series())
                lines +=
                    qobject_cast<QLineSeries*>(s) != nullptr && s->type() == QAbstractSeries::SeriesTypeLine;
            d.reject();
        });
        chooseFromGridMenu(b, 1, QStringLiteral("价格走势"));
        const QStringList files = QDir(m_app.appPath() + QString::fromUtf8(sample::names::kPriceRoot) + "/" +
                                       QString::fromUtf8(sample::names::kMaterialKey))
                                      .entryList({QStringLiteral("*.QTJG")}, QDir::Files);
        QCOMPARE(rows, files.size());
        QVERIFY(segments > 0);
        QCOMPARE(lines, segments);
        QCOMPARE(dialogs.service->shown(), QStringList{QStringLiteral("frmPriceHistory")});
    }

private:
    SampleApp m_app;
};

QTEST_MAIN(EstimatorTest)
#include "estimator_test.moc"
