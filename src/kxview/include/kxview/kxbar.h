// KXBar: the browser's toolbar. It hosts the toolbar engine with its stored layout, turns tool clicks into
// eight events and lets its container show or hide three tools.
#pragma once

#include <QWidget>
#include <memory>
#include "kxview/enums.h"
#include "kxview/kxview_export.h"

namespace kx {

/// The toolbar control (the browser's constituent "toolbar"; a host may place one of its own). Its engine
/// (objectName "bar") covers it from (0, 0) at any size; band "Band1" holds tMateIndex, tWithPrice, a
/// separator, tFind, tCall, a separator, tLink and the drop-down tEx, which opens the popup band
/// "mnuExtendState" with Ex_Close, a separator and Ex_Extend. Its events' dispatch identifiers:
/// kx::KXBarEvent.
class KXVIEW_EXPORT KXBar : public QWidget {
    Q_OBJECT

public:
    explicit KXBar(QWidget* parent = nullptr);
    ~KXBar() override;

    /// Hide or show tMateIndex, tWithPrice and tLink of band Band1; the band closes or opens the gap at once.
    /// They never throw.
    void HideTool_Index();
    void HideTool_WithPrice();
    void HideTool_Link();
    void ShowTool_Index();
    void ShowTool_WithPrice();
    void ShowTool_Link();

    QSize sizeHint() const override;

signals:
    /// A tool named "tClose" was clicked (the stored layout places none).
    void CloseMe();
    /// tMateIndex was clicked.
    void ToolClickMateIndex();
    /// tWithPrice was clicked.
    void ToolClickWithPrice();
    /// tFind was clicked.
    void ToolClickFind();
    /// tCall was clicked.
    void ToolClickCall();
    /// tLink was clicked.
    void ToolClickLink();
    /// "全部展开" (Ex_Extend) was chosen in the tEx drop-down.
    void ToolClickExExtend();
    /// "全部关闭" (Ex_Close) was chosen in the tEx drop-down.
    void ToolClickExClose();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    struct Private;
    std::unique_ptr<Private> d;
};

}  // namespace kx
