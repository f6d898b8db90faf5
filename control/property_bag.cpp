// The property bag rules and its in-memory and QSettings storage.
#include "property_bag.h"

#include <QSettings>

namespace vantler {

PropertyBag::~PropertyBag() = default;

QVariant PropertyBag::ReadProperty(const QString& name, const QVariant& defaultValue) const {
    const std::optional<QVariant> value = stored(name);
    if (!value || !value->isValid()) return defaultValue;
    if (!defaultValue.isValid() || value->metaType() == defaultValue.metaType()) return *value;
    // Text-based storage gives back strings; a value that does not convert counts as not stored.
    QVariant converted = *value;
    if (!converted.convert(defaultValue.metaType())) return defaultValue;
    return converted;
}

void PropertyBag::WriteProperty(const QString& name, const QVariant& value, const QVariant& defaultValue) {
    if (value == defaultValue || (!value.isValid() && !defaultValue.isValid()))
        remove(name);
    else
        store(name, value);
}

std::optional<QVariant> MemoryPropertyBag::stored(const QString& name) const {
    auto it = values_.constFind(name);
    if (it == values_.constEnd()) return std::nullopt;
    return *it;
}

void MemoryPropertyBag::store(const QString& name, const QVariant& value) { values_.insert(name, value); }

void MemoryPropertyBag::remove(const QString& name) { values_.remove(name); }

SettingsPropertyBag::SettingsPropertyBag(QSettings& settings, const QString& group)
    : settings_(settings), group_(group) {}

QString SettingsPropertyBag::key(const QString& name) const {
    return group_.isEmpty() ? name : group_ + QLatin1Char('/') + name;
}

std::optional<QVariant> SettingsPropertyBag::stored(const QString& name) const {
    if (!settings_.contains(key(name))) return std::nullopt;
    return settings_.value(key(name));
}

void SettingsPropertyBag::store(const QString& name, const QVariant& value) { settings_.setValue(key(name), value); }

void SettingsPropertyBag::remove(const QString& name) { settings_.remove(key(name)); }

}  // namespace vantler
