#pragma once

#include <QString>

// The settings file TicketTalvor.ini beside the executable. Each call opens, reads or writes
// and closes the file; nothing is cached.
class SettingsStore {
public:
    static constexpr qsizetype kMaxValueLength = 254;

    explicit SettingsStore(QString path = defaultPath());

    static QString defaultPath();
    QString path() const { return m_path; }

    // The key's value without the blanks around it and one pair of enclosing quotes, then cut to
    // 254 characters and without NUL, CR and LF; empty when absent.
    QString ReadIniValue(const QString& section, const QString& key) const;
    // Stores the value, trimmed, as "key= value". A failed write changes nothing and is not
    // reported: the next start reads whatever the file holds.
    void WriteIniValue(const QString& section, const QString& key, const QString& value) const;

private:
    QString m_path;
};
