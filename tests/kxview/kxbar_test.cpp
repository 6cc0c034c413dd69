// KXBar: its stored layout, the events its tools raise, tools shown and hidden, and the drawn images.
#include <QAction>
#include <QLayout>
#include <QMenu>
#include <QSignalSpy>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QtTest>

#include "kxview/errors.h"
#include "kxview/kxbar.h"
#include "widgets/controls/toolbarengine.h"
#include "widgets/toolbar/toolicons.h"

using kx::KXBar;

namespace {

/// One spy per event, in dispatch order.
struct EventSpies {
    explicit EventSpies(KXBar& bar)
        : spies{{&bar, &KXBar::CloseMe},
                {&bar, &KXBar::ToolClickMateIndex},
                {&bar, &KXBar::ToolClickWithPrice},
                {&bar, &KXBar::ToolClickFind},
                {&bar, &KXBar::ToolClickCall},
                {&bar, &KXBar::ToolClickLink},
                {&bar, &KXBar::ToolClickExExtend},
                {&bar, &KXBar::ToolClickExClose}} {}

    /// The dispatch identifiers of the events raised so far, each once per raise.
    QList<int> raised() const {
        QList<int> ids;
        for (int i = 0; i < 8; ++i) {
            for (int n = 0; n < spies[i].count(); ++n) ids << i + 1;
        }
        return ids;
    }

    QSignalSpy spies[8];
};

QToolButton* button(KXBar& bar, const char* tool) {
    return bar.findChild<QToolButton*>(QLatin1String(tool));
}

int xOf(KXBar& bar, const char* tool) {
    return button(bar, tool)->geometry().x();
}

/// Opens the tEx drop-down as a user does and, once it shows, lets `choose` act on the open menu.
void openExtendMenu(KXBar& bar, const std::function<void(QMenu&)>& choose) {
    QTimer::singleShot(0, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        QVERIFY(menu);
        choose(*menu);
    });
    QTest::mouseClick(button(bar, "tEx"), Qt::LeftButton);
}

QStringList names(const QList<QAction*>& actions) {
    QStringList out;
    for (QAction* a : actions) out << a->objectName();
    return out;
}

}  // namespace

class KXBarTest : public QObject {
    Q_OBJECT

private slots:
    void storedLayoutHoldsTheToolsInOrder() {
        KXBar bar;
        auto* band = bar.findChild<QToolBar*>(QStringLiteral("Band1"));
        QVERIFY(band);
        QCOMPARE(names(band->actions()), (QStringList{"tMateIndex", "tWithPrice", "Tool4", "tFind", "tCall",
                                                      "Tool7", "tLink", "tEx"}));
        QStringList captions, tips;
        for (QAction* a : band->actions()) {
            captions << a->text();
            tips << (a->isSeparator() ? QString() : a->toolTip());
        }
        QCOMPARE(captions, (QStringList{"Tool0", "价格", "", "查找", "调用", "", "信息链", "Tool9"}));
        QCOMPARE(tips.at(0), QStringLiteral("明细"));
        QCOMPARE(tips.at(1), QStringLiteral("显示价格"));
        QCOMPARE(tips.at(3), QStringLiteral("查找"));
        QVERIFY(band->actions().at(2)->isSeparator());
        QVERIFY(band->actions().at(5)->isSeparator());
        auto* menu = bar.findChild<QMenu*>(QStringLiteral("mnuExtendState"));
        QVERIFY(menu);
        QCOMPARE(names(menu->actions()), (QStringList{"Ex_Close", "lie", "Ex_Extend"}));
        QCOMPARE(menu->actions().at(0)->text(), QStringLiteral("全部关闭"));
        QCOMPARE(menu->actions().at(2)->text(), QStringLiteral("全部展开"));
        QVERIFY(!bar.findChild<QToolButton*>(QStringLiteral("tClose")));
    }

    void toolClicksRaiseTheirEvents_data() {
        QTest::addColumn<QString>("tool");
        QTest::addColumn<int>("event");
        QTest::newRow("tMateIndex") << "tMateIndex" << int(kx::KXBarEvent::ToolClickMateIndex);
        QTest::newRow("tWithPrice") << "tWithPrice" << int(kx::KXBarEvent::ToolClickWithPrice);
        QTest::newRow("tFind") << "tFind" << int(kx::KXBarEvent::ToolClickFind);
        QTest::newRow("tCall") << "tCall" << int(kx::KXBarEvent::ToolClickCall);
        QTest::newRow("tLink") << "tLink" << int(kx::KXBarEvent::ToolClickLink);
    }
    void toolClicksRaiseTheirEvents() {
        QFETCH(QString, tool);
        QFETCH(int, event);
        KXBar bar;
        bar.show();
        QVERIFY(QTest::qWaitForWindowExposed(&bar));
        EventSpies spies(bar);
        QTest::mouseClick(button(bar, tool.toLatin1().constData()), Qt::LeftButton);
        QCOMPARE(spies.raised(), QList<int>{event});
    }

    void extendMenuChoicesRaiseTheirEventsAndTheDropDownNone() {
        KXBar bar;
        bar.show();
        QVERIFY(QTest::qWaitForWindowExposed(&bar));
        EventSpies spies(bar);
        openExtendMenu(bar, [](QMenu& menu) { QTest::keyClick(&menu, Qt::Key_Escape); });
        QCOMPARE(spies.raised(), QList<int>{});
        openExtendMenu(bar, [](QMenu& menu) {
            QTest::mouseClick(&menu, Qt::LeftButton, {}, menu.actionGeometry(menu.actions().at(2)).center());
        });
        QCOMPARE(spies.raised(), QList<int>{int(kx::KXBarEvent::ToolClickExExtend)});
        openExtendMenu(bar, [](QMenu& menu) {
            QTest::mouseClick(&menu, Qt::LeftButton, {}, menu.actionGeometry(menu.actions().at(0)).center());
        });
        QCOMPARE(spies.raised(),
                 (QList<int>{int(kx::KXBarEvent::ToolClickExExtend), int(kx::KXBarEvent::ToolClickExClose)}));
    }

    void hiddenToolsLeaveNoGapAndComeBackInPlace() {
        KXBar bar;
        bar.resize(600, bar.height());
        bar.show();
        QVERIFY(QTest::qWaitForWindowExposed(&bar));
        const int findX = xOf(bar, "tFind");
        const int linkX = xOf(bar, "tLink");
        const int exX = xOf(bar, "tEx");
        bar.HideTool_Index();
        QVERIFY(!button(bar, "tMateIndex")->isVisible());
        const int spacing = bar.findChild<QToolBar*>(QStringLiteral("Band1"))->layout()->spacing();
        QCOMPARE(xOf(bar, "tFind"), findX - button(bar, "tMateIndex")->width() - spacing);
        bar.HideTool_Link();
        QVERIFY(xOf(bar, "tEx") < exX - button(bar, "tMateIndex")->width());
        bar.HideTool_Link();  // hiding twice is harmless
        bar.ShowTool_Link();
        bar.ShowTool_Index();
        QCOMPARE(xOf(bar, "tFind"), findX);
        QCOMPARE(xOf(bar, "tLink"), linkX);
        QCOMPARE(xOf(bar, "tEx"), exX);
        bar.HideTool_WithPrice();
        QVERIFY(!button(bar, "tWithPrice")->isVisible());
        bar.ShowTool_WithPrice();
        QVERIFY(button(bar, "tWithPrice")->isVisible());
    }

    void engineRefusesUnknownBandsAndTools() {
        KXBar bar;
        auto* engine = bar.findChild<kx::ToolbarEngine*>(QStringLiteral("bar"));
        QVERIFY_THROWS_EXCEPTION(kx::ControlError, engine->setToolVisible(QStringLiteral("Band1"),
                                                                          QStringLiteral("tClose"), true));
        QVERIFY_THROWS_EXCEPTION(
            kx::ControlError, engine->setToolVisible(QStringLiteral("Band9"), QStringLiteral("tFind"), true));
        QVERIFY(engine->isToolVisible(QStringLiteral("mnuExtendState"), QStringLiteral("Ex_Extend")));
    }

    void engineCoversTheBarAtAnySize_data() {
        QTest::addColumn<QSize>("size");
        QTest::newRow("wide") << QSize(900, 30);
        QTest::newRow("narrow") << QSize(60, 30);
        QTest::newRow("tall") << QSize(300, 120);
        QTest::newRow("empty") << QSize(0, 0);
    }
    void engineCoversTheBarAtAnySize() {
        QFETCH(QSize, size);
        KXBar bar;
        bar.show();
        bar.resize(size);
        QCOMPARE(bar.findChild<kx::ToolbarEngine*>(QStringLiteral("bar"))->geometry(),
                 QRect(QPoint(0, 0), size));
    }

    void imagesAreDrawnForEachRatioWithAOneBitMask() {
        const QImage one = kx::toolImageStrip(1);
        const QImage two = kx::toolImageStrip(2);
        QCOMPARE(one.size(), QSize(96, 16));
        QCOMPARE(two.size(), QSize(192, 32));
        for (const QImage* strip : {&one, &two}) {
            for (int y = 0; y < strip->height(); ++y) {
                for (int x = 0; x < strip->width(); ++x) {
                    const int alpha = strip->pixelColor(x, y).alpha();
                    QVERIFY2(alpha == 0 || alpha == 255, "every pixel is opaque or transparent");
                }
            }
        }
        const QList<QIcon> icons = kx::toolIcons();
        QCOMPARE(icons.size(), int(kx::ToolImageCount));
        for (int i = 0; i < kx::ToolImageCount; ++i) {
            QImage drawn = two.copy(i * 32, 0, 32, 32);
            drawn.setDevicePixelRatio(2);
            int opaque = 0;
            for (int y = 0; y < 32; ++y) {
                for (int x = 0; x < 32; ++x) opaque += drawn.pixelColor(x, y).alpha() == 255;
            }
            QVERIFY2(opaque > 100, "each image draws something");
            const QPixmap fromIcon = icons[i].pixmap(QSize(16, 16), 2.0);
            QCOMPARE(fromIcon.size(), QSize(32, 32));
            QCOMPARE(fromIcon.toImage().convertToFormat(QImage::Format_ARGB32), drawn);
        }
        // Curves and slants are drawn anew at 2x, so the 2x strip is not the 1x strip enlarged.
        const QImage upscaled = one.scaled(one.size() * 2);
        int unlikeUpscaled = 0;
        for (int y = 0; y < two.height(); ++y) {
            for (int x = 0; x < two.width(); ++x) unlikeUpscaled += two.pixel(x, y) != upscaled.pixel(x, y);
        }
        QVERIFY(unlikeUpscaled > 200);
    }
};

QTEST_MAIN(KXBarTest)
#include "kxbar_test.moc"
