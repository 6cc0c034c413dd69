// The toolbar engine: bands of tools loaded from a stored layout, tools found by name, and one
// notification for every tool the user clicks.
#pragma once

#include <QIcon>
#include <QList>
#include <QWidget>
#include <memory>
#include "kxview/kxview_export.h"

namespace kx {

/// What a tool is.
enum class ToolKind { Button, Separator, DropDown, MenuItem };

/// One tool of a band, as a stored layout defines it.
struct ToolDefinition {
    QString name;  // the key by which code finds the tool; also its objectName
    ToolKind kind = ToolKind::Button;
    QString caption;
    QString tipText;
    int image = -1;             // index into the layout's images; -1 for none
    bool captionShown = false;  // buttons: the caption shows beside the image
    QString popupBand;          // drop-downs: the name of the popup band they open
};

/// Whether a band is a toolbar or a popup menu opened by a drop-down tool.
enum class BandKind { Toolbar, Popup };

/// One band of a stored layout.
struct BandDefinition {
    QString name;
    BandKind kind = BandKind::Toolbar;
    QString caption;
    QList<ToolDefinition> tools;
};

/// The engine widget: shows its toolbar bands stacked from the top and fills whatever size it is given.
class KXVIEW_EXPORT ToolbarEngine : public QWidget {
    Q_OBJECT

public:
    explicit ToolbarEngine(QWidget* parent = nullptr);
    ~ToolbarEngine() override;

    /// Replaces the layout with `bands`, whose tools use `images` (16x16, one icon per image).
    void loadLayout(const QList<QIcon>& images, const QList<BandDefinition>& bands);
    /// Whether tool `tool` of band `band` is visible; kx::ControlError when either is not in the layout.
    bool isToolVisible(const QString& band, const QString& tool) const;
    /// Shows or hides a tool; kx::ControlError when the band or the tool is not in the layout.
    void setToolVisible(const QString& band, const QString& tool, bool visible);
    /// Lays the bands out again at once, so hidden tools leave no gap.
    void RecalcLayout();

signals:
    /// The user clicked the tool named `toolName` (buttons and menu items).
    void toolClick(const QString& toolName);

private:
    struct Private;
    std::unique_ptr<Private> d;
};

}  // namespace kx
