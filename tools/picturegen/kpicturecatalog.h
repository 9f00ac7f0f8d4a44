#pragma once

#include <QByteArray>
#include <QImage>
#include <QRectF>
#include <QSize>
#include <QString>
#include <QVector>

class QPainter;

// Where the plug-in looks for a picture.
enum class KPicturePlace
{
    Resource, // compiled in, ":/Icons/Icons/<name>"
    Skin, // a file in the "VaultkeepSkin" folder beside the host executable
};

// The language of the words a picture carries. Pictures without words are painted once.
enum class KPictureLanguage
{
    Chinese,
    English,
};

// Paints one frame of a picture into `rect` (origin 0, 0; the painter is clipped to it).
using KFramePainter = void (*)(QPainter& p, const QRectF& rect, int frame);

// One picture of the plug-in: a row of the catalog table in kpicturecatalog.cpp.
struct KPictureSpec
{
    enum Format
    {
        Png,
        Jpeg,
        Gif,
        Ico
    };

    const char* name; // UTF-8 file name, exactly as the widgets ask for it
    KPicturePlace place;
    int frameWidth;
    int frameHeight;
    int frames; // PNG: frames side by side in a strip; GIF: frames of the animation
    const char* shows;
    KFramePainter paint;

    QString fileName() const;
    Format format() const;
    // The decoded size: a strip is `frames` frames wide; a GIF or an icon is one frame.
    QSize fileSize() const;
    // True when the picture carries words, so that each language has its own file.
    bool carriesWords() const;
    // A PNG or JPEG: the whole strip. A GIF: its first frame. An icon: its largest size.
    QImage render(KPictureLanguage language = KPictureLanguage::Chinese) const;
    // Every animation frame of a GIF; every size of an icon (iconSizes()); else the strip.
    QVector<QImage> renderAll(KPictureLanguage language = KPictureLanguage::Chinese) const;
    // The bytes of the file. Empty when an encoder fails.
    QByteArray encode(KPictureLanguage language = KPictureLanguage::Chinese) const;
};

namespace KPictureCatalog {

const QVector<KPictureSpec>& all();
// The sizes every icon file holds, the picture's own frame size first, then smaller: a plain image load
// takes the first entry, and scaling down looks better than scaling up.
QVector<int> iconSizes();
// The delay between the animation frames of a GIF.
int animationDelayMs();

// The application's icon, as the desktop's icon theme holds it and as the window icon shows it:
// painted into `box` of any paint device, the theme's pixel sizes, one size as an image.
void paintAppIcon(QPainter& p, const QRectF& box);
QVector<int> appIconSizes();
QImage renderAppIcon(int size);

} // namespace KPictureCatalog
