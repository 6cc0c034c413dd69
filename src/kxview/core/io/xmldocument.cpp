#include "core/io/xmldocument.h"

#include <QFile>
#include <QXmlStreamReader>

#include "core/io/filesystem.h"
#include "core/services/logging.h"

namespace kx {
namespace {

// Manifests and information files are a few kilobytes; these bounds keep a hostile file from exhausting
// memory or the stack (nodes are destroyed recursively).
constexpr qint64 kMaxFileBytes = 16 * 1024 * 1024;
constexpr int kMaxDepth = 256;
constexpr int kEntityExpansionLimit = 4096;

XmlNode leafNode(XmlNode::Kind kind, const QString& text) {
    XmlNode node;
    node.kind = kind;
    node.text = text;
    return node;
}

/// Builds the element tree from the reader's tokens; false with `error` set when the text is not usable.
bool buildTree(QXmlStreamReader& reader, std::optional<XmlNode>& root, QString& error) {
    QList<XmlNode> open;  // the elements started and not yet ended, outermost first
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
            case QXmlStreamReader::StartElement: {
                if (open.size() >= kMaxDepth) {
                    error = QStringLiteral("elements nested too deeply");
                    return false;
                }
                XmlNode element;
                element.name = reader.name().toString();
                for (const QXmlStreamAttribute& a : reader.attributes())
                    element.attributes.append({a.qualifiedName().toString(), a.value().toString()});
                open.append(std::move(element));
                break;
            }
            case QXmlStreamReader::EndElement: {
                XmlNode done = open.takeLast();
                if (open.isEmpty())
                    root = std::move(done);
                else
                    open.last().children.append(std::move(done));
                break;
            }
            case QXmlStreamReader::Characters:
                if (!open.isEmpty() && !reader.isWhitespace())
                    open.last().children.append(leafNode(XmlNode::Kind::Text, reader.text().toString()));
                break;
            case QXmlStreamReader::Comment:
                if (!open.isEmpty())
                    open.last().children.append(leafNode(XmlNode::Kind::Comment, reader.text().toString()));
                break;
            case QXmlStreamReader::ProcessingInstruction:
                if (!open.isEmpty())
                    open.last().children.append(leafNode(XmlNode::Kind::ProcessingInstruction,
                                                         reader.processingInstructionData().toString()));
                break;
            default:
                // Entity references the reader did not resolve (external ones) are dropped, never fetched.
                break;
        }
    }
    if (reader.hasError()) {
        error = reader.errorString();
        return false;
    }
    return root.has_value();
}

}  // namespace

const XmlNode* XmlNode::selectSingleNode(const QString& childName) const {
    for (const XmlNode& child : children) {
        if (child.kind == Kind::Element && child.name == childName) return &child;
    }
    return nullptr;
}

std::optional<QString> XmlNode::attributeAt(int position) const {
    if (position < 0 || position >= attributes.size()) return std::nullopt;
    return attributes[position].second;
}

bool XmlDocument::load(const QString& path) {
    m_root.reset();
    m_error.clear();
    QFile file(fs::resolve(path));
    if (!file.open(QIODevice::ReadOnly)) {
        m_error = file.errorString();
        return false;
    }
    if (file.size() > kMaxFileBytes) {
        m_error = QStringLiteral("file too large");
        return false;
    }
    QXmlStreamReader reader(file.readAll());
    reader.setEntityExpansionLimit(kEntityExpansionLimit);
    std::optional<XmlNode> root;
    if (!buildTree(reader, root, m_error)) {
        qCInfo(lcKxView) << "not a usable XML document:" << path << m_error;
        return false;
    }
    m_root = std::move(root);
    return true;
}

const XmlNode* XmlDocument::selectSingleNode(const QString& name) const {
    return m_root && m_root->name == name ? &*m_root : nullptr;
}

}  // namespace kx
