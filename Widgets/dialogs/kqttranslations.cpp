#include "Widgets/dialogs/kqttranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLoggingCategory>
#include <QTranslator>

Q_LOGGING_CATEGORY(lcTranslations, "vaultkeep.translations")

namespace KQtTranslations {

QLocale uiLanguage()
{
    return QLocale(QLocale::Chinese, QLocale::China);
}

bool install(const QLocale& language)
{
    // Removes itself from the application when the library is unloaded.
    static QTranslator translator;
    if (!translator.isEmpty())
        return true;
    const QString folder = QLibraryInfo::location(QLibraryInfo::TranslationsPath);
    if (!translator.load(language, QStringLiteral("qtbase"), QStringLiteral("_"), folder)) {
        qCInfo(lcTranslations) << "no Qt translations for" << language.name() << "in" << folder;
        return false;
    }
    return QCoreApplication::installTranslator(&translator);
}

} // namespace KQtTranslations
