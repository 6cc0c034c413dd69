// The smaller platform pieces the browser stands on: twips, leading numbers, the category SQL texts, the
// splitter, the framed panel, the description pane and the guard around event handlers.
#include <QFile>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>
#include <stdexcept>

#include "core/data/modsql.h"
#include "core/data/numbers.h"
#include "core/services/messages.h"
#include "kxview/errors.h"
#include "widgets/controls/framedpanel.h"
#include "widgets/controls/picture.h"
#include "widgets/controls/richtextpane.h"
#include "widgets/controls/splitter.h"
#include "widgets/controls/twips.h"
#include "widgets/services/guard.h"

class PlatformWidgetsTest : public QObject {
    Q_OBJECT

private slots:
    void twipsRoundToPixels_data() {
        QTest::addColumn<int>("twips");
        QTest::addColumn<int>("pixels");
        QTest::newRow("exact") << 300 << 20;
        QTest::newRow("rounds down") << 1000 << 67;
        QTest::newRow("half a pixel rounds up") << 8 << 1;
        QTest::newRow("less than half") << 7 << 0;
        QTest::newRow("negative") << -30 << -2;
    }
    void twipsRoundToPixels() {
        QFETCH(int, twips);
        QFETCH(int, pixels);
        QCOMPARE(kx::toPixels(twips), pixels);
    }

    void twipGeometryReadsBackWhatWasSetUntilTheWidgetMoves() {
        QWidget parent;
        QWidget child(&parent);
        QVERIFY(kx::setTwipGeometry(child, {10, 10, 980, 470}));
        QCOMPARE(child.geometry(), QRect(1, 1, 65, 31));
        QCOMPARE(kx::twipGeometry(child), (kx::TwipRect{10, 10, 980, 470}));
        QVERIFY(!kx::setTwipGeometry(child, {0, 0, -15, 300}));  // refused: the widget stays
        QCOMPARE(kx::twipGeometry(child), (kx::TwipRect{10, 10, 980, 470}));
        child.setGeometry(2, 3, 40, 50);  // moved by someone else: pixels count
        QCOMPARE(kx::twipGeometry(child), (kx::TwipRect{30, 45, 600, 750}));
    }

    void leadingNumbers_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("number");
        QTest::newRow("digits") << "123" << 123.0;
        QTest::newRow("digits then letters") << "12abc" << 12.0;
        QTest::newRow("blanks, sign, fraction") << "  -3.25x" << -3.25;
        QTest::newRow("plus sign") << "+7" << 7.0;
        QTest::newRow("fraction only") << ".5" << 0.5;
        QTest::newRow("letters first") << "a1" << 0.0;
        QTest::newRow("sign alone") << "-" << 0.0;
        QTest::newRow("empty") << "" << 0.0;
        QTest::newRow("a second point ends it") << "1.2.3" << 1.2;
        QTest::newRow("exponent, as the database writes small numbers") << "1e-05" << 1e-05;
        QTest::newRow("capital exponent with a sign") << "2.5E+2x" << 250.0;
        QTest::newRow("an e without digits ends it") << "12e" << 12.0;
        QTest::newRow("an exponent without a number") << "e5" << 0.0;
        QTest::newRow("line breaks before") << "\r\n 5" << 5.0;
        QTest::newRow("an ideographic space is no blank") << "\u30007" << 0.0;
    }
    void leadingNumbers() {
        QFETCH(QString, text);
        QFETCH(double, number);
        QCOMPARE(kx::leadingNumber(text), number);
    }

    void roundingHalvesToEvenAndRefusingOverflow() {
        QCOMPARE(kx::roundToInt32(2.5), 2);
        QCOMPARE(kx::roundToInt32(3.5), 4);
        QCOMPARE(kx::roundToInt32(-2.5), -2);
        QCOMPARE(kx::roundToInt16(32767.4), qint16(32767));
        QVERIFY_THROWS_EXCEPTION(std::overflow_error, kx::roundToInt16(32767.5));
        QVERIFY_THROWS_EXCEPTION(std::overflow_error, kx::roundToInt32(3e9));
        QVERIFY_THROWS_EXCEPTION(std::overflow_error, kx::roundToInt32(kx::leadingNumber("1e400")));
        QCOMPARE(kx::formatTwoDecimals(kx::leadingNumber("1e-05")), QStringLiteral("0.00"));
        QCOMPARE(kx::formatTwoDecimals(kx::leadingNumber("1.5e3")), QStringLiteral("1500.00"));
    }

    void categorySqlTexts() {
        QCOMPARE(modSQL_Mate::GetMateClassSQL(QStringLiteral("0101")),
                 QStringLiteral("SELECT * FROM Mate WHERE Mid(Mate.Class,1,4)='0101' Order BY OCode"));
        QCOMPARE(
            modSQL_DataBook::GetDataBookClassSQL(QStringLiteral("010101")),
            QStringLiteral("SELECT * FROM DataBook WHERE Mid(DataBook.Class,1,6)='010101' Order BY OCode"));
        QCOMPARE(
            modSQL_DM::GetDMClassSQL(QString()),
            QStringLiteral("SELECT * FROM DM WHERE Mid(DM.Class,1,0)='' Order BY Code1,Code2,Code3,Code4"));
    }

    void splitterReportsItsPanesAndFollowsTheBar() {
        kx::PaneSplitter splitter;
        splitter.resize(300, 405);
        splitter.show();
        QVERIFY(QTest::qWaitForWindowExposed(&splitter));
        QSignalSpy changed(&splitter, &kx::PaneSplitter::panesChanged);
        splitter.setUpperShare(0.5);
        QCOMPARE(splitter.upperPaneHeight(), 200);
        QCOMPARE(splitter.lowerPaneTop(), 205);
        QCOMPARE(splitter.lowerPaneBottom(), 405);
        QCOMPARE(changed.count(), 1);
        QTest::mousePress(&splitter, Qt::LeftButton, {}, QPoint(10, 202));
        QTest::mouseMove(&splitter, QPoint(10, 102));
        QTest::mouseRelease(&splitter, Qt::LeftButton, {}, QPoint(10, 102));
        QCOMPARE(splitter.upperPaneHeight(), 100);
        QTest::mousePress(&splitter, Qt::LeftButton, {}, QPoint(10, 50));  // outside the bar: no drag
        QTest::mouseMove(&splitter, QPoint(10, 300));
        QTest::mouseRelease(&splitter, Qt::LeftButton, {}, QPoint(10, 300));
        QCOMPARE(splitter.upperPaneHeight(), 100);
        splitter.resize(300, 805);
        QCOMPARE(splitter.upperPaneHeight(), 200);  // the share is kept
        splitter.setUpperShare(7);
        QCOMPARE(splitter.upperPaneHeight(), 800);
    }

    void framedPanelShowsItsCloseButtonOnlyWhenAsked() {
        kx::FramedPanel panel;
        panel.resize(200, 100);
        panel.setBorderColor(QColor(128, 128, 128));
        panel.show();
        QVERIFY(QTest::qWaitForWindowExposed(&panel));
        auto* close = panel.findChild<QToolButton*>(QStringLiteral("cmdClose"));
        QVERIFY(!close->isVisible());
        QCOMPARE(panel.grab().toImage().pixelColor(0, 50), QColor(128, 128, 128));
        panel.setShowClose(true);
        QSignalSpy closed(&panel, &kx::FramedPanel::closeClicked);
        QTest::mouseClick(close, Qt::LeftButton);
        QCOMPARE(closed.count(), 1);
    }

    void descriptionPaneKeepsTheTextAndBreaksLinesAtCrAndLf() {
        kx::RichTextPane box;
        const QString text = QStringLiteral("挖土、抛土。\r说明一\r\n说明二\n说明三");
        box.setText(text);
        QCOMPARE(box.Text(), text);
        QCOMPARE(box.findChild<QPlainTextEdit*>(QStringLiteral("textEdit"))->document()->blockCount(), 4);
    }

    void picturesThatCannotBeReadAreErrors() {
        QVERIFY_THROWS_EXCEPTION(kx::ControlError, kx::loadPicture(QStringLiteral("/nonexistent/Kind.ico")));
        QTemporaryDir dir;
        QFile junk(dir.filePath("Kind.ico"));
        QVERIFY(junk.open(QIODevice::WriteOnly));
        junk.write("not an icon");
        junk.close();
        QVERIFY_THROWS_EXCEPTION(kx::ControlError, kx::loadPicture(junk.fileName()));
    }

    void guardedHandlersReportFailuresWithoutThrowing() {
        auto owned = std::make_unique<kx::ScriptedMessageService>();
        kx::ScriptedMessageService* service = owned.get();
        kx::setMessageService(std::move(owned));
        bool after = false;
        kx::runGuarded(nullptr, QStringLiteral("test handler"),
                       [] { throw kx::ControlError("the library is gone"); });
        kx::runGuarded(nullptr, QStringLiteral("test handler"), [&] { after = true; });
        QVERIFY(after);
        QCOMPARE(service->shown().size(), 1);
        QCOMPARE(service->shown().at(0).text, QStringLiteral("the library is gone"));
        QCOMPARE(service->shown().at(0).title, QStringLiteral("提示"));
        QCOMPARE(service->shown().at(0).icon, kx::MessageBoxSpec::Icon::Warning);
        kx::setMessageService(nullptr);
    }
};

QTEST_MAIN(PlatformWidgetsTest)
#include "platform_widgets_test.moc"
