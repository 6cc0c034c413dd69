// KXView: the library browser control a host places on its window to browse one quota, material or
// bill-item library at a time and to learn, by events, which item the user picked.
#pragma once

#include <QString>
#include <QWidget>
#include <memory>
#include "kxview/enums.h"
#include "kxview/errors.h"
#include "kxview/kxview_export.h"

namespace kx {

class PropertyStore;

/// The browser control. Public members let failures reach the caller as exceptions (kx::DbError from the
/// database, kx::ControlError from a constituent control, std::overflow_error for a number beyond its
/// integer width), as each member's comment says; failures inside the control's own event handling are
/// shown in a warning box titled "提示" and logged instead. The grid's columns: kx::HCol_F; the events'
/// dispatch identifiers: kx::KXViewEvent.
///
/// Constituent controls, by objectName: "toolbar" (KXBar), "Sp" (splitter), "tree" (the category tree),
/// "box" (framed panel holding the grid "F", a QTableView whose property "Row" is the current grid row, 0
/// for none), "KXHead1" (framed panel holding the description pane "txtSM", whose property "Text" holds
/// the text shown).
///
/// Additions for daily work (pinyin find, the filter box, recent and favourite items, spreadsheets, price
/// history, and smoother list handling) are each switched by a boolean property named after its
/// KXView::Addition. Every one is off until the host switches it on, so a host that sets none gets the
/// control with exactly its specified behaviour; none of them changes an event, caption or member.
class KXVIEW_EXPORT KXView : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QString FindStyle READ FindStyle WRITE setFindStyle NOTIFY FindStyleChanged)
    Q_PROPERTY(QString DBFullName READ GetDBFullName)
    Q_PROPERTY(bool PinyinFind READ PinyinFind WRITE setPinyinFind)
    Q_PROPERTY(bool FilterBox READ FilterBox WRITE setFilterBox)
    Q_PROPERTY(bool RecentAndFavourites READ RecentAndFavourites WRITE setRecentAndFavourites)
    Q_PROPERTY(bool SpreadsheetExport READ SpreadsheetExport WRITE setSpreadsheetExport)
    Q_PROPERTY(bool PriceHistory READ PriceHistory WRITE setPriceHistory)
    Q_PROPERTY(bool GridMenu READ GridMenu WRITE setGridMenu)
    Q_PROPERTY(bool RowErrorsInStatusLine READ RowErrorsInStatusLine WRITE setRowErrorsInStatusLine)
    Q_PROPERTY(bool FullCodes READ FullCodes WRITE setFullCodes)
    Q_PROPERTY(bool ErrataLink READ ErrataLink WRITE setErrataLink)
    Q_PROPERTY(bool NewListAtTop READ NewListAtTop WRITE setNewListAtTop)
    Q_PROPERTY(bool PaneFollowsList READ PaneFollowsList WRITE setPaneFollowsList)
    Q_PROPERTY(bool FocusOnResults READ FocusOnResults WRITE setFocusOnResults)
    Q_PROPERTY(bool EmptyListNotice READ EmptyListNotice WRITE setEmptyListNotice)
    Q_PROPERTY(bool QtTranslations READ QtTranslations WRITE setQtTranslations)
    Q_PROPERTY(bool DialogsOverHost READ DialogsOverHost WRITE setDialogsOverHost)
    Q_PROPERTY(bool OutlineKeys READ OutlineKeys WRITE setOutlineKeys)
    Q_PROPERTY(bool NameColumnFills READ NameColumnFills WRITE setNameColumnFills)
    Q_PROPERTY(bool PickerEnterKey READ PickerEnterKey WRITE setPickerEnterKey)

public:
    /// The additions a host may switch on, one property each (of the same name).
    enum class Addition {
        /// Letters typed as pinyin (initials "tsf", whole syllables "tushifang", mixed "土sf") find items by
        /// name, by every reading of a polyphonic character, in the find dialog's results and the filter.
        PinyinFind,
        /// A filter box above the grid ("txtFilter") narrows the listed category at each keystroke by
        /// code, name or unit, or lists the matches of the whole library ("chkWholeLibrary"); matches are
        /// highlighted; Esc clears it.
        FilterBox,
        /// Items called (double-click, call tool) go to a recent list per library, favourites are set by
        /// the grid's menu or Ctrl+D; both show in a panel beside the tree ("marksPanel"), kept through
        /// SetItemMarksStore by library key and code, so they survive a library update.
        RecentAndFavourites,
        /// The listed rows with their visible price columns export to XLSX and CSV; Ctrl+C copies the
        /// selected rows as tab-separated text and an HTML table.
        SpreadsheetExport,
        /// A chart of a row's price across the price files of its set, with the figures beside it.
        PriceHistory,
        /// A context menu on the grid: copy code or rows, favourite, export, price history, errata.
        GridMenu,
        /// A failure while the current row changes shows in Chinese in a status line below the grid
        /// ("lblStatus"), once per cause, and is logged with the engine's text, instead of a message box.
        RowErrorsInStatusLine,
        /// The code column is as wide as the longest code listed: a code never loses its middle.
        FullCodes,
        /// A click on a corrected item's red " [堪误]" mark raises CallDEEditRecord for that item.
        ErrataLink,
        /// A new list (category, find, filter, library) starts at its first row.
        NewListAtTop,
        /// The description pane is cleared when the list is replaced.
        PaneFollowsList,
        /// After a find the grid has the focus and the first result is current.
        FocusOnResults,
        /// An empty list says so in the grid.
        EmptyListNotice,
        /// Qt's own Chinese texts (standard buttons) are loaded unless the application loaded others.
        QtTranslations,
        /// The find dialog opens centred over the host's window.
        DialogsOverHost,
        /// Ctrl+F opens find; Left or - folds a row's conversions or related quotas (or goes up to the
        /// item from one of them), Right or + unfolds them.
        OutlineKeys,
        /// The name column takes the grid's free width.
        NameColumnFills,
        /// Return or Enter in the library and price-file pickers chooses the selected entry as 确定 does.
        PickerEnterKey,
    };
    Q_ENUM(Addition)

    explicit KXView(QWidget* parent = nullptr);
    ~KXView() override;

    /// Whether `addition` is on (all are off in a new control).
    bool addition(Addition which) const;
    /// Switches `addition` on or off; the control shows the change at once. Never throws.
    void setAddition(Addition which, bool on);
    /// Switches every addition on or off.
    void setAllAdditions(bool on);
    /// Where recent and favourite items are kept (per user): properties "RecentItems/KEY" and
    /// "FavouriteItems/KEY" are written at each change. Null (the default) keeps them in memory while the
    /// control lives. The store must outlive its use.
    void SetItemMarksStore(kx::PropertyStore* store);

#define KXVIEW_ADDITION_PROPERTY(Name)   \
    bool Name() const {                  \
        return addition(Addition::Name); \
    }                                    \
    void set##Name(bool on) {            \
        setAddition(Addition::Name, on); \
    }
    KXVIEW_ADDITION_PROPERTY(PinyinFind)
    KXVIEW_ADDITION_PROPERTY(FilterBox)
    KXVIEW_ADDITION_PROPERTY(RecentAndFavourites)
    KXVIEW_ADDITION_PROPERTY(SpreadsheetExport)
    KXVIEW_ADDITION_PROPERTY(PriceHistory)
    KXVIEW_ADDITION_PROPERTY(GridMenu)
    KXVIEW_ADDITION_PROPERTY(RowErrorsInStatusLine)
    KXVIEW_ADDITION_PROPERTY(FullCodes)
    KXVIEW_ADDITION_PROPERTY(ErrataLink)
    KXVIEW_ADDITION_PROPERTY(NewListAtTop)
    KXVIEW_ADDITION_PROPERTY(PaneFollowsList)
    KXVIEW_ADDITION_PROPERTY(FocusOnResults)
    KXVIEW_ADDITION_PROPERTY(EmptyListNotice)
    KXVIEW_ADDITION_PROPERTY(QtTranslations)
    KXVIEW_ADDITION_PROPERTY(DialogsOverHost)
    KXVIEW_ADDITION_PROPERTY(OutlineKeys)
    KXVIEW_ADDITION_PROPERTY(NameColumnFills)
    KXVIEW_ADDITION_PROPERTY(PickerEnterKey)
#undef KXVIEW_ADDITION_PROPERTY

    /// The application directory (ending with a separator); the grid's header picture is read below it.
    void SetAppPath(const QString& value);
    /// The price file whose price column later loads add.
    void SetPriceDBFullPath(const QString& value);
    /// The library kind: "DE" (quota), "Mate" (material) or "DataBook" (bill item); any other text is no
    /// kind. Setting it neither reloads nor lays out, and marks the persisted property as changed.
    QString FindStyle() const;
    void setFindStyle(const QString& value);

    /// Lists the items of category `p_Class` of the library file `p_dbFullName` in the grid, by kind.
    /// Throws kx::DbError when the library or a price file cannot be read, std::overflow_error when the
    /// category holds more than 32,767 items.
    void LoadData(const QString& p_dbFullName, const QString& p_Class);
    /// Opens a library in the browser: grid columns, category tree, toolbar tools, the second tree
    /// node's category listed, the price column of the price file set with SetPriceDBFullPath (when that
    /// file exists), and the layout. Throws kx::DbError when the library or the price file cannot be read
    /// (what was shown before the failure stays), kx::ControlError when a quota library's header picture
    /// "System\Ico\Edit\Kind.ico" is missing or no picture, or a category ID exceeds the tree's 16-bit
    /// range, std::overflow_error as LoadData.
    void Load(const QString& p_dbFullName);
    /// Asks for a text in the find dialog and lists the items of the whole library whose code, name or
    /// unit contains or equals it; cancelling the dialog changes nothing. Throws kx::DbError when the
    /// engine refuses the search (a text with an apostrophe, no library kind), std::overflow_error as
    /// LoadData.
    void FindOne();
    /// The ID of the current grid row (its ID column read as a number); 0 while no item row is current.
    /// Throws std::overflow_error when the ID exceeds 32 bits.
    qint32 GetSelectMateID() const;
    /// The key of the material library whose category was listed last ("" until one was). Never throws.
    QString GetSelectMateKey() const;
    /// Appends a price column for the price file `p_File`, as the toolbar's price tool does with the
    /// file the user picks: header the file's "ShortName", the price of each listed item (material prices,
    /// or quota unit prices), kept until the next Load or ClearPrice. A file that does not exist is
    /// skipped silently; one already shown gives the message "价格已经存在！". Throws kx::DbError when the
    /// file is no price file of the open library's kind (the column added stays, partly filled).
    void AddPriceColumn(const QString& p_File);
    /// Removes every price column; the price file set with SetPriceDBFullPath comes back at the next Load.
    /// Never throws.
    void ClearPrice();
    /// The library open in the browser. Never throws.
    QString GetDBFullName() const;
    /// The conversion code of grid row `p_Row`: the number after the first two characters of its code
    /// cell (" -12" gives 12). Throws kx::ControlError when the row does not exist, std::overflow_error
    /// when the number exceeds 16 bits.
    qint16 GetHSCode(qint16 p_Row) const;
    /// Inserts the related quotas of the current bill item below it, collapsed, once: headings in bold,
    /// quota rows completed from the installed quota library their key names. Does nothing on any other
    /// row or when they are shown already. Throws kx::DbError when the library cannot be read or a
    /// related quota's key names no installed quota library (the rows inserted before stay).
    void LoadWithDE();
    /// "全展开" expands every tree node, "全关闭" collapses every one; any other text does nothing. Never
    /// throws.
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
