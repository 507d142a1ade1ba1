#pragma once

#include <QString>

// The settings file TicketTalvor.ini: beside the executable for a portable copy, otherwise in the
// user's configuration folder. Each call opens, reads or writes and closes the file; nothing is
// cached.
class SettingsStore {
public:
    static constexpr qsizetype kMaxValueLength = 254;
    static inline const QString kFileName = QStringLiteral("TicketTalvor.ini");
    // main() sets it, so that the configuration folder is ~/.config/TicketTalvor on Linux.
    static inline const QString kApplicationName = QStringLiteral("TicketTalvor");

    explicit SettingsStore(QString path = defaultPath());

    // The choice below for the executable's folder and the application's configuration folder.
    static QString defaultPath();
    // The file beside the executable when it exists and the program can rewrite it there;
    // otherwise the file in configDir, which is created when missing. An empty configDir (no
    // home folder) leaves the file beside the executable.
    static QString defaultPath(const QString& exeDir, const QString& configDir);
    QString path() const { return m_path; }

    // The key's value without the blanks around it and one pair of enclosing quotes, then cut to
    // 254 characters and without NUL, CR and LF; empty when absent.
    QString readValue(const QString& section, const QString& key) const;
    // Stores the value, trimmed, as "key= value". A failed write changes nothing and is not
    // reported: the next start reads whatever the file holds.
    void writeValue(const QString& section, const QString& key, const QString& value) const;
    // True when a value written reads back as it is: Latin-1 text of at most 254 characters,
    // without NUL, CR or LF, without blanks around it or a pair of quotes enclosing it.
    static bool keeps(const QString& value);

private:
    QString m_path;
};
