// KXTree: a tree that loads a table of a Jet database by itself and names every node by its row's ID.
//
// The table's rows become nodes under the row named by their ParentID (top level for 0 or an unknown
// parent), captioned with Name and ordered among siblings by OCode where the table has that field (by ID
// otherwise). A category table (any table but "Index") gets one more node above its rows, captioned with
// the library's file title and without a row (ID 0), so its first category is node 2. Nodes are numbered
// from 1 in collection order: depth first, a parent before its children, as loaded; nodes added later
// come last.
#pragma once

#include <QIcon>
#include <QList>
#include <QWidget>
#include <memory>
#include <optional>
#include "kxview/kxview_export.h"

#include "core/data/catalogue_tree.h"

namespace kx {

/// The tree control.
class KXVIEW_EXPORT KXTree : public QWidget, public CatalogueTree {
    Q_OBJECT
    Q_PROPERTY(qint16 NodeImage READ NodeImage WRITE setNodeImage)

public:
    /// A node of the tree, addressed by its 1-based index in collection order; valid until the tree's
    /// nodes change.
    class Node {
    public:
        /// The caption.
        QString Text() const;
        /// Whether the node is the selected one; selecting it raises no NodeClick.
        bool Selected() const;
        void setSelected(bool selected);
        /// Whether the node is expanded (a node without children can be expanded too).
        bool Expanded() const;
        void setExpanded(bool expanded);
        /// Image numbers in the image list (1-based; 0 shows none); the selected image shows while the node
        /// is selected.
        qint16 Image() const;
        void setImage(qint16 image);
        qint16 SelectedImage() const;
        void setSelectedImage(qint16 image);

    private:
        friend class KXTree;
        Node(KXTree& tree, int position) : m_tree(&tree), m_position(position) {}
        KXTree* m_tree;
        int m_position;  // 0-based position in collection order
    };

    explicit KXTree(QWidget* parent = nullptr);
    ~KXTree() override;

    /// Loads table `p_Table` of the database `p_dbFullName`; on failure (kx::DbError, kx::ControlError
    /// for an ID beyond the 16-bit range) the tree keeps what it showed.
    void LoadTree(const QString& p_dbFullName, const QString& p_Table) override;
    /// The ID of the node to select after the next loads (none until set).
    void setDefaultID(qint32 id) override;
    /// Number of nodes (0 for an empty tree).
    qint16 NodeCount() const override;
    /// The node at a 1-based index; kx::ControlError when there is none.
    Node NodeAt(qint16 index);
    /// The ID of the selected node; 0 (no row) when none is selected.
    qint16 SelectedID() const override;
    /// The 1-based index of the selected node; 0 when none is selected.
    qint16 SelectedIndex() const override;
    /// The ID of the node at a 1-based index.
    qint16 NodeID(qint16 index) const override;
    /// The caption of the node at a 1-based index; kx::ControlError when there is none.
    QString NodeText(qint16 index) const override;
    /// Expands or collapses the node at a 1-based index; kx::ControlError when there is none.
    void setNodeExpanded(qint16 index, bool expanded) override;
    /// The image loaded nodes get ("setnodeimgindex").
    qint16 NodeImage() const override;
    void setNodeImage(qint16 image);
    /// Sets the image and the selected image of the node at a 1-based index.
    void SetNodeImages(qint16 index, qint16 image) override;
    /// The images that node image numbers refer to (number 1 is the first).
    void setImageList(const QList<QIcon>& images);

    /// Adds a row captioned `caption` to the loaded table (a sibling of the selected node, last among its
    /// siblings, or a top-level row when none is selected) and selects its new node.
    void AddNode(const QString& caption) override;
    /// Deletes the selected node's row from the loaded table and the node, its children included, from the
    /// tree; afterwards no node is selected.
    void DeleteSelected() override;
    /// True when the node with `id` is an entry of its own: a row naming a file (WithFileName) in tables
    /// that have that field, a node without children in the others.
    bool TestNode(qint16 id) const override;

signals:
    /// The user selected a node (click or keyboard).
    void NodeClick(qint16 p_ID, const QString& p_Text);
    /// The user double-clicked a node.
    void NodeDblClick(qint16 p_ID, const QString& p_Text);

private:
    struct Private;
    std::unique_ptr<Private> d;
};

}  // namespace kx
