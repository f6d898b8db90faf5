// Property bags: where a host keeps a control's design-time properties between sessions. A
// value equal to its default is not stored (and a stale stored value is removed).
#pragma once

#include "vantler_global.h"

#include <QMap>
#include <QString>
#include <QVariant>

#include <optional>

class QSettings;

namespace vantler {

class VANTLER_EXPORT PropertyBag {
public:
    virtual ~PropertyBag();
    // The stored value converted to the default's type, or the default when none is stored.
    QVariant ReadProperty(const QString& name, const QVariant& defaultValue = {}) const;
    void WriteProperty(const QString& name, const QVariant& value, const QVariant& defaultValue = {});

protected:
    virtual std::optional<QVariant> stored(const QString& name) const = 0;
    virtual void store(const QString& name, const QVariant& value) = 0;
    virtual void remove(const QString& name) = 0;
};

class VANTLER_EXPORT MemoryPropertyBag : public PropertyBag {
public:
    bool contains(const QString& name) const { return values_.contains(name); }
    QStringList names() const { return values_.keys(); }
    // The raw stored value, for hosts that copy bags.
    QVariant value(const QString& name) const { return values_.value(name); }

protected:
    std::optional<QVariant> stored(const QString& name) const override;
    void store(const QString& name, const QVariant& value) override;
    void remove(const QString& name) override;

private:
    QMap<QString, QVariant> values_;
};

// Keeps the properties under one group of a QSettings file.
class VANTLER_EXPORT SettingsPropertyBag : public PropertyBag {
public:
    SettingsPropertyBag(QSettings& settings, const QString& group);

protected:
    std::optional<QVariant> stored(const QString& name) const override;
    void store(const QString& name, const QVariant& value) override;
    void remove(const QString& name) override;

private:
    QString key(const QString& name) const;
    QSettings& settings_;
    QString group_;
};

}  // namespace vantler
