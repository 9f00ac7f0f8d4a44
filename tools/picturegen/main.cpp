// vaultkeep-picturegen: paints every picture of the plug-in (see the table in
// kpicturecatalog.cpp) and writes them where the plug-in looks for them.
//
//   vaultkeep-picturegen --qrc <dir>/pictures.qrc --skin <bin>/VaultkeepSkin [--sheet <file.png>]
//   vaultkeep-picturegen --app-icons <folder> --app-id <id>
//   vaultkeep-picturegen --list
//
// The compiled-in pictures go to <dir>/Icons/ and are listed in the .qrc under the prefix
// "/Icons", so that the plug-in finds them as ":/Icons/Icons/<name>". The skin files go to the
// skin folder. Files in either folder that the catalog does not name are removed, so a renamed
// picture leaves nothing stale behind. A picture that carries words is also painted in English,
// into the folder's en/ (":/Icons/Icons/en/<name>", VaultkeepSkin/en/<name>), where the plug-in
// looks first when it speaks English. --sheet also renders a contact sheet of every picture.
// --app-icons writes the application's icon as a freedesktop icon theme holds it.

#include "kpicturecatalog.h"
#include "kpicturestyle.h"

#include <QBuffer>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPainter>
#include <QSaveFile>
#include <QSvgGenerator>
#include <QTextStream>
#include <QtMath>

#include <cstdio>

namespace {

QTextStream& err()
{
    static QTextStream stream(stderr);
    return stream;
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        err() << "vaultkeep-picturegen: cannot write " << path << ": " << file.errorString() << '\n';
        return false;
    }
    return true;
}

bool makeFolder(const QString& path)
{
    if (QDir().mkpath(path))
        return true;
    err() << "vaultkeep-picturegen: cannot create the folder " << path << '\n';
    return false;
}

// `keep` holds names relative to `root`; `folder` is `root` or a folder below it.
void removeStrays(const QString& root, const QStringList& keep, const QString& below = QString())
{
    const QDir folder(below.isEmpty() ? root : QDir(root).filePath(below));
    const QStringList present = folder.entryList(QDir::Files | QDir::Hidden);
    for (const QString& name : present) {
        if (!keep.contains(below.isEmpty() ? name : below + QLatin1Char('/') + name))
            QFile::remove(folder.filePath(name));
    }
}

// hicolor/<n>x<n>/apps/<id>.png for each of the theme's sizes, and hicolor/scalable/apps/<id>.svg
// from the same drawing, below `folder`.
bool writeAppIcons(const QString& folder, const QString& id)
{
    for (const int size : KPictureCatalog::appIconSizes()) {
        const QString apps = QStringLiteral("%1/hicolor/%2x%2/apps").arg(folder).arg(size);
        QByteArray png;
        QBuffer buffer(&png);
        if (!buffer.open(QIODevice::WriteOnly)
            || !KPictureCatalog::renderAppIcon(size).save(&buffer, "png")) {
            err() << "vaultkeep-picturegen: cannot encode the " << size << " pixel application icon\n";
            return false;
        }
        if (!makeFolder(apps) || !writeFile(apps + QLatin1Char('/') + id + QStringLiteral(".png"), png))
            return false;
    }
    QByteArray svg;
    QBuffer buffer(&svg);
    buffer.open(QIODevice::WriteOnly);
    QSvgGenerator generator;
    generator.setOutputDevice(&buffer);
    generator.setSize(QSize(24, 24));
    generator.setViewBox(QRect(0, 0, 24, 24));
    generator.setTitle(QStringLiteral("Vaultkeep"));
    QPainter p(&generator);
    KPictureCatalog::paintAppIcon(p, QRectF(0, 0, 24, 24));
    p.end();
    const QString scalable = folder + QStringLiteral("/hicolor/scalable/apps");
    return makeFolder(scalable) && writeFile(scalable + QLatin1Char('/') + id + QStringLiteral(".svg"), svg);
}

// `names` relative to Icons/: "关闭.png", "en/已开启.png".
QByteArray qrc(const QStringList& names)
{
    QByteArray text("<!DOCTYPE RCC>\n<RCC version=\"1.0\">\n<qresource prefix=\"/Icons\">\n");
    for (const QString& name : names)
        text += "    <file>Icons/" + name.toUtf8() + "</file>\n";
    text += "</qresource>\n</RCC>\n";
    return text;
}

void list()
{
    QTextStream out(stdout);
    for (const KPictureSpec& spec : KPictureCatalog::all()) {
        out << (spec.place == KPicturePlace::Resource ? "resource " : "skin     ") << spec.fileName() << "  "
            << spec.frameWidth << 'x' << spec.frameHeight << " x" << spec.frames << "  "
            << QString::fromUtf8(spec.shows) << '\n';
    }
}

// ---- Contact sheet: every picture at 1x, on a checkerboard (and on the skin's blue where it
// has transparent parts), frame boundaries marked, with name, size and frames below. -----------

bool hasTransparency(const QImage& image)
{
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(image.pixel(x, y)) < 255)
                return true;
        }
    }
    return false;
}

void checkerboard(QPainter& p, const QRect& rect)
{
    p.fillRect(rect, Qt::white);
    for (int y = rect.top(); y <= rect.bottom(); y += 8) {
        for (int x = rect.left() + ((y - rect.top()) / 8 % 2) * 8; x <= rect.right(); x += 16)
            p.fillRect(QRect(x, y, 8, 8).intersected(rect), QColor(0xdd, 0xe2, 0xe8));
    }
}

struct Cell
{
    const KPictureSpec* spec;
    KPictureLanguage language;
    QVector<QImage> images; // strip, or animation frames, or icon sizes
    bool onBlue;
    QSize size;
};

QSize pictureArea(const Cell& cell)
{
    int width = 0, height = 0;
    for (const QImage& image : cell.images) {
        width += image.width() + 6;
        height = std::max(height, image.height());
    }
    if (cell.spec->format() == KPictureSpec::Gif) {
        // Animation frames in rows of four.
        const QSize frame = cell.images.first().size();
        const int rows = (cell.images.size() + 3) / 4;
        width = 4 * (frame.width() + 6);
        height = rows * (frame.height() + 6);
    }
    return QSize(width, cell.onBlue ? 2 * height + 6 : height);
}

void drawPictures(QPainter& p, const Cell& cell, QPoint at)
{
    const bool gif = cell.spec->format() == KPictureSpec::Gif;
    const int passes = cell.onBlue ? 2 : 1;
    const int rowHeight = pictureArea(cell).height() / passes;
    for (int pass = 0; pass < passes; ++pass) {
        QPoint origin = at + QPoint(0, pass * (rowHeight + (cell.onBlue ? 3 : 0)));
        int x = origin.x(), y = origin.y();
        for (int i = 0; i < cell.images.size(); ++i) {
            const QImage& image = cell.images.at(i);
            if (gif && i > 0 && i % 4 == 0) {
                x = origin.x();
                y += image.height() + 6;
            }
            const QRect target(QPoint(x, y), image.size());
            if (pass == 0)
                checkerboard(p, target);
            else
                p.fillRect(target, QColor::fromRgba(KPictureStyle::BlueSkinBottom));
            p.drawImage(target.topLeft(), image);
            if (cell.spec->format() == KPictureSpec::Png && cell.spec->frames > 1) {
                for (int f = 1; f < cell.spec->frames; ++f) {
                    const int fx = x + f * cell.spec->frameWidth;
                    p.fillRect(QRect(fx, y - 4, 1, 3), Qt::magenta);
                    p.fillRect(QRect(fx, y + image.height() + 1, 1, 3), Qt::magenta);
                }
            }
            x += image.width() + 6;
        }
    }
}

QImage contactSheet()
{
    const int sheetWidth = 1560, margin = 16, gap = 18, captionHeight = 34;
    QVector<Cell> cells;
    for (const KPictureSpec& spec : KPictureCatalog::all()) {
        QVector<KPictureLanguage> languages { KPictureLanguage::Chinese };
        if (spec.carriesWords())
            languages.append(KPictureLanguage::English);
        for (const KPictureLanguage language : languages) {
            Cell cell { &spec, language, spec.renderAll(language), false, QSize() };
            for (const QImage& image : cell.images)
                cell.onBlue = cell.onBlue || hasTransparency(image);
            const QSize area = pictureArea(cell);
            cell.size = QSize(std::max(area.width(), 200), area.height() + 8 + captionHeight);
            cells.append(cell);
        }
    }
    // Flow the cells left to right into rows.
    QVector<QPoint> positions;
    int x = margin, y = margin + 30, rowHeight = 0;
    for (const Cell& cell : cells) {
        if (x > margin && x + cell.size.width() > sheetWidth - margin) {
            x = margin;
            y += rowHeight + gap;
            rowHeight = 0;
        }
        positions.append(QPoint(x, y));
        x += cell.size.width() + gap;
        rowHeight = std::max(rowHeight, cell.size.height());
    }
    QImage sheet(sheetWidth, y + rowHeight + margin, QImage::Format_RGB32);
    sheet.fill(QColor(0xee, 0xf0, 0xf3));
    QPainter p(&sheet);
    p.setFont(KPictureStyle::font(16, true));
    p.setPen(QColor::fromRgba(KPictureStyle::Text));
    p.drawText(QRect(margin, 8, sheetWidth, 26), Qt::AlignLeft | Qt::AlignVCenter,
        QStringLiteral("Vaultkeep pictures: %1 files; R compiled in (:/Icons/Icons/), S skin folder "
                       "(VaultkeepSkin/); magenta ticks mark frame boundaries")
            .arg(cells.size()));
    for (int i = 0; i < cells.size(); ++i) {
        const Cell& cell = cells.at(i);
        const QPoint at = positions.at(i);
        drawPictures(p, cell, at + QPoint(0, 4));
        const int captionTop = at.y() + pictureArea(cell).height() + 10;
        const KPictureSpec& spec = *cell.spec;
        const QString title
            = QStringLiteral("%1 %2  %3x%4%5")
                  .arg(spec.place == KPicturePlace::Resource ? QLatin1Char('R') : QLatin1Char('S'))
                  .arg((cell.language == KPictureLanguage::English ? QStringLiteral("en/") : QString())
                      + spec.fileName())
                  .arg(spec.frameWidth)
                  .arg(spec.frameHeight)
                  .arg(spec.frames > 1 ? QStringLiteral(" x%1").arg(spec.frames) : QString());
        p.setFont(KPictureStyle::font(12, true));
        p.setPen(QColor::fromRgba(KPictureStyle::Text));
        p.drawText(QRect(at.x(), captionTop, cell.size.width(), 16), Qt::AlignLeft | Qt::AlignVCenter, title);
        p.setFont(KPictureStyle::font(11));
        p.setPen(QColor::fromRgba(KPictureStyle::TextSoft));
        const QString shows
            = p.fontMetrics().elidedText(QString::fromUtf8(spec.shows), Qt::ElideRight, cell.size.width());
        p.drawText(
            QRect(at.x(), captionTop + 16, cell.size.width(), 16), Qt::AlignLeft | Qt::AlignVCenter, shows);
    }
    p.end();
    return sheet;
}

} // namespace

int main(int argc, char* argv[])
{
    // The pictures never reach a screen; the offscreen platform still gives fonts through
    // fontconfig, and the same output whether or not a display is around.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vaultkeep-picturegen"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Paints every picture of the plug-in."));
    parser.addHelpOption();
    const QCommandLineOption qrcOption(QStringLiteral("qrc"),
        QStringLiteral("Resource file to write; the pictures go to Icons/ beside it."),
        QStringLiteral("file"));
    const QCommandLineOption skinOption(
        QStringLiteral("skin"), QStringLiteral("Skin folder to fill."), QStringLiteral("folder"));
    const QCommandLineOption sheetOption(QStringLiteral("sheet"),
        QStringLiteral("Also render a contact sheet of every picture."), QStringLiteral("file.png"));
    const QCommandLineOption listOption(
        QStringLiteral("list"), QStringLiteral("Print the catalog and stop."));
    const QCommandLineOption appIconsOption(QStringLiteral("app-icons"),
        QStringLiteral("Write the application's icon theme files below <folder>."), QStringLiteral("folder"));
    const QCommandLineOption appIdOption(QStringLiteral("app-id"),
        QStringLiteral("The application id that names the icon files."), QStringLiteral("id"));
    parser.addOptions({ qrcOption, skinOption, sheetOption, listOption, appIconsOption, appIdOption });
    parser.process(app);

    if (parser.isSet(listOption)) {
        list();
        return 0;
    }
    if (!parser.isSet(qrcOption) && !parser.isSet(skinOption) && !parser.isSet(sheetOption)
        && !parser.isSet(appIconsOption)) {
        err() << "vaultkeep-picturegen: nothing to do; give --qrc, --skin, --sheet or --app-icons (see "
                 "--help)\n";
        return 2;
    }
    if (parser.isSet(appIconsOption) && parser.value(appIdOption).isEmpty()) {
        err() << "vaultkeep-picturegen: --app-icons needs --app-id\n";
        return 2;
    }
    if (!KPictureStyle::familyInstalled()) {
        err() << "vaultkeep-picturegen: the font \"" << KPictureStyle::family()
              << "\" is not installed (Debian package fonts-wqy-microhei; tools/install-deps installs it)\n";
        return 1;
    }

    const QString qrcFile = parser.value(qrcOption);
    const QString iconFolder
        = qrcFile.isEmpty() ? QString() : QFileInfo(qrcFile).absolutePath() + QStringLiteral("/Icons");
    const QString skinFolder = parser.value(skinOption);
    if ((!iconFolder.isEmpty() && !makeFolder(iconFolder))
        || (!skinFolder.isEmpty() && !makeFolder(skinFolder)))
        return 1;

    const QString english = QStringLiteral("en");
    if ((!iconFolder.isEmpty() && !makeFolder(QDir(iconFolder).filePath(english)))
        || (!skinFolder.isEmpty() && !makeFolder(QDir(skinFolder).filePath(english))))
        return 1;
    // Names relative to their folder, the English ones below en/.
    QStringList resources, skins;
    for (const KPictureSpec& spec : KPictureCatalog::all()) {
        const bool resource = spec.place == KPicturePlace::Resource;
        const QString folder = resource ? iconFolder : skinFolder;
        QVector<KPictureLanguage> languages { KPictureLanguage::Chinese };
        if (spec.carriesWords())
            languages.append(KPictureLanguage::English);
        for (const KPictureLanguage language : languages) {
            const QString name = language == KPictureLanguage::English
                ? english + QLatin1Char('/') + spec.fileName()
                : spec.fileName();
            (resource ? resources : skins).append(name);
            if (folder.isEmpty())
                continue;
            const QByteArray bytes = spec.encode(language);
            if (bytes.isEmpty()) {
                err() << "vaultkeep-picturegen: cannot encode " << name << '\n';
                return 1;
            }
            if (!writeFile(QDir(folder).filePath(name), bytes))
                return 1;
        }
    }
    if (!iconFolder.isEmpty()) {
        removeStrays(iconFolder, resources);
        removeStrays(iconFolder, resources, english);
        if (!writeFile(qrcFile, qrc(resources)))
            return 1;
    }
    if (!skinFolder.isEmpty()) {
        removeStrays(skinFolder, skins);
        removeStrays(skinFolder, skins, english);
    }

    if (parser.isSet(appIconsOption)
        && !writeAppIcons(parser.value(appIconsOption), parser.value(appIdOption)))
        return 1;

    if (parser.isSet(sheetOption)) {
        const QString sheetFile = parser.value(sheetOption);
        if (!contactSheet().save(sheetFile, "png")) {
            err() << "vaultkeep-picturegen: cannot write the sheet " << sheetFile << '\n';
            return 1;
        }
    }
    return 0;
}
