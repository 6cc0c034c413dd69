// Where a control keeps the properties that persist with its host's form.
#pragma once

#include <QString>
#include <QVariant>
#include <memory>
#include <optional>
#include "kxview/kxview_core_export.h"

class QSettings;

namespace kx {

/// A store of named property values.
class KXVIEW_CORE_EXPORT PropertyStore {
public:
    virtual ~PropertyStore() = default;
    /// The stored value of `name`, or nothing when the store does not hold it.
    virtual std::optional<QVariant> read(const QString& name) const = 0;
    /// Stores `value` under `name`.
    virtual void write(const QString& name, const QVariant& value) = 0;
};

/// A store in a group of QSettings (the settings object must outlive the store).
class KXVIEW_CORE_EXPORT SettingsPropertyStore : public PropertyStore {
public:
    /// Keeps the properties in `settings` under `group`.
    SettingsPropertyStore(QSettings& settings, const QString& group);

    std::optional<QVariant> read(const QString& name) const override;
    void write(const QString& name, const QVariant& value) override;

private:
    QSettings& m_settings;
    QString m_prefix;
};

}  // namespace kx
