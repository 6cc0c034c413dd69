#include "widgets/controls/toolbarengine.h"

#include <QAction>
#include <QLayout>
#include <QMenu>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <map>

#include "kxview/errors.h"

namespace kx {

struct ToolbarEngine::Private {
    explicit Private(ToolbarEngine& engine) : q(engine) {}

    ToolbarEngine& q;
    QVBoxLayout* layout = nullptr;
    std::vector<QWidget*> bandWidgets;                     // toolbars and menus of the loaded layout
    std::map<QString, std::map<QString, QAction*>> tools;  // band name -> tool name -> action
    std::map<QString, QMenu*> popups;
    QList<QToolBar*> toolbars;

    QAction* tool(const QString& band, const QString& name) const {
        auto b = tools.find(band);
        if (b == tools.end()) throw ControlError("no band named " + band.toStdString());
        auto t = b->second.find(name);
        if (t == b->second.end())
            throw ControlError("band " + band.toStdString() + " has no tool named " + name.toStdString());
        return t->second;
    }

    void clear() {
        for (QWidget* w : bandWidgets) delete w;
        while (QLayoutItem* item = layout->takeAt(0)) delete item;
        bandWidgets.clear();
        tools.clear();
        popups.clear();
        toolbars.clear();
    }

    QAction* makeAction(const ToolDefinition& def, const QList<QIcon>& images, QObject* owner) {
        auto* action = new QAction(def.caption, owner);
        action->setObjectName(def.name);
        action->setToolTip(def.tipText.isEmpty() ? def.caption : def.tipText);
        action->setSeparator(def.kind == ToolKind::Separator);
        if (def.image >= 0 && def.image < images.size()) action->setIcon(images[def.image]);
        if (def.kind == ToolKind::Button || def.kind == ToolKind::MenuItem) {
            const QString name = def.name;
            connect(action, &QAction::triggered, &q, [this, name] { emit q.toolClick(name); });
        }
        return action;
    }

    void buildPopup(const BandDefinition& band, const QList<QIcon>& images) {
        auto* menu = new QMenu(band.caption, &q);
        menu->setObjectName(band.name);
        bandWidgets.push_back(menu);
        popups[band.name] = menu;
        for (const ToolDefinition& def : band.tools) {
            QAction* action = makeAction(def, images, menu);
            menu->addAction(action);
            tools[band.name][def.name] = action;
        }
    }

    void buildToolbar(const BandDefinition& band, const QList<QIcon>& images) {
        auto* bar = new QToolBar(band.caption, &q);
        bar->setObjectName(band.name);
        bar->setMovable(false);
        bar->setFloatable(false);
        bar->setIconSize(QSize(16, 16));
        bandWidgets.push_back(bar);
        toolbars << bar;
        layout->addWidget(bar);
        for (const ToolDefinition& def : band.tools) {
            QAction* action = makeAction(def, images, bar);
            if (def.kind == ToolKind::DropDown) action->setMenu(popups.at(def.popupBand));
            bar->addAction(action);
            tools[band.name][def.name] = action;
            if (auto* button = qobject_cast<QToolButton*>(bar->widgetForAction(action))) {
                button->setObjectName(def.name);
                button->setToolButtonStyle(def.captionShown ? Qt::ToolButtonTextBesideIcon
                                                            : Qt::ToolButtonIconOnly);
                if (def.kind == ToolKind::DropDown) {
                    button->setPopupMode(QToolButton::InstantPopup);
                    // The menu arrow sits beside the image instead of over its corner.
                    button->setStyleSheet(QStringLiteral("QToolButton { padding-right: 10px; }"));
                }
            }
        }
    }
};

ToolbarEngine::ToolbarEngine(QWidget* parent) : QWidget(parent), d(std::make_unique<Private>(*this)) {
    d->layout = new QVBoxLayout(this);
    d->layout->setContentsMargins(0, 0, 0, 0);
    d->layout->setSpacing(0);
}

ToolbarEngine::~ToolbarEngine() = default;

void ToolbarEngine::loadLayout(const QList<QIcon>& images, const QList<BandDefinition>& bands) {
    d->clear();
    // Popups first, so drop-down tools find the menus they open.
    for (const BandDefinition& band : bands) {
        if (band.kind == BandKind::Popup) d->buildPopup(band, images);
    }
    for (const BandDefinition& band : bands) {
        if (band.kind == BandKind::Toolbar) d->buildToolbar(band, images);
    }
    d->layout->addStretch();
}

bool ToolbarEngine::isToolVisible(const QString& band, const QString& tool) const {
    return d->tool(band, tool)->isVisible();
}

void ToolbarEngine::setToolVisible(const QString& band, const QString& tool, bool visible) {
    d->tool(band, tool)->setVisible(visible);
}

void ToolbarEngine::RecalcLayout() {
    for (QToolBar* bar : d->toolbars) bar->layout()->activate();
}

}  // namespace kx
