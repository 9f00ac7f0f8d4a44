#include "Widgets/controls/kpicturestrip.h"

#include <QPixmapCache>

void KPictureStrip::load(const QString& file, int frames)
{
    m_frameCount = frames == 0 ? 4 : frames;
    m_fileName = file;
    m_pixmap = picture(file);
    m_frameWidth = m_frameCount > 0 ? m_pixmap.width() / m_frameCount : 0;
    m_frameHeight = m_pixmap.height();
}

QPixmap KPictureStrip::picture(const QString& file)
{
    // Qt's own cache: bounded, and emptied with the application rather than at the library's
    // unloading, when no pixmap may be freed any more.
    QPixmap pixmap;
    if (QPixmapCache::find(file, &pixmap))
        return pixmap;
    if (pixmap.load(file))
        QPixmapCache::insert(file, pixmap);
    return pixmap;
}

void KPictureStrip::clear()
{
    m_frameCount = 0;
    m_fileName.clear();
    m_pixmap = QPixmap();
}

int KPictureStrip::frameForState(int state) const
{
    if (state < m_frameCount)
        return state;
    return state == 0 || state == 3 ? 0 : 1;
}

QRect KPictureStrip::frameRect(int frame) const
{
    return QRect(frame * m_frameWidth, 0, m_frameWidth, m_frameHeight);
}
