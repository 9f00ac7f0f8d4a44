#include "Widgets/versions/krestoresteps.h"

#include "Widgets/dialogs/kmessagebox.h"
#include "Widgets/dialogs/ksavefiledialog.h"
#include "core/kcommon.h"
#include "core/ktimestamp.h"
#include "platform/kfileops.h"
#include "platform/kplatform.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QMessageBox>
#include <QTimer>

namespace KRestoreSteps {

namespace {

const QString ClosePicture = QStringLiteral(":/Icons/Icons/关闭.png");
constexpr int CloseFrames = 2;
constexpr int RetryDelayMs = 200;

} // namespace

QString missingBackupText()
{
    return QStringLiteral("备份文件丢失，请从其他版本找回！");
}

QString notSavedText()
{
    return QStringLiteral(
        "目标位置已有的文件无法先行备份，为免丢失，本次没有恢复。请检查备份盘的空间后再试。");
}

QString openFailedText()
{
    return QStringLiteral("打开文件失败！");
}

QString damagedText()
{
    return QCoreApplication::translate("KRestoreSteps", "备份文件已损坏，无法用它恢复，请从其他版本找回！");
}

QString linkText()
{
    return QCoreApplication::translate(
        "KRestoreSteps", "目标位置是一个链接，为保护它指向的文件，本次没有恢复。请恢复到其他位置。");
}

void inform(QWidget* parent, int kind, const QString& text)
{
    KYMessageBox box(kind, QStringLiteral("提示"), text, KCommon::skinBackgroundPath(), ClosePicture,
        CloseFrames, QStringLiteral("确定"), QString(), false, parent);
    box.exec();
}

int ask(
    QWidget* parent, const QString& title, const QString& text, const QString& accept, const QString& other)
{
    KYMessageBox box(0, title, text, KCommon::skinBackgroundPath(), ClosePicture, CloseFrames, accept, other,
        true, parent);
    box.setIcon(KCommon::skinImagePath(QStringLiteral("提示.png")));
    const QString button = KCommon::skinImagePath(QStringLiteral("按扭背景.png"));
    box.setButtonPicture(QMessageBox::Ok, button, 1);
    box.setButtonPicture(QMessageBox::Cancel, button, 1);
    return box.exec();
}

QString desktopTarget(const QString& sourcePath)
{
    return QStringLiteral("%1/%2").arg(
        KPlatform::instance()->desktopFolder(), QFileInfo(sourcePath).fileName());
}

QString renamedTarget(const QString& existing)
{
    const QFileInfo file(existing);
    const QString time = KTimeStamp::formatMSecs(KFileOps::status(existing).modifiedMSecs);
    // "yyyyMMddhhmmss" as "yyyy-MM-dd-hh-mm-ss."
    const QString stamp = QStringLiteral("%1-%2-%3-%4-%5-%6.")
                              .arg(time.mid(0, 4), time.mid(4, 2), time.mid(6, 2), time.mid(8, 2),
                                  time.mid(10, 2), time.mid(12, 2));
    return file.absolutePath() + QLatin1Char('/') + file.completeBaseName() + stamp + file.suffix();
}

bool settleSameName(QWidget* parent, QString* target)
{
    if (!KFileOps::status(*target).exists)
        return true;
    const int answer = ask(parent, QStringLiteral("发现同名文件"),
        QStringLiteral("目标位置已有同名文件，你是否需要自动改名并恢复？"), QStringLiteral("自动改名恢复"),
        QStringLiteral("覆盖目标文件"));
    if (answer == 1)
        *target = renamedTarget(*target);
    return answer == 1 || answer == 0;
}

Outcome copyLoop(QWidget* parent, Place place, QString* target,
    const std::function<KRestoreResult(const QString& target)>& copy)
{
    const bool desktop = place == Place::Desktop;
    for (;;) {
        switch (copy(*target)) {
        case KRestoreResult::Restored:
            return Outcome::Restored;
        case KRestoreResult::CopyMissing:
            return Outcome::CopyMissing;
        case KRestoreResult::CurrentNotSaved:
            inform(parent, QMessageBox::Warning, notSavedText());
            return Outcome::GaveUp;
        case KRestoreResult::Damaged:
            inform(parent, QMessageBox::Warning, damagedText());
            return Outcome::Damaged;
        case KRestoreResult::TargetIsLink:
            inform(parent, QMessageBox::Warning, linkText());
            return Outcome::GaveUp;
        case KRestoreResult::Failed:
            break;
        }
        const int answer = ask(parent, QStringLiteral("恢复失败"),
            desktop ? QStringLiteral("无法恢复至桌面，可能桌面的文件正在编辑中，建议您恢复到其他位置。")
                    : QStringLiteral("无法恢复到原位置，可能原位置的文件正在编辑中，建议您恢复到其他位置。"),
            QStringLiteral("恢复至其他位置"),
            desktop ? QStringLiteral("恢复至桌面") : QStringLiteral("恢复至原位置"));
        if (answer == 1) {
            const QFileInfo file(*target);
            const QString chosen = KSaveFileDialog::getSaveFileName(parent, QString(), file.absolutePath(),
                QStringLiteral("All Files (*.%1)").arg(file.suffix()));
            if (chosen.isEmpty())
                return Outcome::GaveUp;
            *target = chosen;
        } else if (answer == 0) {
            waitBeforeRetry();
        } else {
            return Outcome::GaveUp;
        }
    }
}

QString deleteButtonImage()
{
    return KCommon::skinImagePath(QStringLiteral("清空.png"));
}

bool reveal(const QString& path)
{
    return KPlatform::instance()->revealInFileManager(path);
}

void waitBeforeRetry()
{
    QEventLoop loop;
    QTimer::singleShot(RetryDelayMs, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

} // namespace KRestoreSteps
