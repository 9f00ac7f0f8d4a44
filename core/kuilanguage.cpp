#include "kuilanguage.h"

#include "platform/kfileio.h"
#include "platform/kinistore.h"
#include "platform/kinstalllayout.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QLoggingCategory>
#include <QTranslator>

#include <atomic>

Q_LOGGING_CATEGORY(vkLanguage, "vaultkeep.language")

namespace KUiLanguage {

namespace {
// Set before the first widget, read from any thread after.
std::atomic<Language> g_current { Language::Chinese };

const QString SystemSetting = QStringLiteral("system");
const QString ChineseSetting = QStringLiteral("zh_CN");
const QString EnglishSetting = QStringLiteral("en");

QLocale localeOf(Language language)
{
    if (language == Language::Chinese)
        return QLocale(QLocale::Chinese, QLocale::China);
    const QLocale system = QLocale::system();
    return system.language() == QLocale::English ? system : QLocale(QLocale::English, QLocale::UnitedStates);
}

// Loads `translator` for `language` and puts it in the application, taking out what it held.
bool install(QTranslator& translator, Language language, const QString& name, const QString& folder)
{
    QCoreApplication::removeTranslator(&translator);
    if (!translator.load(localeOf(language), name, QStringLiteral("_"), folder)) {
        qCInfo(vkLanguage) << "no" << name << "translations for" << localeOf(language).name() << "in"
                           << folder;
        return false;
    }
    return QCoreApplication::installTranslator(&translator);
}
} // namespace

const QString SettingKey = QStringLiteral("ui/language");

Language current()
{
    return g_current.load(std::memory_order_relaxed);
}

void setCurrent(Language language)
{
    g_current.store(language, std::memory_order_relaxed);
}

QLocale locale()
{
    return localeOf(current());
}

QString settingsFile(const QString& configHome)
{
    return configHome + QStringLiteral("/vaultkeep/vaultkeep.conf");
}

Choice choiceFromSetting(const QString& value)
{
    if (value == ChineseSetting)
        return Choice::Chinese;
    if (value == EnglishSetting)
        return Choice::English;
    return Choice::System;
}

QString settingOf(Choice choice)
{
    switch (choice) {
    case Choice::Chinese:
        return ChineseSetting;
    case Choice::English:
        return EnglishSetting;
    case Choice::System:
        break;
    }
    return SystemSetting;
}

Choice storedChoice(const QString& settingsFile)
{
    const KIniStore settings(settingsFile, KIniFormat::Dialect::Settings);
    return choiceFromSetting(settings.value(SettingKey).toString());
}

bool storeChoice(const QString& settingsFile, Choice choice)
{
    // The stand-in host never made the folder.
    if (!KFileIO::makeFolder(QFileInfo(settingsFile).path()))
        return false;
    KIniStore settings(settingsFile, KIniFormat::Dialect::Settings);
    settings.setValue(SettingKey, settingOf(choice));
    return settings.sync();
}

Language fromUiLanguages(const QStringList& uiLanguages)
{
    if (uiLanguages.isEmpty())
        return Language::English;
    const QString first = uiLanguages.constFirst().toLower();
    const bool chinese = first == QLatin1String("zh") || first.startsWith(QLatin1String("zh-"))
        || first.startsWith(QLatin1String("zh_"));
    return chinese ? Language::Chinese : Language::English;
}

Language resolve(Choice choice)
{
    switch (choice) {
    case Choice::Chinese:
        return Language::Chinese;
    case Choice::English:
        return Language::English;
    case Choice::System:
        break;
    }
    return fromUiLanguages(QLocale::system().uiLanguages());
}

bool apply(Language language)
{
    // The library's own: they leave the application when the library is unloaded.
    static QTranslator product;
    static QTranslator qt;
    bool complete = true;
    if (language == Language::Chinese) {
        // The texts are written in Chinese.
        QCoreApplication::removeTranslator(&product);
    } else {
        const QString folder = KInstallLayout::dataFolder(QCoreApplication::applicationFilePath())
            + QStringLiteral("/translations");
        if (!install(product, language, QStringLiteral("vaultkeep"), folder)) {
            qCWarning(vkLanguage) << "the interface stays Chinese: no translations in" << folder;
            language = Language::Chinese;
            complete = false;
        }
    }
    setCurrent(language);
    // Without them Qt's dialogs speak English.
    install(qt, language, QStringLiteral("qt"), QLibraryInfo::location(QLibraryInfo::TranslationsPath));
    return complete;
}

bool applyChosen(const QString& configHome)
{
    return apply(resolve(storedChoice(settingsFile(configHome))));
}

} // namespace KUiLanguage
