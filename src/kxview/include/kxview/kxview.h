// KXView: the library browser control a host places on its window to browse one quota, material or
// bill-item library at a time and to learn, by events, which item the user picked.
#pragma once

#include <QString>
#include <QWidget>
#include <memory>
#include "kxview/kxview_export.h"

namespace kx {

class PropertyStore;

/// Grid columns of the item grid: grid column = value + 1 (column 0 is the fixed column; columns 10 and up
/// hold prices).
enum class HCol_F : int {
    Tag = 0,
    Code = 1,
    Name = 2,
    Unit = 3,
    ID = 4,
    State = 5,
    RowKind = 6,
    DEKey = 7,
    Other = 8
};

/// Dispatch identifiers of KXView's events, in the order of its event interface.
enum class KXViewEvent : int {
    CallMate = 1,
    DoubleClickMate = 2,
    CloseMe = 3,
    CallDE = 4,
    DoubleClickDE = 5,
    DoubleClickDataBook = 6,
    CallDEEditRecord = 7,
    CallDELink = 8,
};

/// The browser control. Public members let the engine's kx::DbError (and kx::ControlError of the
/// constituent controls) reach the caller; failures inside the control's own event handling are shown
/// in a message box and logged instead.
///
/// Constituent controls, by objectName: "toolbar" (KXBar), "Sp" (splitter), "tree" (KXTree), "box"
/// (framed panel holding the grid "F"), "KXHead1" (framed panel holding the description pane "txtSM").
class KXVIEW_EXPORT KXView : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QString FindStyle READ FindStyle WRITE setFindStyle NOTIFY FindStyleChanged)
    Q_PROPERTY(QString DBFullName READ GetDBFullName)

public:
    explicit KXView(QWidget* parent = nullptr);
    ~KXView() override;

    /// The application directory (ending with a separator); the grid's header picture is read below it.
    void SetAppPath(const QString& value);
    /// The price file whose price column later loads add.
    void SetPriceDBFullPath(const QString& value);
    /// The library kind: "DE" (quota), "Mate" (material) or "DataBook" (bill item); any other text is no
    /// kind. Setting it neither reloads nor lays out, and marks the persisted property as changed.
    QString FindStyle() const;
    void setFindStyle(const QString& value);

    /// Lists the items of category `p_Class` of the library file `p_dbFullName` in the grid, by kind.
    void LoadData(const QString& p_dbFullName, const QString& p_Class);
    /// Opens a library in the browser: grid columns, category tree, toolbar tools, the second tree
    /// node's category listed, the price column of the price file set with SetPriceDBFullPath (when that
    /// file exists), and the layout.
    void Load(const QString& p_dbFullName);
    /// Asks for a text in the find dialog and lists the items of the whole library whose code, name or
    /// unit contains or equals it; cancelling the dialog changes nothing.
    void FindOne();
    /// The ID of the current grid row (its ID column read as a number); 0 while no item row is current.
    qint32 GetSelectMateID() const;
    /// The key of the material library whose category was listed last ("" until one was).
    QString GetSelectMateKey() const;
    /// Removes every price column; the price file set with SetPriceDBFullPath comes back at the next Load.
    void ClearPrice();
    /// The library open in the browser.
    QString GetDBFullName() const;
    /// The conversion code of grid row `p_Row`: the number after the first two characters of its code
    /// cell (" -12" gives 12).
    qint16 GetHSCode(qint16 p_Row) const;
    /// Inserts the related quotas of the current bill item below it, collapsed, once: headings in bold,
    /// quota rows completed from the installed quota library their key names. Does nothing on any other
    /// row or when they are shown already.
    void LoadWithDE();
    /// "全展开" expands every tree node, "全关闭" collapses every one; any other text does nothing.
    void SetTreeExpandedState(const QString& p_Kind);

    /// Reads the persisted "FindStyle" ("Mate" when the store does not hold it). Errors are ignored.
    void readProperties(const kx::PropertyStore& store);
    /// Writes the persisted "FindStyle". Errors are ignored.
    void writeProperties(kx::PropertyStore& store) const;

signals:
    /// Declared for hosts; no action of the control raises it.
    void CallMate(qint32 p_RowID, const QString& p_RowCode, const QString& p_RowKey);
    /// A material row was double-clicked or called.
    void DoubleClickMate(qint32 p_RowID, const QString& p_RowCode, const QString& p_RowKey);
    /// The toolbar asked to close the browser.
    void CloseMe();
    /// Declared for hosts; no action of the control raises it.
    void CallDE(qint32 p_RowID, const QString& p_RowCode, const QString& p_RowKey, qint16 p_HSCode);
    /// A quota row, one of its conversion rows, or a related quota was double-clicked or called.
    void DoubleClickDE(qint32 p_RowID, const QString& p_RowCode, const QString& p_RowKey, qint16 p_HSCode);
    /// A bill item was double-clicked or called.
    void DoubleClickDataBook(const QString& p_Code);
    /// The errata cell of a quota row was clicked.
    void CallDEEditRecord(qint32 p_DMID, const QString& p_DEKey);
    /// The toolbar's link tool was used on a row.
    void CallDELink(qint32 p_DMID, const QString& p_DEKey);

    /// FindStyle was set (the persisted property changed).
    void FindStyleChanged();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    struct Private;
    std::unique_ptr<Private> d;
};

}  // namespace kx
