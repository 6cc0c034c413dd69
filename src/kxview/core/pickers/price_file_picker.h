// The decisions of the price-file picker (frmSelectPrice): which entry may be chosen or deleted, the owner
// check, a file imported into the folder and registered in its catalogue, a file browsed for, and the
// price files fetched from the update service. The form shows the tree and the entry's description and
// passes the user's clicks here.
#pragma once

#include <QString>

#include "core/data/catalogue_tree.h"
#include "core/pickers/picker_support.h"

class QObject;

namespace kx {

class UpdatePrompts;

/// What the price-file picker is set to and what it chose.
struct PriceFilePickerState {
    /// The application directory, ending with a separator.
    QString AppPath;
    /// The catalogued folder, ending with a separator.
    QString PriceDir;
    /// The catalogue's file name inside PriceDir.
    QString DBName;
    /// The extension of the listed files, with its dot (".QTJG", ".QTCJ").
    QString Extension;
    /// The current user, whom a price file's owner must match before it is deleted.
    QString UserName;
    /// The Name of the entry to select on opening ("" for none).
    QString DefaultName;
    /// 1 hides the delete, import and update buttons; any other value leaves them.
    qint16 HideCmd_Del = 0;
    qint16 HideCmd_Other = 0;
    qint16 HideCmd_Update = 0;
    /// True: the import button browses for any price file instead (caption "浏览...").
    bool CanOpenOther = false;
    /// The chosen file's full name.
    QString OpenFileFullName;
    /// 1 from opening until a file is chosen, then 0.
    qint32 UnloadState = 1;
};

/// The price-file picker without its form. Each action that may close the form returns true when it
/// chose a file (OpenFileFullName set, UnloadState 0). Messages go through the message service, the
/// import's and browse's file dialog through the file-dialog service, the downloads through `updates`.
class PriceFilePicker {
public:
    PriceFilePicker(CatalogueTree& tree, PickerDisplay& display, UpdatePrompts& updates)
        : m_tree(tree), m_display(display), m_updates(updates) {}

    PriceFilePickerState state;

    /// The widget message boxes and file dialogs appear over.
    void setMessageParent(QObject* parent) { m_parent = parent; }

    /// Opening: the catalogue copied from its template when missing, UnloadState 1, the tree loaded with
    /// the default entry selected (nodes 1 and 2 expanded when there are three nodes or more), and the
    /// selected entry shown. Throws kx::FileSystemError when the catalogue is missing and cannot be made,
    /// kx::DbError when it cannot be read.
    void open();
    /// Shows the selected entry: its file's author line and description, or "价格文件尚未下载" and the
    /// offer to download it when the file is missing. Throws kx::DbError when the catalogue or the price
    /// file cannot be read.
    void RefeshNodeInfo();
    /// Chooses the selected entry when its file exists; otherwise says "选择的列项无效!请重新选择!".
    bool choose();
    /// Deletes the selected entry's price file (after the owner check and the user's confirmation) and
    /// the entry; an entry whose file is gone goes without a question. Failures are told, never thrown.
    void deleteSelected();
    /// The import button: CallOtherPriceFile, or OpenOtherPriceFile when CanOpenOther.
    bool importOrBrowse();
    /// Imports a file the user picks: copied into PriceDir, a material library's stored price files
    /// written into its price folder, a price file catalogued after the selected entry. Failures and
    /// cancelling end it without a word (logged), the folder and the catalogue as they were.
    bool CallOtherPriceFile();
    /// Chooses any price file the user picks, without copying or cataloguing it.
    bool OpenOtherPriceFile();
    /// Offers the update service's price files of this folder's set. Throws as modUpdate::UpdatePriceFiles.
    void updateSet();
    /// The name of PriceDir's last folder: the key of the price set ("" when PriceDir has no separator).
    QString GetLastDirName() const;

private:
    QString catalogueFile() const { return state.PriceDir + state.DBName; }
    void offerDownload(const QString& fileName);
    void deleteEntry();
    bool importFile(const QString& source);
    void registerImport(const QString& target, const QString& source);

    CatalogueTree& m_tree;
    PickerDisplay& m_display;
    UpdatePrompts& m_updates;
    QObject* m_parent = nullptr;
};

}  // namespace kx
