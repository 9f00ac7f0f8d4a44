#ifndef KUILANGUAGE_H
#define KUILANGUAGE_H

#include <QLocale>
#include <QString>
#include <QStringList>

// The language the user interface speaks. Chosen once at start, before the first widget, and read
// wherever a text, picture, date or number is shown.
//
// The user chooses it in the host's settings file (`SettingKey`: "system", "zh_CN" or "en"); "system"
// follows the desktop: Chinese when the first of its languages (LANGUAGE, else LC_ALL, LC_MESSAGES
// or LANG, as Qt reads them) is Chinese, English otherwise. Until a program applies a choice, the
// interface is Chinese, the language its texts are written in.
namespace KUiLanguage {

enum class Language
{
    Chinese,
    English
};

enum class Choice
{
    System,
    Chinese,
    English
};

Language current();
void setCurrent(Language language);

// The locale dates and numbers are shown in: China's for Chinese; for English the desktop's when
// it is an English one, else the United States'.
QLocale locale();

// The host's settings file under the user's settings folder, where the choice is kept.
QString settingsFile(const QString& configHome);
extern const QString SettingKey;

Choice choiceFromSetting(const QString& value);
QString settingOf(Choice choice);
// The choice kept in `settingsFile`; System when none is, or the value is unknown.
Choice storedChoice(const QString& settingsFile);
[[nodiscard]] bool storeChoice(const QString& settingsFile, Choice choice);

// Chinese when the first of `uiLanguages` is a Chinese one ("zh", "zh-CN", "zh_TW"...).
Language fromUiLanguages(const QStringList& uiLanguages);
// System follows QLocale::system().uiLanguages().
Language resolve(Choice choice);

// Makes `language` current and installs its translations, the product's and Qt's own, into the
// application; for each library that holds this unit (the host and the plug-in), on the GUI thread,
// before the first widget. False when the product's translations were not found: the interface
// then stays Chinese, and current() says so.
bool apply(Language language);

// Applies the choice kept in the settings file under `configHome`.
bool applyChosen(const QString& configHome);

} // namespace KUiLanguage

#endif // KUILANGUAGE_H
