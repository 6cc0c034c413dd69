#include "kxview/propertystore.h"

#include <QSettings>

namespace kx {

SettingsPropertyStore::SettingsPropertyStore(QSettings& settings, const QString& group)
    : m_settings(settings), m_prefix(group + QLatin1Char('/')) {}

std::optional<QVariant> SettingsPropertyStore::read(const QString& name) const {
    if (!m_settings.contains(m_prefix + name)) return std::nullopt;
    return m_settings.value(m_prefix + name);
}

void SettingsPropertyStore::write(const QString& name, const QVariant& value) {
    m_settings.setValue(m_prefix + name, value);
}

}  // namespace kx
