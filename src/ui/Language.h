#pragma once

#include <QString>
#include <QStringList>

// The language of the windows: Spanish for a system whose preferred language is Spanish, the
// English source texts for any other. The command line never installs a translator, so the
// core's texts it prints stay English.
namespace Language {

// "es" when the first of the languages that the program has (English, Spanish) among the
// system's preferred languages, in order ("es-ES", "en-US", "C"...), is Spanish; "" for English.
QString chosen(const QStringList& uiLanguages);

// Installs, for the language chosen from QLocale::system(), the program's translation and Qt's
// own, both built into the program; nothing for English. Returns the language installed.
QString install();

} // namespace Language
