#pragma once

#include <QLocale>

// Qt's own dialogs and buttons (the save-file dialog, its confirmations) speak the language of
// the plug-in's user interface, not English: Qt's translations of them, qtbase_<language> in
// Qt's translations folder (Debian's qttranslations5-l10n), are installed in the application.
namespace KQtTranslations {

// The language of the user interface's texts.
QLocale uiLanguage();

// Installs the translations for `language` once per process, on the GUI thread; they go when
// the library does. False when they are not installed on the system: Qt's dialogs then stay
// in English.
bool install(const QLocale& language = uiLanguage());

} // namespace KQtTranslations
