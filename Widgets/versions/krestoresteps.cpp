#include "Widgets/versions/krestoresteps.h"

#include "Widgets/dialogs/kmessagebox.h"
#include "Widgets/dialogs/ksavefiledialog.h"
#include "core/kcommon.h"
#include "core/kfileobject.h"
#include "core/ktimestamp.h"
#include "platform/kfileops.h"
#include "platform/kpaths.h"
#include "platform/kplatform.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QMessageBox>
#include <QTimer>

#include <algorithm>

namespace KRestoreSteps {

namespace {

constexpr int RetryDelayMs = 200;
constexpr int MaxFolderNameInResult = 8;

QString tr(const char* text)
{
    return QCoreApplication::translate("KRestoreSteps", text);
}

// "yyyyMMdd" then "yyyyMMddhhmmss": the backup date, then the modification time.
QString backupOrderKey(const QString& fileId)
{
    constexpr int DatePosition = KFileCopyedObject::StampPosition + KFileCopyedObject::StampLength + 1;
    return fileId.mid(DatePosition, 8)
        + fileId.mid(KFileCopyedObject::StampPosition, KFileCopyedObject::StampLength);
}

bool samePath(const QString& a, const QString& b)
{
    return KPaths::foldCase(QDir::cleanPath(a)) == KPaths::foldCase(QDir::cleanPath(b));
}

bool isOnDesktop(KPlatform* platform, const QString& path)
{
    return samePath(QFileInfo(path).absolutePath(), platform->desktopFolder());
}

} // namespace

QString missingBackupText()
{
    return tr("备份文件丢失，请从其他版本恢复！");
}

QString notSavedText()
{
    return tr("目标位置已有的文件无法先行备份，为免丢失，本次没有恢复。请检查备份盘的空间后再试。");
}

QString openFailedText()
{
    return tr("打开文件失败！");
}

QString folderNotCreatedText(const QString& folder)
{
    return tr("无法创建文件夹“%1”，文件没有恢复。建议您恢复到其他位置。")
        .arg(QDir::toNativeSeparators(folder));
}

QString offsiteFetchFailedText(KOffsiteProblem problem)
{
    switch (problem) {
    case KOffsiteProblem::Unreachable:
        return tr("无法连接异地备份位置，请检查网络或备份磁盘后再试。");
    case KOffsiteProblem::WrongPassword:
        return tr("异地备份密码不正确，请在设置中重新输入后再试。");
    case KOffsiteProblem::NotFound:
        return tr("异地备份中没有这个版本，请从其他版本恢复。");
    case KOffsiteProblem::Damaged:
        return tr("异地备份中的这个版本也已损坏，请从其他版本恢复。");
    case KOffsiteProblem::NotInstalled:
    case KOffsiteProblem::NoPassword:
    case KOffsiteProblem::Busy:
        return offsiteProblemText(problem);
    default:
        return tr("从异地备份找回失败，请稍后再试。");
    }
}

QString damagedText()
{
    return tr("备份文件已损坏，无法用它恢复，请从其他版本恢复！");
}

QString linkText()
{
    return tr("目标位置是一个链接，为保护它指向的文件，本次没有恢复。请恢复到其他位置。");
}

void inform(QWidget* parent, int kind, const QString& text)
{
    KYMessageBox::information(parent, kind, text)->exec();
}

int ask(
    QWidget* parent, const QString& title, const QString& text, const QString& accept, const QString& other)
{
    return KYMessageBox::question(parent, title, text, accept, other)->exec();
}

QString desktopTarget(KPlatform* platform, const QString& sourcePath)
{
    return QStringLiteral("%1/%2").arg(platform->desktopFolder(), QFileInfo(sourcePath).fileName());
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
    const int answer = ask(parent, tr("发现同名文件"), tr("目标位置已有同名文件，你是否需要自动改名并恢复？"),
        tr("自动改名恢复"), tr("覆盖目标文件"));
    if (answer == 1)
        *target = renamedTarget(*target);
    return answer == 1 || answer == 0;
}

bool chooseElsewhere(QWidget* parent, const QString& sourcePath, QString* target)
{
    const QFileInfo source(sourcePath);
    // A deleted file's folder may be gone too: the dialog opens in what is left of it.
    QDir folder(source.absolutePath());
    while (!folder.exists() && !folder.isRoot() && folder.cdUp()) { }
    const QString suffix = source.suffix();
    const QString chosen
        = KSaveFileDialog::getSaveFileName(parent, tr("恢复至其他位置"), folder.filePath(source.fileName()),
            tr("所有文件 (%1)").arg(suffix.isEmpty() ? QStringLiteral("*") : QStringLiteral("*.") + suffix),
            suffix);
    if (chosen.isEmpty())
        return false;
    *target = chosen;
    return true;
}

bool offerElsewhere(QWidget* parent, const QString& sourcePath, QString* target)
{
    return ask(parent, tr("恢复失败"), folderNotCreatedText(QFileInfo(*target).absolutePath()),
               tr("恢复至其他位置"), tr("取消"))
        == 1
        && chooseElsewhere(parent, sourcePath, target);
}

QString resultText(KPlatform* platform, const QString& sourcePath, const QString& target,
    const QString& sourceText, const QString& desktopText)
{
    if (samePath(target, sourcePath))
        return sourceText;
    if (isOnDesktop(platform, target))
        return desktopText;
    // The folder's name, in short: the row has room for a few characters.
    QString folder = QFileInfo(QFileInfo(target).absolutePath()).fileName();
    if (folder.size() > MaxFolderNameInResult)
        folder = folder.left(MaxFolderNameInResult - 2) + QStringLiteral("…") + folder.right(1);
    return tr("恭喜！已恢复至“%1”").arg(folder);
}

Outcome copyLoop(QWidget* parent, KPlatform* platform, const QString& sourcePath, QString* target,
    const std::function<KRestoreResult(const QString& target)>& copy)
{
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
        case KRestoreResult::FolderNotCreated:
            if (!offerElsewhere(parent, sourcePath, target))
                return Outcome::GaveUp;
            continue;
        case KRestoreResult::Failed:
            break;
        }
        const bool atSource = samePath(*target, sourcePath);
        const bool desktop = !atSource && isOnDesktop(platform, *target);
        const int answer = ask(parent, tr("恢复失败"),
            atSource ? tr("无法恢复到原位置，可能原位置的文件正在编辑中，建议您恢复到其他位置。")
                : desktop ? tr("无法恢复至桌面，可能桌面的文件正在编辑中，建议您恢复到其他位置。")
                          : tr("无法恢复到所选位置，可能那里的文件正在编辑中，建议您恢复到其他位置。"),
            tr("恢复至其他位置"),
            atSource      ? tr("恢复至原位置")
                : desktop ? tr("恢复至桌面")
                          : tr("再试一次"));
        if (answer == 1) {
            if (!chooseElsewhere(parent, sourcePath, target))
                return Outcome::GaveUp;
        } else if (answer == 0) {
            waitBeforeRetry();
        } else {
            return Outcome::GaveUp;
        }
    }
}

QStringList newestFirst(const QStringList& fileIds)
{
    // Each key made once: a sort of thousands compares every one a dozen times.
    QVector<QPair<QString, QString>> keyed;
    keyed.reserve(fileIds.size());
    for (const QString& id : fileIds)
        keyed.append({ backupOrderKey(id), id });
    std::sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) { return a > b; });
    QStringList sorted;
    sorted.reserve(keyed.size());
    for (const auto& entry : qAsConst(keyed))
        sorted.append(entry.second);
    return sorted;
}

QString deleteButtonImage()
{
    return KCommon::skinImagePath(QStringLiteral("清空.png"));
}

bool reveal(KPlatform* platform, const QString& path)
{
    return platform->revealInFileManager(path);
}

void waitBeforeRetry()
{
    QEventLoop loop;
    QTimer::singleShot(RetryDelayMs, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

} // namespace KRestoreSteps
