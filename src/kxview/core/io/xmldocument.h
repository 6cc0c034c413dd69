// A small read-only XML document model for the update manifest and the information file.
//
// Attributes keep their document order, since both files are read by attribute position. Parsing never
// fetches anything: external entities stay unresolved and internal entity expansion is capped.
#pragma once

#include <QList>
#include <QString>
#include <optional>
#include <utility>
#include "kxview/kxview_core_export.h"

namespace kx {

/// One node of a loaded document: an element with its attributes and children, or a text, comment or
/// processing-instruction node, which has neither.
struct KXVIEW_CORE_EXPORT XmlNode {
    enum class Kind { Element, Text, Comment, ProcessingInstruction };

    Kind kind = Kind::Element;
    /// The element's tag name; empty for other kinds.
    QString name;
    /// Attribute names and values in document order.
    QList<std::pair<QString, QString>> attributes;
    /// Child nodes in document order (whitespace-only text is dropped).
    QList<XmlNode> children;
    /// Text, comment or processing-instruction data.
    QString text;

    /// The first child element named exactly `childName`, or null.
    const XmlNode* selectSingleNode(const QString& childName) const;
    /// The value of the attribute at `position` (0-based), or nothing when there are fewer attributes.
    std::optional<QString> attributeAt(int position) const;
};

/// A document loaded from a file.
class KXVIEW_CORE_EXPORT XmlDocument {
public:
    /// Reads and parses `path` (Windows spelling allowed). False, with an empty document, when the file
    /// cannot be read or is not well-formed.
    bool load(const QString& path);
    /// The document element, or null when nothing is loaded.
    const XmlNode* documentElement() const { return m_root ? &*m_root : nullptr; }
    /// The document element when it is named exactly `name`, else null (selecting a name from the document).
    const XmlNode* selectSingleNode(const QString& name) const;
    /// Why the last load failed; empty after a successful one.
    const QString& errorString() const { return m_error; }

private:
    std::optional<XmlNode> m_root;
    QString m_error;
};

}  // namespace kx
