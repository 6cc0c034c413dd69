// The Qt Designer plugin: KXView and KXBar in Designer's widget box, under a group of their own.
#pragma once

#include <QObject>
#include <QtUiPlugin/QDesignerCustomWidgetCollectionInterface>
#include <QtUiPlugin/QDesignerCustomWidgetInterface>
#include <functional>

namespace kx {

/// One control as Designer offers it: its class, where a form includes it from, and how to make one.
class DesignerWidget : public QObject, public QDesignerCustomWidgetInterface {
    Q_OBJECT
    Q_INTERFACES(QDesignerCustomWidgetInterface)

public:
    /// The control `className` (with its namespace), declared in `includeFile`, described by `toolTip`,
    /// made by `create`; `width` x `height` pixels when dropped on a form.
    DesignerWidget(QString className, QString includeFile, QString toolTip, int width, int height,
                   std::function<QWidget*(QWidget*)> create, QObject* parent);

    QString name() const override { return m_className; }
    QString group() const override;
    QString toolTip() const override { return m_toolTip; }
    QString whatsThis() const override { return m_toolTip; }
    QString includeFile() const override { return m_includeFile; }
    QIcon icon() const override;
    bool isContainer() const override { return false; }
    QWidget* createWidget(QWidget* parent) override { return m_create(parent); }
    QString domXml() const override;

private:
    QString m_className;
    QString m_includeFile;
    QString m_toolTip;
    int m_width;
    int m_height;
    std::function<QWidget*(QWidget*)> m_create;
};

/// The plugin Designer loads: both controls of the component.
class DesignerPlugin : public QObject, public QDesignerCustomWidgetCollectionInterface {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "org.qt-project.Qt.QDesignerCustomWidgetCollectionInterface")
    Q_INTERFACES(QDesignerCustomWidgetCollectionInterface)

public:
    explicit DesignerPlugin(QObject* parent = nullptr);
    QList<QDesignerCustomWidgetInterface*> customWidgets() const override;

private:
    QList<QDesignerCustomWidgetInterface*> m_widgets;
};

}  // namespace kx
