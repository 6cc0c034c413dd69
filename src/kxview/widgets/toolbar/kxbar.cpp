#include "kxview/kxbar.h"

#include <QResizeEvent>

#include "widgets/controls/toolbarengine.h"
#include "widgets/toolbar/toolicons.h"

namespace kx {
namespace {

const QString kBand = QStringLiteral("Band1");
const QString kExtendMenu = QStringLiteral("mnuExtendState");

/// The layout stored with the control: the toolbar band and the popup band of tEx.
QList<BandDefinition> storedLayout() {
    using K = ToolKind;
    BandDefinition band{kBand, BandKind::Toolbar, kBand, {}};
    band.tools = {
        {"tMateIndex", K::Button, "Tool0", "明细", ImgFolder, false, {}},
        {"tWithPrice", K::Button, "价格", "显示价格", ImgPrice, true, {}},
        {"Tool4", K::Separator, {}, {}, -1, false, {}},
        {"tFind", K::Button, "查找", "查找", ImgFind, true, {}},
        {"tCall", K::Button, "调用", {}, ImgCall, true, {}},
        {"Tool7", K::Separator, {}, {}, -1, false, {}},
        {"tLink", K::Button, "信息链", {}, ImgLink, true, {}},
        {"tEx", K::DropDown, "Tool9", {}, ImgTree, false, kExtendMenu},
    };
    BandDefinition menu{kExtendMenu, BandKind::Popup, "Band2", {}};
    menu.tools = {
        {"Ex_Close", K::MenuItem, "全部关闭", {}, -1, false, {}},
        {"lie", K::Separator, {}, {}, -1, false, {}},
        {"Ex_Extend", K::MenuItem, "全部展开", {}, -1, false, {}},
    };
    return {band, menu};
}

}  // namespace

struct KXBar::Private {
    ToolbarEngine* bar = nullptr;

    void setVisible(const QString& tool, bool visible) {
        bar->setToolVisible(kBand, tool, visible);
        bar->RecalcLayout();
    }
};

KXBar::KXBar(QWidget* parent) : QWidget(parent), d(std::make_unique<Private>()) {
    d->bar = new ToolbarEngine(this);
    d->bar->setObjectName(QStringLiteral("bar"));
    d->bar->loadLayout(toolIcons(), storedLayout());
    using Signal = void (KXBar::*)();
    const std::pair<const char*, Signal> events[] = {
        {"tClose", &KXBar::CloseMe},
        {"tMateIndex", &KXBar::ToolClickMateIndex},
        {"tWithPrice", &KXBar::ToolClickWithPrice},
        {"tFind", &KXBar::ToolClickFind},
        {"tCall", &KXBar::ToolClickCall},
        {"tLink", &KXBar::ToolClickLink},
        {"Ex_Extend", &KXBar::ToolClickExExtend},
        {"Ex_Close", &KXBar::ToolClickExClose},
    };
    connect(d->bar, &ToolbarEngine::toolClick, this, [this, events](const QString& tool) {
        for (const auto& [name, signal] : events) {
            if (tool == QLatin1String(name)) emit(this->*signal)();
        }
    });
    resize(sizeHint());
}

KXBar::~KXBar() = default;

void KXBar::HideTool_Index() {
    d->setVisible(QStringLiteral("tMateIndex"), false);
}
void KXBar::HideTool_WithPrice() {
    d->setVisible(QStringLiteral("tWithPrice"), false);
}
void KXBar::HideTool_Link() {
    d->setVisible(QStringLiteral("tLink"), false);
}
void KXBar::ShowTool_Index() {
    d->setVisible(QStringLiteral("tMateIndex"), true);
}
void KXBar::ShowTool_WithPrice() {
    d->setVisible(QStringLiteral("tWithPrice"), true);
}
void KXBar::ShowTool_Link() {
    d->setVisible(QStringLiteral("tLink"), true);
}

QSize KXBar::sizeHint() const {
    return d->bar->sizeHint();
}

void KXBar::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    d->bar->setGeometry(0, 0, event->size().width(), event->size().height());
}

}  // namespace kx
