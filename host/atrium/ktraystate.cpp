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
    if (m_lastBackup < 0) {
        lines << tr("尚未备份");
    } else {
        const QDateTime last = QDateTime::fromSecsSinceEpoch(m_lastBackup, now.timeSpec());
        const QLocale locale;
        const QString when = last.date() == now.date() ? locale.toString(last.time(), QLocale::ShortFormat)
                                                       : locale.toString(last, QLocale::ShortFormat);
        lines << tr("最近备份: %1").arg(when);
    }
    return lines.join(QLatin1Char('\n'));
}

QString KTrayState::pauseText() const
{
    return m_protection == 0 ? tr("恢复保护") : tr("暂停保护");
}
