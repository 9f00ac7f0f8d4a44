#include "kpicturestyle.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <QtMath>

namespace KPictureStyle {

QString family()
{
    return QStringLiteral("WenQuanYi Micro Hei");
}

bool familyInstalled()
{
    return QFontDatabase().families().contains(family());
}

QFont font(int pixelSize, bool bold)
{
    QFont f(family());
    f.setPixelSize(pixelSize);
    f.setBold(bold);
    f.setHintingPreference(QFont::PreferNoHinting);
    f.setStyleStrategy(QFont::StyleStrategy(QFont::PreferAntialias | QFont::NoSubpixelAntialias));
    return f;
}

void text(
    QPainter& p, const QRectF& rect, const QString& caption, int pixelSize, QRgb colour, bool bold, int flags)
{
    // A character the pinned face lacks would come out in some other face, or as a box.
    const QFontMetricsF metrics(font(pixelSize, bold));
    for (const QChar ch : caption) {
        if (!ch.isSpace() && !metrics.inFont(ch))
            qFatal("The font %s has no glyph for U+%04X in \"%s\"", qPrintable(family()),
                unsigned(ch.unicode()), qPrintable(caption));
    }
    // Nor may it be clipped: the words of each language are chosen to fit the picture. A line's
    // ascent and descent may reach past a tight rectangle; wrapped lines may not.
    const QRectF needed = metrics.boundingRect(rect, flags, caption);
    if (needed.width() > rect.width() + 0.5
        || ((flags & Qt::TextWordWrap) && needed.height() > rect.height() + 0.5))
        qFatal("\"%s\" needs %.1f x %.1f pixels and has %.1f x %.1f", qPrintable(caption), needed.width(),
            needed.height(), rect.width(), rect.height());
    p.save();
    p.setFont(font(pixelSize, bold));
    p.setPen(QColor::fromRgba(colour));
    p.drawText(rect, flags, caption);
    p.restore();
}

qreal textWidth(const QString& caption, int pixelSize, bool bold)
{
    return QFontMetricsF(font(pixelSize, bold)).horizontalAdvance(caption);
}

QPainterPath path(std::initializer_list<QPointF> points, bool closed)
{
    QPainterPath result;
    for (const QPointF& point : points) {
        if (result.elementCount() == 0)
            result.moveTo(point);
        else
            result.lineTo(point);
    }
    if (closed)
        result.closeSubpath();
    return result;
}

QPainterPath rounded(const QRectF& rect, qreal radius)
{
    QPainterPath path;
    path.addRoundedRect(rect, radius, radius);
    return path;
}

QPainterPath roundedLeft(const QRectF& rect, qreal radius)
{
    QPainterPath path = rounded(rect, radius);
    QPainterPath square;
    square.addRect(rect.adjusted(rect.width() / 2, 0, 0, 0));
    return path.united(square).simplified();
}

QPainterPath roundedRight(const QRectF& rect, qreal radius)
{
    QPainterPath path = rounded(rect, radius);
    QPainterPath square;
    square.addRect(rect.adjusted(0, 0, -rect.width() / 2, 0));
    return path.united(square).simplified();
}

QBrush vertical(const QRectF& rect, QRgb top, QRgb bottom)
{
    QLinearGradient gradient(rect.topLeft(), rect.bottomLeft());
    gradient.setColorAt(0, QColor::fromRgba(top));
    gradient.setColorAt(1, QColor::fromRgba(bottom));
    return QBrush(gradient);
}

namespace {

QPainterPath shieldPath()
{
    QPainterPath path;
    path.moveTo(12, 1.5);
    path.lineTo(20.5, 4.5);
    path.lineTo(20.5, 11);
    path.cubicTo(20.5, 16.5, 16.8, 20.6, 12, 22.5);
    path.cubicTo(7.2, 20.6, 3.5, 16.5, 3.5, 11);
    path.lineTo(3.5, 4.5);
    path.closeSubpath();
    return path;
}

// Maps the 24-unit design grid onto `box`.
void enterGrid(QPainter& p, const QRectF& box)
{
    p.translate(box.topLeft());
    p.scale(box.width() / 24.0, box.height() / 24.0);
}

QPainterPath gearPath()
{
    QPainterPath teeth;
    const int count = 8;
    const qreal outer = 10.0, inner = 7.4;
    for (int i = 0; i < count * 4; ++i) {
        // Each tooth: rise, top, fall, gap; a quarter of the tooth pitch each.
        const qreal angle = (i * 2 * M_PI) / (count * 4) - M_PI / 2;
        const int phase = i % 4;
        const qreal r = (phase == 1 || phase == 2) ? outer : inner;
        const QPointF point(12 + r * qCos(angle), 12 + r * qSin(angle));
        if (i == 0)
            teeth.moveTo(point);
        else
            teeth.lineTo(point);
    }
    teeth.closeSubpath();
    QPainterPath hole;
    hole.addEllipse(QPointF(12, 12), 3.4, 3.4);
    return teeth.subtracted(hole);
}

void binOutline(QPainter& p)
{
    p.drawLine(QPointF(4, 6.5), QPointF(20, 6.5));
    p.drawPath(path({ { 9.5, 6.5 }, { 9.5, 3.8 }, { 14.5, 3.8 }, { 14.5, 6.5 } }));
    p.drawPath(path({ { 6, 6.5 }, { 7.2, 21 }, { 16.8, 21 }, { 18, 6.5 } }));
}

} // namespace

void glyph(QPainter& p, Glyph g, const QRectF& box, const QColor& colour, qreal stroke)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    enterGrid(p, box);
    QPen pen(colour, stroke, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    switch (g) {
    case Glyph::House: {
        p.drawPath(path({ { 3, 11.5 }, { 12, 3.5 }, { 21, 11.5 } }));
        p.drawPath(path({ { 5.8, 9.5 }, { 5.8, 20.5 }, { 18.2, 20.5 }, { 18.2, 9.5 } }));
        p.drawPath(path({ { 10.2, 20.5 }, { 10.2, 15 }, { 13.8, 15 }, { 13.8, 20.5 } }));
        break;
    }
    case Glyph::History: {
        // An arc three quarters round, its open end carrying the arrow head.
        const QRectF circle(3.5, 3.5, 17, 17);
        p.drawArc(circle, 150 * 16, -300 * 16);
        const QPointF tip(
            12 + 8.5 * qCos(qDegreesToRadians(150.0)), 12 - 8.5 * qSin(qDegreesToRadians(150.0)));
        p.drawLine(tip, tip + QPointF(-0.6, -3.6));
        p.drawLine(tip, tip + QPointF(3.4, -0.6));
        p.drawLine(QPointF(12, 7.5), QPointF(12, 12.5));
        p.drawLine(QPointF(12, 12.5), QPointF(15.2, 14.5));
        break;
    }
    case Glyph::BinRestore:
        binOutline(p);
        p.drawLine(QPointF(12, 18.2), QPointF(12, 10.5));
        p.drawLine(QPointF(9.2, 13.3), QPointF(12, 10.5));
        p.drawLine(QPointF(14.8, 13.3), QPointF(12, 10.5));
        break;
    case Glyph::Trash:
        binOutline(p);
        p.drawLine(QPointF(10, 10), QPointF(10.3, 17.5));
        p.drawLine(QPointF(14, 10), QPointF(13.7, 17.5));
        break;
    case Glyph::Document: {
        p.setBrush(Qt::white);
        p.drawPath(path({ { 5, 2.5 }, { 14.5, 2.5 }, { 19.5, 7.5 }, { 19.5, 21.5 }, { 5, 21.5 } }, true));
        p.setBrush(Qt::NoBrush);
        p.drawPath(path({ { 14.5, 2.5 }, { 14.5, 7.5 }, { 19.5, 7.5 } }));
        p.drawLine(QPointF(8, 12), QPointF(16.5, 12));
        p.drawLine(QPointF(8, 15.5), QPointF(16.5, 15.5));
        p.drawLine(QPointF(8, 19), QPointF(13, 19));
        break;
    }
    case Glyph::Drive: {
        p.setPen(Qt::NoPen);
        p.setBrush(colour);
        p.drawPath(rounded(QRectF(2, 6.5, 20, 11), 2.5));
        p.setBrush(QColor(255, 255, 255, 170));
        p.drawRect(QRectF(4.5, 12.8, 10, 1.6));
        p.setBrush(QColor::fromRgba(GreenLight));
        p.drawEllipse(QPointF(18.3, 13.6), 1.3, 1.3);
        break;
    }
    case Glyph::Folder: {
        p.setPen(Qt::NoPen);
        p.setBrush(colour);
        p.drawPath(path(
            { { 2.5, 5 }, { 9.5, 5 }, { 11.5, 7.5 }, { 21.5, 7.5 }, { 21.5, 19.5 }, { 2.5, 19.5 } }, true));
        p.setBrush(QColor(255, 255, 255, 60));
        p.drawRect(QRectF(2.5, 10, 19, 9.5));
        break;
    }
    case Glyph::Broom: {
        p.setPen(QPen(QColor::fromRgba(Grey), stroke, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(19.5, 2.5), QPointF(12.5, 12.5));
        p.setPen(Qt::NoPen);
        p.setBrush(colour);
        p.drawPath(path({ { 9, 10.5 }, { 16, 15 }, { 12.5, 21.5 }, { 2.5, 17.5 } }, true));
        p.setPen(QPen(QColor(255, 255, 255, 150), 0.9, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(6.5, 15.8), QPointF(10.2, 20.2));
        p.drawLine(QPointF(9.6, 14.4), QPointF(12.4, 19.2));
        p.setPen(QPen(QColor::fromRgba(GreyLight), 2.2, Qt::SolidLine, Qt::FlatCap));
        p.drawLine(QPointF(9.6, 11), QPointF(15.4, 14.6));
        break;
    }
    case Glyph::Check:
        p.drawLine(QPointF(5.5, 12.5), QPointF(10, 17));
        p.drawLine(QPointF(10, 17), QPointF(18.5, 7.5));
        break;
    case Glyph::Gear:
        p.setPen(Qt::NoPen);
        p.setBrush(colour);
        p.drawPath(gearPath());
        break;
    }
    p.restore();
}

void shield(QPainter& p, const QRectF& box, QRgb top, QRgb bottom, QRgb mark, bool alert)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    enterGrid(p, box);
    const QPainterPath path = shieldPath();
    p.setPen(Qt::NoPen);
    p.setBrush(vertical(QRectF(0, 1.5, 24, 21), top, bottom));
    p.drawPath(path);
    // The left half a little lighter: a folded, two-faced shield.
    QPainterPath left;
    left.addRect(QRectF(0, 0, 12, 24));
    p.setBrush(QColor(255, 255, 255, 38));
    p.drawPath(path.intersected(left));
    const QColor markColour = QColor::fromRgba(mark);
    if (alert) {
        p.setPen(QPen(markColour, 2.4, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(12, 6.8), QPointF(12, 13.2));
        p.setPen(Qt::NoPen);
        p.setBrush(markColour);
        p.drawEllipse(QPointF(12, 17), 1.45, 1.45);
    } else {
        p.setPen(QPen(markColour, 2.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawLine(QPointF(7.8, 11.8), QPointF(10.9, 14.9));
        p.drawLine(QPointF(10.9, 14.9), QPointF(16.4, 8.6));
    }
    p.restore();
}

void checkBadge(QPainter& p, const QPointF& centre, qreal radius, QRgb colour)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    const QRectF circle(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius);
    p.setBrush(vertical(circle, QColor::fromRgba(colour).lighter(112).rgba(), colour));
    p.drawEllipse(circle);
    glyph(p, Glyph::Check, circle.adjusted(radius * 0.22, radius * 0.22, -radius * 0.22, -radius * 0.22),
        Qt::white, 2.6);
    p.restore();
}

void alertBadge(QPainter& p, const QPointF& centre, qreal radius, QRgb top, QRgb bottom)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    const QRectF circle(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius);
    p.setBrush(vertical(circle, top, bottom));
    p.drawEllipse(circle);
    const qreal unit = radius / 10.0;
    p.setPen(QPen(Qt::white, 2.2 * unit, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(centre + QPointF(0, -5.2 * unit), centre + QPointF(0, 1.4 * unit));
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(centre + QPointF(0, 5 * unit), 1.35 * unit, 1.35 * unit);
    p.restore();
}

void cross(QPainter& p, const QRectF& box, qreal size, const QColor& colour, qreal stroke)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(colour, stroke, Qt::SolidLine, Qt::RoundCap));
    const QPointF c(qFloor(box.center().x()) + 0.5, qFloor(box.center().y()) + 0.5);
    const qreal h = size / 2;
    p.drawLine(c + QPointF(-h, -h), c + QPointF(h, h));
    p.drawLine(c + QPointF(h, -h), c + QPointF(-h, h));
    p.restore();
}

} // namespace KPictureStyle
