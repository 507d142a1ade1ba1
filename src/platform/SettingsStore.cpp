#include "platform/SettingsStore.h"

#include "platform/IniFile.h"
#include "platform/TextRoutines.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

SettingsStore::SettingsStore(QString path)
    : m_path(std::move(path))
{
}

QString SettingsStore::defaultPath()
{
    return defaultPath(QCoreApplication::applicationDirPath(),
                       QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation));
}

QString SettingsStore::defaultPath(const QString& exeDir, const QString& configDir)
{
    // isWritable asks the system (access), so root and read-only mounts get the true answer.
    // The folder counts too: a write goes to a new file that is renamed over the old one.
    const QFileInfo beside(QDir(exeDir).filePath(kFileName));
    // Without a home folder there is no user folder; a path relative to the working folder
    // would be no better than the one beside the program.
    if (configDir.isEmpty() ||
        (beside.isFile() && beside.isWritable() && QFileInfo(exeDir).isWritable()))
        return beside.filePath();
    // A folder that cannot be made leaves the writes failing quietly, as any failed write does.
    QDir().mkpath(configDir);
    return QDir(configDir).filePath(kFileName);
}

QString SettingsStore::readValue(const QString& section, const QString& key) const
{
    const QByteArray value = IniFile::read(m_path, section.toLatin1(), key.toLatin1());
    return QString::fromLatin1(TextRoutines::stripControlChars(value.left(kMaxValueLength)));
}

void SettingsStore::writeValue(const QString& section, const QString& key,
                               const QString& value) const
{
    // A line break inside the value would split it into lines of its own.
    const QByteArray stored = ' ' + TextRoutines::stripControlChars(value.trimmed().toLatin1());
    IniFile::write(m_path, section.toLatin1(), key.toLatin1(), stored);
}

bool SettingsStore::keeps(const QString& value)
{
    if (value.size() > kMaxValueLength || value.trimmed() != value)
        return false;
    for (const QChar c : value) {
        if (c.unicode() > 0xFF || c == u'\0' || c == u'\r' || c == u'\n')
            return false;
    }
    const bool quoted = value.size() >= 2 && value.front() == value.back() &&
                        (value.front() == u'"' || value.front() == u'\'');
    return !quoted;
}
