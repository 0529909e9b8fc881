#include "settings_store.h"

namespace hollowmere {

SettingsStore::SettingsStore()
    : settings_(std::make_unique<QSettings>(QStringLiteral("Hollowmere"), QStringLiteral("Hollowmere"))) {}

SettingsStore::SettingsStore(const QString& file)
    : settings_(std::make_unique<QSettings>(file, QSettings::IniFormat)) {}

std::optional<bool> SettingsStore::boolean(const QString& key) const {
    const QVariant stored = settings_->value(key);
    if (stored.typeId() == QMetaType::Bool) return stored.toBool();
    if (stored.typeId() == QMetaType::QString) {
        const QString text = stored.toString();
        if (text == QLatin1String("true")) return true;
        if (text == QLatin1String("false")) return false;
    }
    return std::nullopt;
}

void SettingsStore::setBoolean(const QString& key, std::optional<bool> value) {
    if (value) {
        settings_->setValue(key, *value);
    } else {
        settings_->remove(key);
    }
}

QVariant SettingsStore::value(const QString& key) const {
    return settings_->value(key);
}

void SettingsStore::setValue(const QString& key, const QVariant& value) {
    settings_->setValue(key, value);
}

void SettingsStore::remove(const QString& key) {
    settings_->remove(key);
}

void SettingsStore::sync() {
    settings_->sync();
}

} // namespace hollowmere
