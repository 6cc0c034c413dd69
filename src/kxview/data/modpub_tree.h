// Tree helpers over catalogue tables: marking the entries whose file is missing.
#pragma once

#include <QString>

namespace kx {

/// What the catalogue helpers need of a tree control loaded from a catalogue's Index table: nodes
/// addressed by a 1-based index, each identified by its row's ID, with an image and a selected image.
class CatalogueTreeNodes {
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

}  // namespace kx

namespace modPub_Tree {

/// The image of an entry whose file is not installed.
inline constexpr qint16 kNotInstalledImage = 18;

/// For every node of `Tree` (loaded from the catalogue `Path` + `DBName`): a file entry whose file is
/// missing from `Path` gets the not-installed image, one whose file exists the tree's normal image;
/// entries without a file keep theirs. Throws kx::DbError when the catalogue cannot be read.
void MarkUninstalledNodes(const QString& Path, const QString& DBName, kx::CatalogueTreeNodes& Tree);

}  // namespace modPub_Tree
