#include "ktraystate.h"

#include "AtriumCommon/atriummessages.h"

#include <QLocale>

void KTrayState::setProtection(bool on)
{
    m_protection = on ? 1 : 0;
}

void KTrayState::setBackingUp(bool backingUp)
{
    m_backingUp = backingUp;
}

void KTrayState::setLastBackup(qint64 seconds)
{
    m_lastBackup = seconds;
}

void KTrayState::setProblems(qintptr problems)
{
    m_problems = problems;
}

KTrayState::Look KTrayState::look() const
{
    if (m_problems)
        return Look::Problem;
    if (m_backingUp)
        return Look::BackingUp;
    if (m_protection < 0)
        return Look::Starting;
    return m_protection ? Look::Protecting : Look::Paused;
}

QString KTrayState::toolTip(const QDateTime& now) const
{
    QStringList lines { QStringLiteral("Vaultkeep") };
    switch (look()) {
    case Look::Starting:
        lines << tr("正在启动");
        break;
    case Look::Protecting:
        lines << tr("正在保护你的文件");
        break;
    case Look::BackingUp:
        lines << tr("正在备份");
        break;
    case Look::Paused:
        lines << tr("保护已暂停");
        break;
    case Look::Problem:
        if (m_problems & AtriumMessage::ShortOfRoom)
            lines << tr("备份所在的磁盘空间不足");
        if (m_problems & AtriumMessage::CopiesFailed)
            lines << tr("上次有文件未能备份");
        break;
    }
    lines << (m_lastBackup < 0 ? tr("尚未备份") : tr("最近备份: %1").arg(timeText(m_lastBackup, now)));
    const QString offsite = offsiteLine(now);
    if (!offsite.isEmpty())
        lines << offsite;
    return lines.join(QLatin1Char('\n'));
}

QString KTrayState::timeText(qint64 seconds, const QDateTime& now) const
{
    const QDateTime time = QDateTime::fromSecsSinceEpoch(seconds, now.timeSpec());
    const QLocale locale;
    return time.date() == now.date() ? locale.toString(time.time(), QLocale::ShortFormat)
                                     : locale.toString(time, QLocale::ShortFormat);
}

QString KTrayState::offsiteLine(const QDateTime& now) const
{
    using namespace AtriumMessage;
    if (m_offsite == OffsiteOff)
        return QString();
    if (m_offsite >= 0)
        return tr("正在上传到异地备份 %1%").arg(m_offsite);
    switch (m_offsiteProblem) {
    case OffsiteFine:
        break;
    case OffsiteNotInstalled:
        return tr("异地备份: 未安装 restic");
    case OffsiteNeedsPassword:
        return tr("异地备份: 需要输入密码");
    case OffsiteWrongPassword:
        return tr("异地备份: 密码不正确");
    case OffsiteUnreachable:
        return tr("异地备份: 无法连接备份位置");
    case OffsiteDamaged:
        return tr("异地备份: 校验未通过");
    default:
        return tr("异地备份: 上次上传失败");
    }
    return m_offsiteLastBackup < 0 ? tr("异地备份: 尚未上传")
                                   : tr("异地备份: %1").arg(timeText(m_offsiteLastBackup, now));
}

QString KTrayState::pauseText() const
{
    return m_protection == 0 ? tr("恢复保护") : tr("暂停保护");
}
