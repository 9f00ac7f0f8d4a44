#pragma once

#include <QColor>
#include <QFont>
#include <QPainterPath>
#include <QRectF>
#include <QString>

#include <initializer_list>

class QPainter;

// The one palette and the one type face every picture of the plug-in is painted with: a calm,
// flat blue-and-white desktop look. The greys and greens follow the colours the widgets use in
// their style sheets (#333333 text, #dfdfdf lines, #68bd21 success, #edf4fd row hover).
namespace KPictureStyle {

constexpr QRgb Blue = 0xff2b7fd6; // primary: filled buttons, selected tab, links
constexpr QRgb BlueHover = 0xff4a95e6;
constexpr QRgb BluePressed = 0xff1f63b3;
constexpr QRgb BlueDisabled = 0xffb7cbe0;
constexpr QRgb BlueSkinTop = 0xff3a8fe2; // default title skin, top to bottom
constexpr QRgb BlueSkinBottom = 0xff2470c6;
constexpr QRgb BluePale = 0xffedf4fd; // hover background of rows and tabs
constexpr QRgb BlueLine = 0xffbcd6f0;
constexpr QRgb BlueMuted = 0xff9db9d8;
constexpr QRgb Green = 0xff5db52a;
constexpr QRgb GreenLight = 0xff74c83f;
constexpr QRgb GreenDark = 0xff4a9a1e;
constexpr QRgb Red = 0xffdc4040;
constexpr QRgb RedLight = 0xffe86464;
constexpr QRgb RedDark = 0xffc81010;
constexpr QRgb CloseHover = 0xffe04343;
constexpr QRgb Orange = 0xfffe9900;
constexpr QRgb Text = 0xff333333;
constexpr QRgb TextSoft = 0xff666666;
constexpr QRgb TextMute = 0xff888888;
constexpr QRgb Grey = 0xff9aa3ad;
constexpr QRgb GreyLight = 0xffc5ced8;
constexpr QRgb Line = 0xffdfdfdf;
constexpr QRgb Panel = 0xfff2f2f2;
constexpr QRgb White = 0xffffffff;

// Pinned so that the pictures do not depend on the machine's default font. Debian's
// fonts-wqy-microhei provides it (tools/install-deps installs it).
QString family();
// True when `family()` is installed; the generator refuses to paint captions without it.
bool familyInstalled();
// The caption font at a pixel size: grey-scale anti-aliasing, no hinting, so that the same
// bytes come out on every build.
QFont font(int pixelSize, bool bold = false);

// Pictures carry state in frames: 0 normal, 1 hover, 2 pressed, 3 disabled.
enum State
{
    Normal = 0,
    Hover = 1,
    Pressed = 2,
    Disabled = 3
};

void text(QPainter& p, const QRectF& rect, const QString& caption, int pixelSize, QRgb colour,
    bool bold = false, int flags = Qt::AlignCenter);
qreal textWidth(const QString& caption, int pixelSize, bool bold = false);

// A path through `points`; `closed` joins the last point to the first.
QPainterPath path(std::initializer_list<QPointF> points, bool closed = false);
QPainterPath rounded(const QRectF& rect, qreal radius);
// A rectangle rounded on the left or on the right only: the halves of a split button.
QPainterPath roundedLeft(const QRectF& rect, qreal radius);
QPainterPath roundedRight(const QRectF& rect, qreal radius);
// A vertical gradient from `top` to `bottom` across `rect`.
QBrush vertical(const QRectF& rect, QRgb top, QRgb bottom);

// Glyphs. Each is designed on a 24 x 24 grid and drawn scaled into `box`.
enum class Glyph
{
    House, // the home tab
    History, // clock with a turning arrow: earlier versions
    BinRestore, // bin with an arrow out of it: deleted files come back
    Trash, // bin: delete
    Document,
    Drive,
    Folder,
    Broom,
    Check,
    Gear,
};
void glyph(QPainter& p, Glyph g, const QRectF& box, const QColor& colour, qreal stroke = 2.0);

// The plug-in's mark: a shield with a check (or, for `alert`, an exclamation mark).
void shield(QPainter& p, const QRectF& box, QRgb top, QRgb bottom, QRgb mark, bool alert = false);
// A filled circle with a white check: success.
void checkBadge(QPainter& p, const QPointF& centre, qreal radius, QRgb colour);
// A filled circle with a white exclamation mark.
void alertBadge(QPainter& p, const QPointF& centre, qreal radius, QRgb top, QRgb bottom);
// A small cross of `size` pixels centred in `box`, on pixel centres so that 1x stays sharp.
void cross(QPainter& p, const QRectF& box, qreal size, const QColor& colour, qreal stroke);

} // namespace KPictureStyle
