#include "ui/Language.h"

#include <QCoreApplication>
#include <QLocale>
#include <QTranslator>

namespace Language {

namespace {
const QString kSpanish = QStringLiteral("es");

// "es", "es-ES", "es_419": the language part of a locale name.
QString languageOf(const QString& name)
{
    return name.section(u'-', 0, 0).section(u'_', 0, 0).toLower();
}

bool load(const QString& file)
{
    auto* translator = new QTranslator(QCoreApplication::instance());
    if (translator->load(file))
        return QCoreApplication::installTranslator(translator);
    delete translator;
    return false;
}
} // namespace

QString chosen(const QStringList& uiLanguages)
{
    for (const QString& name : uiLanguages) {
        const QString language = languageOf(name);
        if (language == kSpanish)
            return kSpanish;
        if (language == QLatin1String("en"))
            return {};
    }
    return {};
}

QString install()
{
    const QString language = chosen(QLocale::system().uiLanguages());
    if (language.isEmpty())
        return {};
    // Qt's own texts (the buttons of the message boxes, the file dialog) go first, so that the
    // program's own, installed after them, are looked up first.
    load(QStringLiteral(":/i18n/qtbase_%1.qm").arg(language));
    load(QStringLiteral(":/i18n/qtserialport_%1.qm").arg(language));
    if (!load(QStringLiteral(":/i18n/ticket-talvor_%1.qm").arg(language)))
        return {};
    return language;
}

} // namespace Language
