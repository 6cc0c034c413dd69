// The decisions of the quota-library picker (frmPub_SelectDE): the folder's libraries registered in the
// catalogue on every opening, the entries whose library is not installed marked, the related-quota file
// made from its template, and a missing or newer library fetched from the update service.
#pragma once

#include <QString>

#include "core/data/catalogue_tree.h"
#include "core/pickers/picker_support.h"

class QObject;

namespace kx {

class UpdatePrompts;

/// What the quota-library picker is set to and what it chose.
struct QuotaLibraryPickerState {
    /// The application directory, ending with a separator.
    QString AppPath;
    /// The folder of the quota libraries and of their catalogue, ending with a separator.
    QString Path;
    /// The catalogue's file name inside Path ("DEIndex.mdb").
    QString DBName;
    /// The extension of the library files (".QTDE").
    QString Extension;
    /// Kept for the caller; the picker does not use it.
    QString UserName;
    /// The Name of the entry to select on opening ("" for none).
    QString DefaultName;
    /// The chosen library's full name.
    QString OpenFileFullName;
    /// 1 from opening until a library is chosen, then 0.
    qint32 UnloadState = 1;
};

/// The quota-library picker without its form. Actions that may close the form return true when they
/// chose a library (OpenFileFullName set, UnloadState 0). Messages go through the message service, the
/// downloads through `updates`.
class QuotaLibraryPicker {
public:
    QuotaLibraryPicker(CatalogueTree& tree, PickerDisplay& display, UpdatePrompts& updates)
        : m_tree(tree), m_display(display), m_updates(updates) {}

    QuotaLibraryPickerState state;

    /// The widget message boxes appear over.
    void setMessageParent(QObject* parent) { m_parent = parent; }

    /// Opening: the catalogue copied from its template when missing, UnloadState 1, every library of the
    /// folder registered (modPub_DB::SyncIndexFiles), the tree loaded with the default entry selected, the
    /// selected entry shown, and the entries whose library is missing marked. Throws
    /// kx::FileSystemError when the catalogue is missing and cannot be made, kx::DbError when a library
    /// cannot be registered (one without a KeyInfo 'Name') or the catalogue cannot be read.
    void open();
    /// Shows the selected entry: its library's author line and description, or the warning that it is
    /// not installed. Throws kx::DbError when the catalogue or the library cannot be read.
    void RefeshNodeInfo();
    /// Chooses the selected library; makes its related-quota file from the template when missing. A
    /// library that is not installed is offered for download first. Throws kx::DbError,
    /// kx::FileSystemError (a related-quota file that cannot be made).
    bool choose();
    /// A double-click: choose, when the tree counts the selected node as an entry of its own.
    bool chooseByDoubleClick();
    /// Fetches the selected library from the update service and tells how it went.
    void updateSelected();

private:
    QString catalogueFile() const { return state.Path + state.DBName; }
    void makeRelatedQuotaFileIfMissing(const QString& fileName);
    bool chooseMissing(const QString& fileName);

    CatalogueTree& m_tree;
    PickerDisplay& m_display;
    UpdatePrompts& m_updates;
    QObject* m_parent = nullptr;
};

}  // namespace kx
