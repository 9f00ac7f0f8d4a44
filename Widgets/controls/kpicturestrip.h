#pragma once

#include <QPixmap>
#include <QRect>
#include <QString>

// A horizontal strip of equally wide frames, one per state of a button (normal, hovered,
// pressed, disabled), as KButton and KCustomButton draw them.
class KPictureStrip
{
public:
    // Loads `file` as a strip of `frames` frames; 0 frames means 4. A file that cannot be read
    // gives an empty strip with frames 0 pixels wide.
    void load(const QString& file, int frames);
    void clear();

    // The picture in `file`, read once while it stays in the pixmap cache: the skin's pictures do
    // not change while the program runs, and a list's rows would each read the same few again.
    static QPixmap picture(const QString& file);

    const QPixmap& pixmap() const { return m_pixmap; }
    QString fileName() const { return m_fileName; }
    int frameCount() const { return m_frameCount; }
    int frameWidth() const { return m_frameWidth; }
    int frameHeight() const { return m_frameHeight; }

    // The frame shown for a state: the state's own frame where the strip has one, else the
    // normal frame for the normal and disabled states and the hovered frame for the others.
    int frameForState(int state) const;
    QRect frameRect(int frame) const;

private:
    QPixmap m_pixmap;
    QString m_fileName;
    int m_frameCount = 0;
    int m_frameWidth = 0;
    int m_frameHeight = 0;
};
