#include "khostskins.h"

#include "platform/kinstalllayout.h"

#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>

namespace KHostSkins {

namespace {

struct Skin
{
    const char* name;
    QRgb top;
    QRgb bottom;
    QRgb line; // a lighter line along the top edge
};

const Skin Skins[] = {
    { "Jade", 0xff2f9e7e, 0xff17755c, 0xff5cc4a4 },
    { "Dusk", 0xff6a4c9c, 0xff43306b, 0xff957bc4 },
};

constexpr int Width = 800;
constexpr int Height = 30;

} // namespace

QString defaultFolder()
{
    return KInstallLayout::dataFolder(QCoreApplication::applicationFilePath())
        + QStringLiteral("/AtriumSkin");
}

bool paint(const QString& folder, QString* error)
{
    for (const Skin& skin : Skins) {
        const QString skinFolder = QDir(folder).filePath(QString::fromLatin1(skin.name));
        if (!QDir().mkpath(skinFolder)) {
            *error = QStringLiteral("cannot create %1").arg(skinFolder);
            return false;
        }
        QImage picture(Width, Height, QImage::Format_RGB32);
        QPainter painter(&picture);
        QLinearGradient gradient(0, 0, 0, Height);
        gradient.setColorAt(0, QColor::fromRgb(skin.top));
        gradient.setColorAt(1, QColor::fromRgb(skin.bottom));
        painter.fillRect(picture.rect(), gradient);
        painter.fillRect(0, 0, Width, 1, QColor::fromRgb(skin.line));
        painter.end();
        const QString path = QDir(skinFolder).filePath(QStringLiteral("title.jpg"));
        if (!picture.save(path, "JPG", 95)) {
            *error = QStringLiteral("cannot write %1").arg(path);
            return false;
        }
    }
    return true;
}

} // namespace KHostSkins
