// The Qt Designer plugin as Designer loads it: through QPluginLoader, offering KXView and KXBar in a group
// of their own, and creating working controls.
#include <QPluginLoader>
#include <QtTest>
#include <QtUiPlugin/QDesignerCustomWidgetCollectionInterface>
#include <QtUiPlugin/QDesignerCustomWidgetInterface>

class DesignerPluginTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        m_loader.setFileName(QStringLiteral(KXVIEW_DESIGNER_PLUGIN));
        QVERIFY2(m_loader.load(), qPrintable(m_loader.errorString()));
        m_collection = qobject_cast<QDesignerCustomWidgetCollectionInterface*>(m_loader.instance());
        QVERIFY(m_collection != nullptr);
        QCOMPARE(m_loader.metaData().value("IID").toString(),
                 QStringLiteral("org.qt-project.Qt.QDesignerCustomWidgetCollectionInterface"));
    }

    void bothControlsAreOfferedInAGroupOfTheirOwn() {
        QStringList names;
        for (QDesignerCustomWidgetInterface* widget : m_collection->customWidgets()) {
            names << widget->name();
            QCOMPARE(widget->group(), QStringLiteral("KXView"));
            QVERIFY(!widget->isContainer());
            QVERIFY(!widget->icon().isNull());
            QVERIFY(widget->domXml().contains("class=\"" + widget->name() + "\""));
        }
        QCOMPARE(names, (QStringList{"kx::KXView", "kx::KXBar"}));
    }

    void createsWorkingControls_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("include");
        QTest::addColumn<QString>("child");  // a constituent control the real widget has
        QTest::newRow("the browser") << "kx::KXView"
                                     << "kxview/kxview.h"
                                     << "F";
        QTest::newRow("the toolbar") << "kx::KXBar"
                                     << "kxview/kxbar.h"
                                     << "tFind";
    }
    void createsWorkingControls() {
        QFETCH(QString, name);
        QFETCH(QString, include);
        QFETCH(QString, child);
        QDesignerCustomWidgetInterface* widget = find(name);
        QVERIFY(widget != nullptr);
        QCOMPARE(widget->includeFile(), include);
        QWidget form;
        QWidget* created = widget->createWidget(&form);
        QVERIFY(created != nullptr);
        QCOMPARE(created->parentWidget(), &form);
        // The plugin brings its own copy of the component, so the class is compared by name.
        QCOMPARE(QString::fromLatin1(created->metaObject()->className()), name);
        QVERIFY(created->findChild<QWidget*>(child) != nullptr);
    }

private:
    QDesignerCustomWidgetInterface* find(const QString& name) const {
        for (QDesignerCustomWidgetInterface* widget : m_collection->customWidgets())
            if (widget->name() == name) return widget;
        return nullptr;
    }

    QPluginLoader m_loader;
    QDesignerCustomWidgetCollectionInterface* m_collection = nullptr;
};

QTEST_MAIN(DesignerPluginTest)
#include "designer_plugin_test.moc"
