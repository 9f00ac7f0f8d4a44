#ifndef KUILANGUAGE_H
#define KUILANGUAGE_H

// The language the user interface speaks. Chosen once at start, before the first widget, and read
// wherever a text, picture, date or number is shown.
namespace KUiLanguage {

enum class Language
{
    Chinese,
    English
};

Language current();
void setCurrent(Language language);

} // namespace KUiLanguage

#endif // KUILANGUAGE_H
