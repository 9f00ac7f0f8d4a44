#include "kpicturecatalog.h"

#include "kgifwriter.h"
#include "kicowriter.h"
#include "kpicturestyle.h"

#include <QBuffer>
#include <QImageWriter>
#include <QPainter>
#include <QtMath>

#include <cmath>

using namespace KPictureStyle;

namespace {

// The words pictures carry, in each language. English pictures keep the Chinese ones' sizes, so
// their words are chosen to fit (text() refuses a caption wider than its room).
struct Words
{
    const char* chinese;
    const char* english;
};

constexpr Words SwitchOn { "已开启", "On" };
constexpr Words SwitchOff { "已关闭", "Off" };
constexpr Words Protecting { "Vaultkeep正在保护您的工程文件", "Vaultkeep is protecting your files" };
constexpr Words NotProtecting { "Vaultkeep已关闭，工程文件未受保护",
    "Vaultkeep is off: files not protected" };
constexpr Words ClearList { "清空列表", "Clear list" };
constexpr Words FileProtection { "工程文件保护", "File protection" };
constexpr Words FirstBackup { "第一个工程文件已备份成功！", "Your first file is backed up!" };
constexpr Words FirstBackupMore { "文件改错了、误删了，都可以在Vaultkeep里恢复以前的版本。",
    "Changed or deleted a file by mistake? Vaultkeep brings back earlier versions." };
constexpr Words FirstBackupFooter { "Vaultkeep自动保护最近7天修改过的工程文件",
    "Vaultkeep protects files changed in the last 7 days" };
constexpr Words MoveDone { "备份转移完成！", "Backups moved!" };
constexpr Words MoveDoneMore { "备份文件已转移到新的备份盘", "Backups are on the new drive" };
constexpr Words Home { "首页", "Home" };
constexpr Words Versions { "错编恢复", "Version history" };
constexpr Words Deleted { "误删找回", "Deleted files" };
constexpr Words OpenVaultkeep { "打开Vaultkeep", "Open Vaultkeep" };
constexpr Words Done { "完成", "Done" };
constexpr Words Restore { "版本恢复", "Restore" };
constexpr Words BringBackToDesktop { "找回到桌面", "To desktop" };
constexpr Words RestoreToDesktop { "恢复到桌面", "To desktop" };
constexpr Words TakeALook { "赶紧看看", "Open it" };

// The language the picture being painted speaks on this thread, and whether its painter chose
// words by it.
thread_local KPictureLanguage t_language = KPictureLanguage::Chinese;
thread_local bool t_choseWords = false;

QString say(const Words& words)
{
    t_choseWords = true;
    return QString::fromUtf8(t_language == KPictureLanguage::English ? words.english : words.chinese);
}

QColor colour(QRgb rgba)
{
    return QColor::fromRgba(rgba);
}

QPolygonF polygon(std::initializer_list<QPointF> points)
{
    return QPolygonF(QVector<QPointF>(points));
}

QRgb withAlpha(QRgb rgb, int alpha)
{
    return qRgba(qRed(rgb), qGreen(rgb), qBlue(rgb), alpha);
}

// ---- Title strip buttons: white marks on the host's skin; hover lights the button. -------------

enum class TitleMark
{
    Close,
    Minimise,
    Maximise,
    Restore,
    Settings
};

void titleButton(QPainter& p, const QRectF& r, int frame, TitleMark mark)
{
    // The title strips place these 23-pixel buttons at their top, in a 30-pixel strip: the mark
    // sits low in the frame so that it lines up with the caption's middle, and the hover box is
    // centred on the mark.
    const qreal centreY = 14;
    p.setRenderHint(QPainter::Antialiasing);
    if (frame == Hover) {
        p.setPen(Qt::NoPen);
        p.setBrush(mark == TitleMark::Close ? colour(CloseHover) : QColor(255, 255, 255, 48));
        p.drawPath(rounded(QRectF(2, centreY - 9, r.width() - 4, 18), 3));
    }
    // The marks are 10 x 10 pixels, drawn on pixel centres.
    const qreal left = qFloor(r.center().x()) - 5;
    const qreal top = centreY - 5;
    p.setPen(QPen(Qt::white, 1.0));
    p.setBrush(Qt::NoBrush);
    switch (mark) {
    case TitleMark::Close:
        cross(p, QRectF(left, top, 10, 10), 9, Qt::white, 1.25);
        break;
    case TitleMark::Minimise:
        p.fillRect(QRectF(left, top + 5, 10, 1), Qt::white);
        break;
    case TitleMark::Maximise:
        p.drawRect(QRectF(left + 0.5, top + 0.5, 9, 9));
        break;
    case TitleMark::Restore:
        p.drawRect(QRectF(left + 0.5, top + 2.5, 7, 7));
        p.drawPolyline(polygon(
            { QPointF(left + 2.5, top + 2.5), QPointF(left + 2.5, top + 0.5), QPointF(left + 9.5, top + 0.5),
                QPointF(left + 9.5, top + 7.5), QPointF(left + 7.5, top + 7.5) }));
        break;
    case TitleMark::Settings:
        glyph(p, Glyph::Gear, QRectF(left - 1.5, top - 1.5, 13, 13), Qt::white);
        break;
    }
}

// ---- The main window's tabs: a glyph and the page's name; the tab widget draws no text. --------

enum class TabLook
{
    Normal,
    Hover,
    Selected
};

void tab(QPainter& p, const QRectF& r, Glyph g, const QString& caption, TabLook look)
{
    const QRgb separator = 0xffd9dfe7;
    QRgb ink = 0xff5a6470;
    bool bold = false;
    switch (look) {
    case TabLook::Normal:
        p.fillRect(r, vertical(r, 0xfff8fafc, 0xffedf1f6));
        p.fillRect(QRectF(0, r.height() - 1, r.width(), 1), colour(separator));
        break;
    case TabLook::Hover:
        p.fillRect(r, colour(0xffe6f0fb));
        p.fillRect(QRectF(0, r.height() - 1, r.width(), 1), colour(BlueLine));
        ink = Blue;
        break;
    case TabLook::Selected:
        p.fillRect(r, Qt::white);
        p.fillRect(QRectF(0, 0, r.width(), 3), colour(Blue));
        ink = Blue;
        bold = true;
        break;
    }
    p.fillRect(QRectF(r.width() - 1, 0, 1, r.height()), colour(separator));

    const int pixels = 15;
    const qreal icon = 18, gap = 6;
    const qreal width = icon + gap + textWidth(caption, pixels, bold);
    const qreal left = qRound((r.width() - width) / 2);
    const qreal middle = look == TabLook::Selected ? 20 : 19; // below the selected tab's bar
    glyph(p, g, QRectF(left, middle - icon / 2, icon, icon), colour(ink), 1.9);
    text(p, QRectF(left + icon + gap, middle - 12, r.width() - left - icon - gap, 24), caption, pixels, ink,
        bold, Qt::AlignLeft | Qt::AlignVCenter);
}

// ---- Home page ------------------------------------------------------------------------------

void toggle(QPainter& p, const QRectF& r, bool on)
{
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF track = r.adjusted(0.5, 0.5, -0.5, -0.5);
    const qreal radius = track.height() / 2;
    p.setPen(Qt::NoPen);
    p.setBrush(on ? vertical(track, GreenLight, GreenDark) : vertical(track, 0xffaab2bb, 0xff8d96a0));
    p.drawRoundedRect(track, radius, radius);
    const qreal knob = track.height() - 4;
    const qreal knobLeft = on ? track.right() - 2 - knob : track.left() + 2;
    p.setBrush(QColor(0, 0, 0, 40));
    p.drawEllipse(QRectF(knobLeft, track.top() + 2.6, knob, knob));
    p.setBrush(Qt::white);
    p.drawEllipse(QRectF(knobLeft, track.top() + 2, knob, knob));
    const QRectF label = on ? QRectF(track.left() + 4, 0, knobLeft - track.left() - 4, r.height())
                            : QRectF(knobLeft + knob, 0, track.right() - knobLeft - knob - 4, r.height());
    text(p, label, on ? say(SwitchOn) : say(SwitchOff), 12, White, true);
}

// The two large image buttons of the home page: a disc with a white glyph and a caption.
void homeButton(
    QPainter& p, const QRectF& r, Glyph g, const QString& caption, QRgb top, QRgb bottom, bool hover)
{
    p.setRenderHint(QPainter::Antialiasing);
    const QPointF centre(r.width() / 2, 78);
    const qreal radius = 62;
    p.setPen(Qt::NoPen);
    if (hover) {
        p.setBrush(colour(withAlpha(top, 40)));
        p.drawEllipse(centre, radius + 8, radius + 8);
    }
    const QRectF disc(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius);
    p.setBrush(hover ? vertical(disc, colour(top).lighter(108).rgba(), top) : vertical(disc, top, bottom));
    p.drawEllipse(disc);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(255, 255, 255, 70), 2));
    p.drawEllipse(centre, radius - 8, radius - 8);
    glyph(p, g, QRectF(centre.x() - 32, centre.y() - 32, 64, 64), Qt::white, 1.8);
    text(p, QRectF(0, 150, r.width(), 30), caption, 18, hover ? bottom : Text, true);
}

void homeTip(QPainter& p, const QRectF& r, bool on)
{
    if (on)
        shield(p, QRectF(0, 0, 18, 18), GreenLight, GreenDark, White);
    else
        shield(p, QRectF(0, 0, 18, 18), RedLight, RedDark, White, true);
    text(p, QRectF(22, 0, r.width() - 22, r.height()), on ? say(Protecting) : say(NotProtecting), 13,
        on ? GreenDark : RedDark, true, Qt::AlignLeft | Qt::AlignVCenter);
}

// ---- Buttons whose text the widget draws, and buttons that carry their own caption ------------

QRgb fill(int state)
{
    switch (state) {
    case Hover:
        return BlueHover;
    case Pressed:
        return BluePressed;
    case Disabled:
        return BlueDisabled;
    default:
        return Blue;
    }
}

void filledButton(
    QPainter& p, const QRectF& r, int state, const QString& caption = QString(), int pixels = 13)
{
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    const QRectF body = r.adjusted(0.5, 0.5, -0.5, -0.5);
    p.setBrush(vertical(body, colour(fill(state)).lighter(106).rgba(), fill(state)));
    p.drawPath(rounded(body, 3));
    if (!caption.isEmpty())
        text(p, r, caption, pixels, White, true);
}

// A white button with a thin border; `accent` colours border and caption, and fills it on hover.
void outlineButton(QPainter& p, const QRectF& r, int state, const QString& caption, QRgb accent)
{
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF body = r.adjusted(0.5, 0.5, -0.5, -0.5);
    const bool lit = state == Hover;
    p.setPen(QPen(colour(accent), 1));
    p.setBrush(lit ? colour(accent) : QColor(Qt::white));
    p.drawPath(rounded(body, 3));
    // Regular weight: bold CJK at 12 pixels smears.
    text(p, r, caption, 12, lit ? White : accent);
}

void whiteButton(QPainter& p, const QRectF& r, int state)
{
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF body = r.adjusted(0.5, 0.5, -0.5, -0.5);
    switch (state) {
    case Hover:
        p.setPen(QPen(colour(Blue), 1));
        p.setBrush(vertical(body, White, 0xffeaf3fd));
        break;
    case Pressed:
        p.setPen(QPen(colour(BluePressed), 1));
        p.setBrush(vertical(body, 0xffd6e6f8, 0xffe4eefa));
        break;
    case Disabled:
        p.setPen(QPen(colour(0xffdde2e8), 1));
        p.setBrush(colour(0xfff6f7f9));
        break;
    default:
        p.setPen(QPen(colour(GreyLight), 1));
        p.setBrush(vertical(body, White, 0xfff1f4f8));
        break;
    }
    p.drawPath(rounded(body, 3));
}

// The recover-to-desktop split button: the face (left) and its pull-down arrow (right).
void splitFace(QPainter& p, const QRectF& r, int state, const QString& caption)
{
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    const QRectF body = r.adjusted(0.5, 0.5, 0, -0.5);
    p.setBrush(vertical(body, colour(fill(state)).lighter(106).rgba(), fill(state)));
    p.drawPath(roundedLeft(body, 3));
    text(p, r, caption, 12, White);
}

void splitArrow(QPainter& p, const QRectF& r, int state)
{
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    const QRectF body = r.adjusted(0, 0.5, -0.5, -0.5);
    p.setBrush(vertical(body, colour(fill(state)).lighter(106).rgba(), fill(state)));
    p.drawPath(roundedRight(body, 3));
    p.fillRect(QRectF(0, 4, 1, r.height() - 8), QColor(255, 255, 255, 110));
    const QPointF c(r.width() / 2, r.height() / 2);
    p.setBrush(Qt::white);
    p.drawPolygon(polygon({ c + QPointF(-4, -2), c + QPointF(4, -2), c + QPointF(0, 2.5) }));
}

void closeButton(QPainter& p, const QRectF& r, int state, QRgb normalInk)
{
    p.setRenderHint(QPainter::Antialiasing);
    if (state == Hover) {
        p.setPen(Qt::NoPen);
        p.setBrush(colour(CloseHover));
        p.drawPath(rounded(r.adjusted(2, 2, -2, -2), 3));
    }
    cross(p, r, 8, colour(state == Hover ? White : normalInk), 1.4);
}

void dropArrow(QPainter& p, const QRectF& r, QRgb ink)
{
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(colour(ink));
    const QPointF c(r.width() / 2, r.height() / 2);
    p.drawPolygon(polygon({ c + QPointF(-4, -2), c + QPointF(4, -2), c + QPointF(0, 2.5) }));
}

// The filter column's entries: a transparent overlay over the label's own background colour.
void groupItem(QPainter& p, const QRectF& r, bool hot)
{
    p.setRenderHint(QPainter::Antialiasing);
    if (hot)
        p.fillRect(QRectF(0, 0, 3, r.height()), colour(Blue));
    const qreal x = r.width() - 16, y = r.height() / 2;
    p.setPen(QPen(colour(hot ? Blue : 0xffc3cad2), 1.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPolyline(polygon({ QPointF(x, y - 4), QPointF(x + 4, y), QPointF(x, y + 4) }));
}

void clearList(QPainter& p, const QRectF& r, bool hover)
{
    const QString caption = say(ClearList);
    const int pixels = 13;
    const QRgb ink = hover ? Blue : TextMute;
    const qreal icon = 16, gap = 4;
    const qreal left = qRound((r.width() - icon - gap - textWidth(caption, pixels)) / 2);
    glyph(p, Glyph::Trash, QRectF(left, (r.height() - icon) / 2, icon, icon), colour(ink), 1.9);
    text(p, QRectF(left + icon + gap, 0, r.width() - left - icon - gap, r.height()), caption, pixels, ink,
        false, Qt::AlignLeft | Qt::AlignVCenter);
}

// ---- Message box icons: a disc with a white mark, in the flat style of the question icon. ------

enum class BoxMark
{
    Information,
    Warning,
    Critical,
    Question
};

void boxIcon(QPainter& p, BoxMark mark)
{
    const QPointF c(16, 16);
    const qreal radius = 15;
    if (mark == BoxMark::Warning) {
        alertBadge(p, c, radius, 0xfff7ab2e, 0xffe68a00);
        return;
    }
    const qreal unit = radius / 10.0;
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF disc(c.x() - radius, c.y() - radius, 2 * radius, 2 * radius);
    p.setPen(Qt::NoPen);
    p.setBrush(mark == BoxMark::Critical ? vertical(disc, RedLight, RedDark)
                                         : vertical(disc, BlueHover, BluePressed));
    p.drawEllipse(disc);
    const QPen stroke(Qt::white, 2.2 * unit, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setBrush(Qt::white);
    switch (mark) {
    case BoxMark::Critical:
        cross(p, disc, 9 * unit, Qt::white, 2.2 * unit);
        break;
    case BoxMark::Information:
        p.drawEllipse(c + QPointF(0, -5 * unit), 1.35 * unit, 1.35 * unit);
        p.setPen(stroke);
        p.drawLine(c + QPointF(0, -1.4 * unit), c + QPointF(0, 5.2 * unit));
        break;
    case BoxMark::Question: {
        p.drawEllipse(c + QPointF(0, 5.2 * unit), 1.35 * unit, 1.35 * unit);
        QPainterPath hook(c + QPointF(-3.6 * unit, -2.6 * unit));
        hook.cubicTo(c + QPointF(-3.6 * unit, -6.8 * unit), c + QPointF(3.8 * unit, -6.8 * unit),
            c + QPointF(3.8 * unit, -2.8 * unit));
        hook.cubicTo(
            c + QPointF(3.8 * unit, -0.4 * unit), c + QPointF(0, -0.2 * unit), c + QPointF(0, 2.2 * unit));
        p.setPen(stroke);
        p.setBrush(Qt::NoBrush);
        p.drawPath(hook);
        break;
    }
    case BoxMark::Warning:
        break;
    }
    p.restore();
}

// ---- File icons -----------------------------------------------------------------------------

void blankPage(QPainter& p)
{
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(colour(0xff8fa0b0), 1));
    p.setBrush(Qt::white);
    p.drawPath(path({ { 5.5, 2.5 }, { 20.5, 2.5 }, { 26.5, 8.5 }, { 26.5, 29.5 }, { 5.5, 29.5 } }, true));
    p.setBrush(colour(0xffe6ebf0));
    p.drawPolygon(polygon({ QPointF(20.5, 2.5), QPointF(20.5, 8.5), QPointF(26.5, 8.5) }));
}

void spreadsheet(QPainter& p, const QRectF&, int)
{
    blankPage(p);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.fillRect(QRect(9, 12, 15, 4), colour(Green));
    const QColor grid = colour(withAlpha(Green, 150));
    for (int y : { 19, 22, 25 })
        p.fillRect(QRect(9, y, 15, 1), grid);
    for (int x : { 9, 14, 19, 23 })
        p.fillRect(QRect(x, 16, 1, 10), grid);
}

void unknownFile(QPainter& p, const QRectF&, int)
{
    blankPage(p);
    text(p, QRectF(5, 10, 22, 18), QStringLiteral("?"), 15, Grey, true);
}

// ---- Tips ------------------------------------------------------------------------------------

void longLogo(QPainter& p, const QRectF& r)
{
    p.fillRect(r, vertical(r, BlueSkinTop, BluePressed));
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 16));
    p.drawEllipse(QPointF(10, 8), 90, 60);
    shield(p, QRectF(26, 20, 48, 48), White, 0xffdce9f8, Blue);
    text(p, QRectF(0, 74, r.width(), 22), QStringLiteral("Vaultkeep"), 15, White, true);
    text(p, QRectF(0, 96, r.width(), 18), say(FileProtection), 12, withAlpha(White, 215));
}

void tipFirstBackup(QPainter& p, const QRectF& r)
{
    p.fillRect(r, Qt::white);
    const QRectF header(0, 0, r.width(), 32);
    p.fillRect(header, vertical(header, BlueSkinTop, BlueSkinBottom));
    shield(p, QRectF(9, 6, 20, 20), White, 0xffdce9f8, Blue);
    text(p, QRectF(34, 0, 200, 32), QStringLiteral("Vaultkeep"), 13, White, true,
        Qt::AlignLeft | Qt::AlignVCenter);

    checkBadge(p, QPointF(50, 84), 24, Green);
    text(p, QRectF(90, 58, r.width() - 104, 24), say(FirstBackup), 15, Text, true,
        Qt::AlignLeft | Qt::AlignVCenter);
    text(p, QRectF(90, 84, r.width() - 110, 40), say(FirstBackupMore), 12, TextSoft, false,
        Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap);

    // The action button sits 58 pixels above the bottom; the footer lies below it.
    const QRectF footer(0, r.height() - 44, r.width(), 44);
    p.fillRect(footer, colour(0xfff5f8fc));
    p.fillRect(QRectF(0, footer.top(), r.width(), 1), colour(Line));
    text(p, footer.adjusted(16, 0, -16, 0), say(FirstBackupFooter), 11, TextMute, false,
        Qt::AlignLeft | Qt::AlignVCenter);

    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(colour(0xff8fb3da));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(0, 0, r.width() - 1, r.height() - 1));
}

// ---- Moving the backup folder ----------------------------------------------------------------

void driveBadge(QPainter& p, const QRectF& r)
{
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF body = r.adjusted(0.5, 0.5, -0.5, -0.5);
    p.setPen(QPen(colour(BlueLine), 1));
    p.setBrush(vertical(body, 0xfff7fbff, BluePale));
    p.drawPath(rounded(body, 10));
    // The drive sits in the upper part; the drive's name is laid over the middle and below.
    glyph(p, Glyph::Drive, QRectF(r.width() / 2 - 28, 0, 56, 56), colour(BlueMuted));
}

void arrows(QPainter& p, const QRectF& r)
{
    p.setRenderHint(QPainter::Antialiasing);
    const qreal y = r.height() / 2;
    const int alphas[] = { 90, 170, 255 };
    for (int i = 0; i < 3; ++i) {
        const qreal x = 14 + i * 15;
        p.setPen(QPen(colour(withAlpha(Blue, alphas[i])), 2.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPolyline(polygon({ QPointF(x, y - 7), QPointF(x + 7, y), QPointF(x, y + 7) }));
    }
}

// One frame of the move animation: files leave the old drive and arrive at the new one, one after
// another, in an endless stream. It loops while the move lasts, so it tells that the move goes on,
// not how far it has come; 24 frames move each file about eleven pixels at a time.
constexpr int MoveFrames = 24;
constexpr int TravellingFiles = 3;
void moveFrame(QPainter& p, const QRectF& r, int frame);

void moveDone(QPainter& p, const QRectF& r)
{
    checkBadge(p, QPointF(26, 32), 21, Green);
    text(p, QRectF(58, 8, r.width() - 58, 28), say(MoveDone), 18, Text, true,
        Qt::AlignLeft | Qt::AlignVCenter);
    text(p, QRectF(58, 36, r.width() - 58, 20), say(MoveDoneMore), 12, TextMute, false,
        Qt::AlignLeft | Qt::AlignVCenter);
}

// ---- The catalog ----------------------------------------------------------------------------
//
// Every picture the plug-in names, where it looks for it, its frame size and frame count, and
// what it shows. Frame counts are those the widgets pass: 2 frames are normal and hover, 4 add
// pressed and disabled; a frame count of 0 in a widget call means 4. "Caption" means the picture
// carries its text because the widget draws none; buttons whose widget draws the text carry none.
// Where the design leaves a size open it is chosen to fit the widget (a button fits its longest
// text at 12 pixels; a tip's logo runs the tip's full height), and where it leaves a frame count
// open (tip_close.png, move_folder_button.png, 按扭背景.png) the row below settles it.

constexpr KPicturePlace R = KPicturePlace::Resource;
constexpr KPicturePlace S = KPicturePlace::Skin;

const KPictureSpec catalogRows[] = {
    // Title strip (compiled in), 2 frames as the strip sets them.
    { "关闭.png", R, 32, 23, 2, "close, title strip and message boxes: white cross; hover red",
        [](QPainter& p, const QRectF& r, int f) {
            titleButton(p, r, f, TitleMark::Close);
        } },
    { "最小化.png", R, 32, 23, 2, "minimise: white bar; hover lit",
        [](QPainter& p, const QRectF& r, int f) {
            titleButton(p, r, f, TitleMark::Minimise);
        } },
    { "最大化.png", R, 32, 23, 2, "maximise: white square; hover lit",
        [](QPainter& p, const QRectF& r, int f) {
            titleButton(p, r, f, TitleMark::Maximise);
        } },
    { "还原.png", R, 32, 23, 2, "restore: two white squares; hover lit",
        [](QPainter& p, const QRectF& r, int f) {
            titleButton(p, r, f, TitleMark::Restore);
        } },
    { "设置.png", R, 32, 23, 2, "settings: white gear; hover lit",
        [](QPainter& p, const QRectF& r, int f) {
            titleButton(p, r, f, TitleMark::Settings);
        } },
    { "皮肤背景.jpg", R, 800, 30, 1, "default title skin: blue, lighter at the top; tiles sideways",
        [](QPainter& p, const QRectF& r, int) {
            p.fillRect(r, vertical(r, BlueSkinTop, BlueSkinBottom));
            p.fillRect(QRectF(0, 0, r.width(), 1), colour(0xff62a7ea));
        } },

    // Home page (compiled in): the switch (one frame, its text empty) and the state logo.
    { "已开启.png", R, 75, 23, 1, "switch on: green pill, knob right, caption 已开启",
        [](QPainter& p, const QRectF& r, int) {
            toggle(p, r, true);
        } },
    { "已关闭.png", R, 75, 23, 1, "switch off: grey pill, knob left, caption 已关闭",
        [](QPainter& p, const QRectF& r, int) {
            toggle(p, r, false);
        } },
    { "绿色图标.png", R, 64, 64, 1, "logo while protecting: green shield with a check",
        [](QPainter& p, const QRectF& r, int) {
            shield(p, r, GreenLight, GreenDark, White);
        } },
    { "红色图标.png", R, 64, 64, 1, "logo while protection is off: red shield with an exclamation mark",
        [](QPainter& p, const QRectF& r, int) {
            shield(p, r, RedLight, RedDark, White, true);
        } },
    // Message box icons (compiled in), one per kind of box.
    { "信息.png", R, 32, 32, 1, "information box icon: blue disc with a white i",
        [](QPainter& p, const QRectF&, int) {
            boxIcon(p, BoxMark::Information);
        } },
    { "警告.png", R, 32, 32, 1, "warning box icon: orange disc with a white exclamation mark",
        [](QPainter& p, const QRectF&, int) {
            boxIcon(p, BoxMark::Warning);
        } },
    { "错误.png", R, 32, 32, 1, "critical box icon: red disc with a white cross",
        [](QPainter& p, const QRectF&, int) {
            boxIcon(p, BoxMark::Critical);
        } },
    { "询问.png", R, 32, 32, 1, "question box icon: blue disc with a white question mark",
        [](QPainter& p, const QRectF&, int) {
            boxIcon(p, BoxMark::Question);
        } },
    // Lists (compiled in): drawn at 32 x 32.
    { "excel.png", R, 32, 32, 1, "icon of .xlsx files: page with a green header row and a grid",
        spreadsheet },

    // Main window (skin files).
    { "VaultkeepA.ico", S, 48, 48, 1, "window icon: blue shield with a white check; 48, 32, 16 pixels",
        [](QPainter& p, const QRectF& r, int) {
            KPictureCatalog::paintAppIcon(p, r);
        } },
    { "titlelogo.png", S, 20, 20, 1, "title strip logo: white shield with a blue check",
        [](QPainter& p, const QRectF& r, int) {
            shield(p, r, White, 0xffdce9f8, Blue);
        } },
    // Tabs: border images of at least 161 x 38; "a" normal, "b" hover, bare name selected.
    { "首页a.png", S, 161, 38, 1, "home tab, normal: house and caption 首页 in grey",
        [](QPainter& p, const QRectF& r, int) {
            tab(p, r, Glyph::House, say(Home), TabLook::Normal);
        } },
    { "首页b.png", S, 161, 38, 1, "home tab, hover: pale blue, caption 首页 in blue",
        [](QPainter& p, const QRectF& r, int) {
            tab(p, r, Glyph::House, say(Home), TabLook::Hover);
        } },
    { "首页.png", S, 161, 38, 1, "home tab, selected: white, blue top bar, caption 首页 in bold blue",
        [](QPainter& p, const QRectF& r, int) {
            tab(p, r, Glyph::House, say(Home), TabLook::Selected);
        } },
    { "错编恢复a.png", S, 161, 38, 1, "mis-edit tab, normal: clock turning back, caption 错编恢复",
        [](QPainter& p, const QRectF& r, int) {
            tab(p, r, Glyph::History, say(Versions), TabLook::Normal);
        } },
    { "错编恢复b.png", S, 161, 38, 1, "mis-edit tab, hover",
        [](QPainter& p, const QRectF& r, int) {
            tab(p, r, Glyph::History, say(Versions), TabLook::Hover);
        } },
    { "错编恢复.png", S, 161, 38, 1, "mis-edit tab, selected",
        [](QPainter& p, const QRectF& r, int) {
            tab(p, r, Glyph::History, say(Versions), TabLook::Selected);
        } },
    { "误删找回a.png", S, 161, 38, 1, "deleted-file tab, normal: bin with an arrow out, caption 误删找回",
        [](QPainter& p, const QRectF& r, int) {
            tab(p, r, Glyph::BinRestore, say(Deleted), TabLook::Normal);
        } },
    { "误删找回b.png", S, 161, 38, 1, "deleted-file tab, hover",
        [](QPainter& p, const QRectF& r, int) {
            tab(p, r, Glyph::BinRestore, say(Deleted), TabLook::Hover);
        } },
    { "误删找回.png", S, 161, 38, 1, "deleted-file tab, selected",
        [](QPainter& p, const QRectF& r, int) {
            tab(p, r, Glyph::BinRestore, say(Deleted), TabLook::Selected);
        } },

    // Home page (skin files): the two 188 x 188 image buttons (normal = pressed, "a" hover) and
    // the 259 x 18 line beside the logo.
    { "错编恢复01.png", S, 188, 188, 1,
        "to mis-edit recovery: blue disc, clock turning back, caption 错编恢复",
        [](QPainter& p, const QRectF& r, int) {
            homeButton(p, r, Glyph::History, say(Versions), BlueHover, BluePressed, false);
        } },
    { "错编恢复01a.png", S, 188, 188, 1, "the same, hover: lighter disc with a halo, caption in blue",
        [](QPainter& p, const QRectF& r, int) {
            homeButton(p, r, Glyph::History, say(Versions), BlueHover, BluePressed, true);
        } },
    { "误删找回02.png", S, 188, 188, 1,
        "to deleted files: green disc, bin with an arrow out, caption 误删找回",
        [](QPainter& p, const QRectF& r, int) {
            homeButton(p, r, Glyph::BinRestore, say(Deleted), GreenLight, GreenDark, false);
        } },
    { "误删找回02a.png", S, 188, 188, 1, "the same, hover: lighter disc with a halo, caption in green",
        [](QPainter& p, const QRectF& r, int) {
            homeButton(p, r, Glyph::BinRestore, say(Deleted), GreenLight, GreenDark, true);
        } },
    { "首页提示图_Open.png", S, 259, 18, 1,
        "protection on: small green shield, Vaultkeep正在保护您的工程文件",
        [](QPainter& p, const QRectF& r, int) {
            homeTip(p, r, true);
        } },
    { "首页提示图_Close.png", S, 259, 18, 1,
        "protection off: small red shield, Vaultkeep已关闭，工程文件未受保护",
        [](QPainter& p, const QRectF& r, int) {
            homeTip(p, r, false);
        } },

    // Tips. The logo runs the tip's full height (133); action buttons are 2-frame strips whose
    // text the button draws (white on short_button, #333333 on long_button_white).
    { "long_logo.png", S, 100, 133, 1, "tip logo: blue panel, white shield, Vaultkeep, 工程文件保护",
        [](QPainter& p, const QRectF& r, int) {
            longLogo(p, r);
        } },
    { "cd.png", S, 40, 40, 1, "low-disk tip icon: drive with a red exclamation badge",
        [](QPainter& p, const QRectF&, int) {
            glyph(p, Glyph::Drive, QRectF(0, 1, 38, 38), colour(0xff7c95b3));
            alertBadge(p, QPointF(31, 29), 8.5, RedLight, RedDark);
        } },
    { "broom.png", S, 40, 40, 1, "folder-too-large tip icon: orange broom",
        [](QPainter& p, const QRectF&, int) {
            glyph(p, Glyph::Broom, QRectF(2, 2, 36, 36), colour(Orange), 2.2);
        } },
    { "tip_close.png", S, 20, 20, 2, "tip close (2 frames): grey cross; hover white on red",
        [](QPainter& p, const QRectF& r, int f) {
            closeButton(p, r, f, Grey);
        } },
    { "short_button.png", S, 160, 26, 2, "main tip action, no caption: blue; hover lighter",
        [](QPainter& p, const QRectF& r, int f) {
            filledButton(p, r, f);
        } },
    { "long_button_white.png", S, 96, 26, 2,
        "other tip actions, no caption: white, grey border; hover blue border",
        [](QPainter& p, const QRectF& r, int f) {
            whiteButton(p, r, f);
        } },
    { "tipOpenVaultkeepBg.png", S, 340, 230, 1,
        "first-backup dialog: blue header, green check, two lines of text, footer; button at 58 from the "
        "bottom",
        [](QPainter& p, const QRectF& r, int) {
            tipFirstBackup(p, r);
        } },
    { "打开Vaultkeep_按钮.png", S, 112, 30, 2,
        "first-backup action: blue, caption 打开Vaultkeep; hover lighter",
        [](QPainter& p, const QRectF& r, int f) {
            filledButton(p, r, f, say(OpenVaultkeep));
        } },
    { "关闭_tip.png", S, 24, 24, 2, "first-backup close, on the blue header: white cross; hover on red",
        [](QPainter& p, const QRectF& r, int f) {
            closeButton(p, r, f, White);
        } },

    // Moving the backup folder.
    { "盘符.png", S, 110, 110, 1, "drive badge under a drive's name: pale blue tile, drive at the top",
        [](QPainter& p, const QRectF& r, int) {
            driveBadge(p, r);
        } },
    { "箭头.png", S, 64, 24, 1, "from one drive to the other: three blue chevrons, fading in",
        [](QPainter& p, const QRectF& r, int) {
            arrows(p, r);
        } },
    { "转移备份.gif", S, 360, 60, MoveFrames,
        "move animation, looping: files travel in an arc from the grey old drive to the blue new one",
        moveFrame },
    { "迁移完成_正确.png", S, 260, 64, 1, "move finished: green check, 备份转移完成！ and a line below",
        [](QPainter& p, const QRectF& r, int) {
            moveDone(p, r);
        } },
    { "move_folder_button.png", S, 100, 32, 4, "move finished button: caption 完成; hover, pressed, disabled",
        [](QPainter& p, const QRectF& r, int f) {
            filledButton(p, r, f, say(Done), 14);
        } },

    // Settings and clean-up dialogs, message boxes.
    { "按扭背景.png", S, 100, 28, 4,
        "push-button background, no caption (4 frames): white, grey border; hover blue border; pressed pale "
        "blue; disabled pale grey",
        [](QPainter& p, const QRectF& r, int f) {
            whiteButton(p, r, f);
        } },
    { "下拉菜单三角.png", S, 14, 14, 1, "drive list arrow: grey triangle",
        [](QPainter& p, const QRectF& r, int) {
            dropArrow(p, r, TextMute);
        } },
    { "下拉菜单三角-鼠标移上去.png", S, 14, 14, 1, "drive list arrow, hover: blue triangle",
        [](QPainter& p, const QRectF& r, int) {
            dropArrow(p, r, Blue);
        } },
    { "提示.png", S, 32, 32, 1, "question box icon: blue disc with a white exclamation mark",
        [](QPainter& p, const QRectF&, int) {
            alertBadge(p, QPointF(16, 16), 15, BlueHover, BluePressed);
        } },

    // Lists and the recovery pages.
    { "Vaultkeeplogo64_64.png", S, 64, 64, 1, "empty-list placeholder: blue shield with a white check",
        [](QPainter& p, const QRectF& r, int) {
            shield(p, r, BlueHover, BluePressed, White);
        } },
    { "group_item_normal.png", S, 159, 32, 1, "filter entry overlay, transparent: grey chevron at the right",
        [](QPainter& p, const QRectF& r, int) {
            groupItem(p, r, false);
        } },
    { "group_item_hot.png", S, 159, 32, 1,
        "filter entry overlay, hover and selected: blue bar left, blue chevron",
        [](QPainter& p, const QRectF& r, int) {
            groupItem(p, r, true);
        } },
    { "版本恢复.png", S, 80, 26, 1, "open versions: white, blue border, caption 版本恢复",
        [](QPainter& p, const QRectF& r, int) {
            outlineButton(p, r, Normal, say(Restore), Blue);
        } },
    { "版本恢复_鼠标移上去.png", S, 80, 26, 1, "open versions, hover and pressed: blue, white caption",
        [](QPainter& p, const QRectF& r, int) {
            outlineButton(p, r, Hover, say(Restore), Blue);
        } },
    { "找回到桌面ab.png", S, 84, 26, 2,
        "bring-back split button face: blue, caption 找回到桌面; hover lighter",
        [](QPainter& p, const QRectF& r, int f) {
            splitFace(p, r, f, say(BringBackToDesktop));
        } },
    { "恢复到桌面ab.png", S, 84, 26, 2, "restore split button face: blue, caption 恢复到桌面; hover lighter",
        [](QPainter& p, const QRectF& r, int f) {
            splitFace(p, r, f, say(RestoreToDesktop));
        } },
    { "pullButton.png", S, 20, 26, 2, "restore split button arrow: blue, white triangle; hover lighter",
        [](QPainter& p, const QRectF& r, int f) {
            splitArrow(p, r, f);
        } },
    { "赶紧看看.png", S, 72, 24, 1, "open the restored copy: white, green border, caption 赶紧看看",
        [](QPainter& p, const QRectF& r, int) {
            outlineButton(p, r, Normal, say(TakeALook), GreenDark);
        } },
    { "赶紧看看a.png", S, 72, 24, 1, "open the restored copy, hover and pressed: green, white caption",
        [](QPainter& p, const QRectF& r, int) {
            outlineButton(p, r, Hover, say(TakeALook), GreenDark);
        } },
    { "找回至桌面常态.png", S, 90, 26, 1, "self-backup to desktop: white, blue border, caption 恢复到桌面",
        [](QPainter& p, const QRectF& r, int) {
            outlineButton(p, r, Normal, say(RestoreToDesktop), Blue);
        } },
    { "找回至桌面鼠标hover.png", S, 90, 26, 1,
        "self-backup to desktop, hover and pressed: blue, white caption",
        [](QPainter& p, const QRectF& r, int) {
            outlineButton(p, r, Hover, say(RestoreToDesktop), Blue);
        } },
    { "清空.png", S, 20, 20, 1, "delete a row (all four images): grey bin",
        [](QPainter& p, const QRectF&, int) {
            glyph(p, Glyph::Trash, QRectF(1, 1, 18, 18), colour(Grey), 1.8);
        } },
    { "清空列表01.png", S, 90, 30, 1,
        "clear the deleted list: grey bin and caption 清空列表 (the button paints no text)",
        [](QPainter& p, const QRectF& r, int) {
            clearList(p, r, false);
        } },
    { "清空列表01a.png", S, 90, 30, 1, "clear the deleted list, hover and pressed: the same in blue",
        [](QPainter& p, const QRectF& r, int) {
            clearList(p, r, true);
        } },
    { "unkownFile.png", S, 32, 32, 1, "icon of files of unknown type: page with a grey question mark",
        unknownFile },
};

void moveFrame(QPainter& p, const QRectF& r, int frame)
{
    p.fillRect(r, Qt::white);
    glyph(p, Glyph::Drive, QRectF(4, 6, 48, 48), colour(BlueMuted));
    glyph(p, Glyph::Drive, QRectF(r.width() - 52, 6, 48, 48), colour(Blue));
    p.setRenderHint(QPainter::Antialiasing);
    const qreal from = 64, to = r.width() - 64, ground = 46;
    p.setPen(QPen(colour(0xffd3deea), 2, Qt::DotLine, Qt::RoundCap));
    p.drawLine(QPointF(from, ground), QPointF(to, ground));
    // Evenly spaced along the way, so that frame 23 runs on into frame 0 without a jump. Each
    // file rises off the old drive, travels in a flat arc and fades out as it lands.
    for (int i = 0; i < TravellingFiles; ++i) {
        const qreal along = std::fmod(qreal(frame) / MoveFrames + qreal(i) / TravellingFiles, 1.0);
        const qreal x = from + (to - from) * along;
        const qreal lift = 12 * qSin(along * M_PI);
        p.setOpacity(qMin<qreal>(1.0, qMin(along, 1 - along) / 0.2));
        glyph(p, Glyph::Document, QRectF(x - 10, ground - 30 - lift, 20, 24), colour(Blue), 1.6);
    }
    p.setOpacity(1);
}

// Painted straight into the format that is written: Qt 5.15 converts images over 64 KB on its
// thread pool, behind a semaphore ThreadSanitizer cannot see, and the tests paint too.
QImage canvas(const QSize& size, bool opaque)
{
    QImage image(size, opaque ? QImage::Format_RGB32 : QImage::Format_ARGB32);
    image.fill(opaque ? Qt::white : Qt::transparent);
    // 96 dots per inch, whatever the screen says, so that the files carry the same header.
    image.setDotsPerMeterX(3780);
    image.setDotsPerMeterY(3780);
    return image;
}

QImage paintFrames(const KPictureSpec& spec, int first, int count, const QSize& frameSize,
    KPictureLanguage language = KPictureLanguage::Chinese)
{
    t_language = language;
    const bool opaque = spec.format() == KPictureSpec::Jpeg || spec.format() == KPictureSpec::Gif;
    QImage image = canvas(QSize(frameSize.width() * count, frameSize.height()), opaque);
    QPainter p(&image);
    for (int i = 0; i < count; ++i) {
        p.save();
        p.translate(i * frameSize.width(), 0);
        p.setClipRect(QRect(QPoint(0, 0), frameSize));
        spec.paint(p, QRectF(QPointF(0, 0), QSizeF(frameSize)), first + i);
        p.restore();
    }
    p.end();
    t_language = KPictureLanguage::Chinese;
    return image;
}

QByteArray write(const QImage& image, const char* format, int quality = -1)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setQuality(quality);
    if (!writer.write(image))
        return QByteArray();
    return bytes;
}

} // namespace

QString KPictureSpec::fileName() const
{
    return QString::fromUtf8(name);
}

KPictureSpec::Format KPictureSpec::format() const
{
    const QString file = fileName();
    if (file.endsWith(QLatin1String(".jpg")))
        return Jpeg;
    if (file.endsWith(QLatin1String(".gif")))
        return Gif;
    if (file.endsWith(QLatin1String(".ico")))
        return Ico;
    return Png;
}

QSize KPictureSpec::fileSize() const
{
    if (format() == Png)
        return QSize(frameWidth * frames, frameHeight);
    return QSize(frameWidth, frameHeight);
}

bool KPictureSpec::carriesWords() const
{
    t_choseWords = false;
    paintFrames(*this, 0, 1, QSize(frameWidth, frameHeight));
    return t_choseWords;
}

QImage KPictureSpec::render(KPictureLanguage language) const
{
    switch (format()) {
    case Gif:
    case Ico:
        return paintFrames(*this, 0, 1, QSize(frameWidth, frameHeight), language);
    case Jpeg:
    case Png:
        break;
    }
    return paintFrames(*this, 0, frames, QSize(frameWidth, frameHeight), language);
}

QVector<QImage> KPictureSpec::renderAll(KPictureLanguage language) const
{
    QVector<QImage> images;
    switch (format()) {
    case Gif:
        for (int i = 0; i < frames; ++i)
            images.append(paintFrames(*this, i, 1, QSize(frameWidth, frameHeight), language));
        break;
    case Ico:
        for (int size : KPictureCatalog::iconSizes())
            images.append(paintFrames(*this, 0, 1, QSize(size, size), language));
        break;
    case Jpeg:
    case Png:
        images.append(render(language));
        break;
    }
    return images;
}

QByteArray KPictureSpec::encode(KPictureLanguage language) const
{
    switch (format()) {
    case Png:
        return write(render(language), "png");
    case Jpeg:
        return write(render(language), "jpeg", 92);
    case Gif:
        return KGifWriter::encode(renderAll(language), KPictureCatalog::animationDelayMs());
    case Ico:
        return KIcoWriter::encode(renderAll(language));
    }
    return QByteArray();
}

namespace KPictureCatalog {

const QVector<KPictureSpec>& all()
{
    static const QVector<KPictureSpec> rows(std::begin(catalogRows), std::end(catalogRows));
    return rows;
}

QVector<int> iconSizes()
{
    return { 48, 32, 16 };
}

int animationDelayMs()
{
    return 80;
}

void paintAppIcon(QPainter& p, const QRectF& box)
{
    shield(p, box, BlueHover, BluePressed, White);
}

QVector<int> appIconSizes()
{
    return { 16, 22, 24, 32, 48, 64, 128, 256 };
}

QImage renderAppIcon(int size)
{
    QImage image = canvas(QSize(size, size), false);
    QPainter p(&image);
    paintAppIcon(p, QRectF(0, 0, size, size));
    p.end();
    return image;
}

} // namespace KPictureCatalog
