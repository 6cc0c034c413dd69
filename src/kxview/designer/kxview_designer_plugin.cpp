#include "designer/kxview_designer_plugin.h"

#include <QIcon>

#include "kxview/kxbar.h"
#include "kxview/kxview.h"
#include "widgets/toolbar/toolicons.h"

namespace kx {

DesignerWidget::DesignerWidget(QString className, QString includeFile, QString toolTip, int width, int height,
                               std::function<QWidget*(QWidget*)> create, QObject* parent)
    : QObject(parent),
      m_className(std::move(className)),
      m_includeFile(std::move(includeFile)),
      m_toolTip(std::move(toolTip)),
      m_width(width),
      m_height(height),
      m_create(std::move(create)) {}

QString DesignerWidget::group() const {
    return QStringLiteral("KXView");
}

QIcon DesignerWidget::icon() const {
    // The toolbar's own pictures: the tree diagram for the browser, the binoculars for its toolbar.
    return toolIcons().value(m_className == QLatin1String("kx::KXView") ? ImgTree : ImgFind);
}

QString DesignerWidget::domXml() const {
    const QString objectName = m_className.section(QStringLiteral("::"), -1).toLower();
    return QStringLiteral(
               "<ui language=\"c++\"><widget class=\"%1\" name=\"%2\"><property name=\"geometry\"><rect>"
               "<x>0</x><y>0</y><width>%3</width><height>%4</height></rect></property></widget></ui>")
        .arg(m_className, objectName)
        .arg(m_width)
        .arg(m_height);
}

DesignerPlugin::DesignerPlugin(QObject* parent) : QObject(parent) {
    m_widgets << new DesignerWidget(
        QStringLiteral("kx::KXView"), QStringLiteral("kxview/kxview.h"),
        QStringLiteral("造价资料浏览：定额库、材料库、清单库"), 640, 480,
        [](QWidget* form) { return new KXView(form); }, this);
    m_widgets << new DesignerWidget(
        QStringLiteral("kx::KXBar"), QStringLiteral("kxview/kxbar.h"), QStringLiteral("造价资料浏览的工具栏"),
        400, 26, [](QWidget* form) { return new KXBar(form); }, this);
}

QList<QDesignerCustomWidgetInterface*> DesignerPlugin::customWidgets() const {
    return m_widgets;
}

}  // namespace kx
