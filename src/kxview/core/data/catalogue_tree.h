// What the catalogue helpers and the pickers need of a tree control loaded from a catalogue's Index table.
#pragma once

#include <QString>
#include <QtGlobal>
#include "kxview/kxview_core_export.h"

namespace kx {

/// What the catalogue helpers need of a tree control loaded from a catalogue's Index table: nodes
/// addressed by a 1-based index, each identified by its row's ID, with an image and a selected image.
class KXVIEW_CORE_EXPORT CatalogueTreeNodes {
public:
    virtual ~CatalogueTreeNodes() = default;
    /// The number of nodes; 0 for an empty tree.
    virtual qint16 NodeCount() const = 0;
    /// The ID of the row behind node `index` (1-based).
    virtual qint16 NodeID(qint16 index) const = 0;
    /// The tree's normal node image.
    virtual qint16 NodeImage() const = 0;
    /// Sets the image and the selected image of node `index`.
    virtual void SetNodeImages(qint16 index, qint16 image) = 0;
};

/// The tree of a picker: it loads a catalogue's Index table by itself, selects a node, and adds and deletes
/// the rows behind its nodes. Every node is the row whose ID it carries.
class KXVIEW_CORE_EXPORT CatalogueTree : public CatalogueTreeNodes {
public:
    /// Shows table `table` of the database `dbFullName`. Throws kx::DbError when it cannot be read.
    virtual void LoadTree(const QString& dbFullName, const QString& table) = 0;
    /// The ID of the node to select after the next loads; an ID no row has (0) selects none.
    virtual void setDefaultID(qint32 id) = 0;
    /// The ID of the selected node; 0 when none is selected.
    virtual qint16 SelectedID() const = 0;
    /// The 1-based index of the selected node; 0 when none is selected.
    virtual qint16 SelectedIndex() const = 0;
    /// The caption of node `index` (1-based).
    virtual QString NodeText(qint16 index) const = 0;
    /// Expands or collapses node `index` (1-based).
    virtual void setNodeExpanded(qint16 index, bool expanded) = 0;
    /// Adds a row captioned `caption` to the loaded table and selects its new node. Throws kx::DbError.
    virtual void AddNode(const QString& caption) = 0;
    /// Deletes the selected node and its row. Throws kx::DbError.
    virtual void DeleteSelected() = 0;
    /// True when the node with `id` is an entry of its own (one naming a file).
    virtual bool TestNode(qint16 id) const = 0;
};

}  // namespace kx
