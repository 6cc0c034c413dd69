// What the browser does differently for each library kind, in one table.
#pragma once

#include <QString>

#include "widgets/browser/price_columns.h"

namespace kx {

class Database;
class DescriptionPane;
class ItemLists;
class Recordset;
class RowEvents;

/// How the browser's library and price tools pick files for one library kind.
struct PickerProfile {
    /// The picker the library tool (SwitchLibrary) opens.
    enum class LibraryPicker {
        None,             ///< the kind has no library tool
        QuotaLibrary,     ///< frmPub_SelectDE
        MaterialLibrary,  ///< frmSelectPrice, its delete, import and update buttons hidden
    };

    LibraryPicker libraryPicker;
    /// The catalogue of the library's folder ("DEIndex.mdb") and its files' extension (".QTDE").
    const char* catalogue;
    const char* extension;
    /// The KeyInfo code that names the library's price folder for the price tool (SelectPriceFile);
    /// null where the kind has no prices.
    const char* priceKeyCode;
};

/// How the browser treats one library kind: the tables it reads, the grid's columns, the toolbar's tools,
/// the panes below the tree, where prices come from, the procedures that list, describe and call its
/// items, and the pickers of its library and price tools. There is one profile per kind ("DE", "Mate",
/// "DataBook") and one for any other FindStyle text, which names no kind and makes most operations do
/// nothing.
struct LibraryProfile {
    /// How the lower part of the control is divided.
    enum class Panes {
        Untouched,           ///< no kind: the grid and description panels keep their places
        GridOnly,            ///< the grid's panel fills it; the description pane is hidden
        GridAndDescription,  ///< the description pane keeps its height below the grid's panel
    };

    /// The FindStyle text that names the kind ("" for no kind).
    const char* findStyle;
    /// The category table the tree shows and a node click reads ("DMIndex"); null for no kind.
    const char* categoryTable;
    /// The item table FindOne searches ("DM"); null for no kind, whose search the engine refuses.
    const char* itemTable;
    /// The field FindOne searches for a code.
    const char* codeField;

    /// The header of the grid's code column.
    const char* codeHeader;
    /// Widths of the name and unit columns, in twips.
    int nameWidth;
    int unitWidth;
    /// Whether the header of the Other column shows "System\Ico\Edit\Kind.ico" (read below AppPath).
    bool kindPicture;

    /// Whether the toolbar shows tMateIndex, tWithPrice and tLink (applied for a kind only).
    bool indexTool;
    bool priceTool;
    bool linkTool;
    Panes panes;

    /// Where a price file holds the prices of the listed items.
    PriceSource prices;

    /// Lists the items of a category (LoadDEByClass, LoadMateByClass, LoadDataBookByClass); null for no
    /// kind.
    void (ItemLists::*loadByClass)(const QString& p_dbFullName, const QString& p_Class);
    /// Writes the rows of a search's result into the grid; null for no kind.
    void (*fillFound)(ItemLists& lists, Recordset& rs, Database& db);
    /// Shows the current row's text in the description pane (and inserts its conversion rows or related
    /// quotas); null where the kind has no description.
    void (DescriptionPane::*describeRow)(int row);
    /// Raises the event that hands row `row` to the host, with the library's key; null for no kind.
    void (RowEvents::*callRow)(int row, const QString& key);

    /// The pickers of the library and price tools.
    PickerProfile pickers;
};

/// The profile of the kind that `findStyle` names (exact, case-sensitive); the no-kind profile for any
/// other text.
const LibraryProfile& libraryProfile(const QString& findStyle);

}  // namespace kx
