#pragma once

#include <QSettings>
#include <QString>
#include <QVariant>

#include <memory>
#include <optional>

namespace hollowmere {

// The user's settings, kept between runs under the keys the app has always used. The default
// store is the desktop's per-user configuration (~/.config/Hollowmere/Hollowmere.conf); tests
// give a file of their own.
class SettingsStore {
public:
    SettingsStore();
    explicit SettingsStore(const QString& file);

    // The value under `key`: absent when there is none or it is not a boolean ("true" and
    // "false" count, as the file format keeps them).
    std::optional<bool> boolean(const QString& key) const;
    // Stores the value; absent removes the key.
    void setBoolean(const QString& key, std::optional<bool> value);

    QVariant value(const QString& key) const;
    void setValue(const QString& key, const QVariant& value);
    void remove(const QString& key);
    // Writes what changed to disk now instead of at the next quiet moment.
    void sync();

private:
    std::unique_ptr<QSettings> settings_;
};

} // namespace hollowmere
