#include "platform/SettingsStore.h"

#include "platform/IniFile.h"
#include "platform/TextRoutines.h"

#include <QCoreApplication>
#include <QDir>

SettingsStore::SettingsStore(QString path)
    : m_path(std::move(path))
{
}

QString SettingsStore::defaultPath()
{
    return QDir(QCoreApplication::applicationDirPath())
        .filePath(QStringLiteral("TicketTalvor.ini"));
}

QString SettingsStore::ReadIniValue(const QString& section, const QString& key) const
{
    const QByteArray value = IniFile::read(m_path, section.toLatin1(), key.toLatin1());
    return QString::fromLatin1(SubRoutines::StripControlChars(value.left(kMaxValueLength)));
}

void SettingsStore::WriteIniValue(const QString& section, const QString& key,
                                  const QString& value) const
{
    // A line break inside the value would split it into lines of its own.
    const QByteArray stored = ' ' + SubRoutines::StripControlChars(value.trimmed().toLatin1());
    IniFile::write(m_path, section.toLatin1(), key.toLatin1(), stored);
}
