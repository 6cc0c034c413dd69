// The smaller platform pieces the browser stands on: twips, leading numbers, the category SQL texts, the
// splitter, the framed panel, the description pane and the guard around event handlers.
#include <QFile>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>
#include <bit>
#include <cmath>
#include <limits>
#include <random>
#include <stdexcept>

#include "core/data/modsql.h"
#include "core/data/numbers.h"
#include "core/db/dbengine.h"
#include "core/services/messages.h"
#include "kxview/errors.h"
#include "widgets/controls/framedpanel.h"
#include "widgets/controls/picture.h"
#include "widgets/controls/richtextpane.h"
#include "widgets/controls/splitter.h"
#include "widgets/controls/twips.h"
#include "widgets/services/guard.h"

namespace {

/// The general converters the fast number paths stand in for.
double generalLeadingNumber(const QString& plainDecimal) {
    return plainDecimal.toDouble();
}
QString generalTwoDecimals(double value) {
    return QString::number(std::round(value * 100.0) / 100.0 + 0.0, 'f', 2);
}
QString twoDecimalsThroughText(const jet::Value& value) {
    return kx::formatTwoDecimals(kx::leadingNumber(kx::valueText(value)));
}

/// Doubles a price column meets, and the ones its rounding is most fragile on: within a few units in the
/// last place of a half cent, whose 15-digit text may land on either side of it.
std::vector<double> testDoubles() {
    std::mt19937_64 random(20261207);
    std::vector<double> values = {0.0,
                                  -0.0,
                                  0.005,
                                  -0.005,
                                  1.005,
                                  2.675,
                                  0.125,
                                  1e-5,
                                  0.1 + 0.2,
                                  1e13 - 0.005,
                                  1e13,
                                  123456789012.345,
                                  9007199254740993.0,
                                  1e300,
                                  -1e300,
                                  std::numeric_limits<double>::infinity(),
                                  std::numeric_limits<double>::quiet_NaN(),
                                  std::numeric_limits<double>::denorm_min()};
    for (int i = 0; i < 20000; ++i) {
        const double halfCent = (static_cast<double>(random() % 100'000'000) + 0.5) / 100.0;
        double near = halfCent;
        for (int steps = static_cast<int>(random() % 8); steps > 0; --steps)
            near = std::nextafter(near, (random() & 1) ? 1e300 : -1e300);
        values.push_back((random() & 1) ? near : -near);
        values.push_back(
            std::ldexp(static_cast<double>(random() >> 11), static_cast<int>(random() % 80) - 60));
    }
    return values;
}

}  // namespace

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

    void shortDecimalsReadAsTheGeneralReaderReadsThem() {
        std::mt19937_64 random(7);
        for (int i = 0; i < 50000; ++i) {
            QString text = QString::number(random() % 10'000'000'000'000'000ULL);  // up to 16 digits
            text.insert(static_cast<qsizetype>(random() % (text.size() + 1)), QLatin1Char('.'));
            if (random() & 1) text.prepend(QLatin1Char('-'));
            const double general = generalLeadingNumber(text);
            QVERIFY2(std::bit_cast<quint64>(kx::leadingNumber(text)) == std::bit_cast<quint64>(general),
                     qPrintable(text));
        }
    }

    void twoDecimalsAsTheGeneralFormatterAndTheTextPathGiveThem() {
        for (double v : testDoubles()) {
            QCOMPARE(kx::formatTwoDecimals(v), generalTwoDecimals(v));
            QCOMPARE(kx::twoDecimalsOfStored(jet::Value(v)), twoDecimalsThroughText(jet::Value(v)));
        }
        const std::vector<jet::Value> others = {
            jet::Value(),
            jet::Value(int64_t{-7}),
            jet::Value(int64_t{9007199254740993}),
            jet::Value(std::numeric_limits<int64_t>::min()),
            jet::Value(jet::Currency{123455}),
            jet::Value(jet::Currency{-50}),
            jet::Value(jet::Currency{std::numeric_limits<int64_t>::max()}),
            jet::Value(2.675f),
            jet::Value(std::string("12.345元")),
            jet::Value(std::string("单价")),
            jet::Value(true),
        };
        for (const jet::Value& v : others) QCOMPARE(kx::twoDecimalsOfStored(v), twoDecimalsThroughText(v));
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
