// What both pickers share: the entry behind the selected node, the catalogue made from its template, the
// catalogue loaded into the tree with the default entry selected, the author line of a file, and the
// display the pickers fill.
#pragma once

#include <QString>
#include <optional>

#include "core/data/catalogue_tree.h"
#include "core/db/dbengine.h"

namespace kx {

/// Where a picker shows the selected entry: the one-line label ("制作人：...") and the description
/// (KeyInfo 'Direction', in the description control's mark-up).
class PickerDisplay {
public:
    virtual ~PickerDisplay() = default;
    /// Shows `label` and `description` in place of what was shown before.
    virtual void showEntryInfo(const QString& label, const QString& description) = 0;
};

/// What the pickers read of one row of a catalogue's Index table.
struct CatalogueEntry {
    qint32 parentId = 0;
    qint16 order = 0;
    /// WithFileName ("" for Null): a name from data, to be placed with kx::untrustedNameInFolder.
    QString fileName;
};

/// The entry whose ID is `id` ("SELECT * FROM Index WHERE ID=" + id); none when no row has it.
std::optional<CatalogueEntry> readCatalogueEntry(Database& catalogue, qint32 id);

/// The entry of the catalogue `catalogueFile` behind the tree's selected node; none when no node is
/// selected or its row is gone. Throws kx::DbError when the catalogue cannot be read.
std::optional<CatalogueEntry> selectedEntry(const CatalogueTree& tree, const QString& catalogueFile);

/// Copies `appPath` + "System\" + `dbName` to `folder` + `dbName` when that catalogue does not exist.
/// Throws kx::FileSystemError, naming both files, when the template is missing or cannot be copied
/// there (a missing folder among them).
void copyCatalogueTemplateIfMissing(const QString& appPath, const QString& folder, const QString& dbName);

/// Loads table Index of `catalogueFile` into `tree`, with the first entry whose Name is `defaultName`
/// selected (none when `defaultName` is empty or no entry has that name). Throws kx::DbError.
void loadCatalogue(CatalogueTree& tree, const QString& catalogueFile, const QString& defaultName);

/// "制作人：" + KeyInfo 'Man' + "  创建日期：" + KeyInfo 'Date' of `file`. Throws kx::DbError.
QString authorLine(Database& file);

/// Throws kx::DbError saying why when the database `fullName` can only be read, so that a change that
/// needs it to be written is refused before anything else is changed.
void requireWritable(const QString& fullName);

}  // namespace kx
