#include "Widgets/controls/kpicturestrip.h"

#include <QHash>

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
    static QHash<QString, QPixmap> read;
    const auto found = read.constFind(file);
    if (found != read.cend())
        return *found;
    QPixmap pixmap(file);
    if (!pixmap.isNull())
        read.insert(file, pixmap);
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
