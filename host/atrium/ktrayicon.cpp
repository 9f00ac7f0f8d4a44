#include "ktrayicon.h"

#include "AtriumCommon/atriummessages.h"
#include "katriumwindow.h"
#include "platform/kplatform.h"

#include <QApplication>
#include <QLoggingCategory>
#include <QMenu>
#include <QPainter>
#include <QSystemTrayIcon>

Q_LOGGING_CATEGORY(vkTray, "vaultkeep.tray")

namespace {

const QString KeepRunningKey = QStringLiteral("tray/keepRunning");

// The application's icon, or a plain green disc where no theme has it (a build tree).
QPixmap basePicture(int size)
{
    const QIcon application = QApplication::windowIcon();
    if (!application.isNull())
        return application.pixmap(size, size);
    QPixmap picture(size, size);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x2e, 0x9e, 0x5b));
    painter.drawEllipse(QRectF(1, 1, size - 2, size - 2));
    return picture;
}

// A badge in the lower right quarter: a coloured disc with a white mark.
void paintBadge(
    QPainter& painter, int size, const QColor& colour, const std::function<void(const QRectF&)>& mark)
{
    const QRectF badge(size * 0.4, size * 0.4, size * 0.6, size * 0.6);
    painter.setPen(QPen(Qt::white, size / 32.0));
    painter.setBrush(colour);
    painter.drawEllipse(badge);
    painter.setPen(QPen(Qt::white, size / 14.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    mark(badge.adjusted(
        badge.width() * 0.28, badge.height() * 0.25, -badge.width() * 0.28, -badge.height() * 0.25));
}

QPixmap paint(KTrayState::Look look, int size)
{
    QPixmap base = basePicture(size);
    if (look == KTrayState::Look::Paused || look == KTrayState::Look::Starting)
        base = QIcon(base).pixmap(size, size, QIcon::Disabled);
    QPainter painter(&base);
    painter.setRenderHint(QPainter::Antialiasing);
    switch (look) {
    case KTrayState::Look::BackingUp:
        paintBadge(painter, size, QColor(0x1e, 0x78, 0xd7), [&painter](const QRectF& r) {
            // An arrow down into a tray.
            painter.drawLine(
                QPointF(r.center().x(), r.top()), QPointF(r.center().x(), r.bottom() - r.height() * 0.2));
            painter.drawPolyline(
                QPolygonF(QVector<QPointF> { QPointF(r.left() + r.width() * 0.15, r.center().y()),
                    QPointF(r.center().x(), r.bottom() - r.height() * 0.2),
                    QPointF(r.right() - r.width() * 0.15, r.center().y()) }));
            painter.drawLine(r.bottomLeft(), r.bottomRight());
        });
        break;
    case KTrayState::Look::Paused:
        paintBadge(painter, size, QColor(0x6b, 0x6b, 0x6b), [&painter](const QRectF& r) {
            painter.drawLine(QPointF(r.left() + r.width() * 0.25, r.top()),
                QPointF(r.left() + r.width() * 0.25, r.bottom()));
            painter.drawLine(QPointF(r.right() - r.width() * 0.25, r.top()),
                QPointF(r.right() - r.width() * 0.25, r.bottom()));
        });
        break;
    case KTrayState::Look::Problem:
        paintBadge(painter, size, QColor(0xd1, 0x34, 0x38), [&painter](const QRectF& r) {
            painter.drawLine(
                QPointF(r.center().x(), r.top()), QPointF(r.center().x(), r.bottom() - r.height() * 0.3));
            painter.drawPoint(QPointF(r.center().x(), r.bottom()));
        });
        break;
    case KTrayState::Look::Protecting:
    case KTrayState::Look::Starting:
        break;
    }
    return base;
}

} // namespace

KTrayIcon::KTrayIcon(KAtriumWindow* host, const QString& settingsFile, KAutostart autostart, QObject* parent)
    : QObject(parent)
    , m_host(host)
    , m_settings(settingsFile, KIniFormat::Dialect::Settings)
    , m_autostart(std::move(autostart))
    , m_menu(std::make_unique<QMenu>())
    , m_icon(new QSystemTrayIcon(this))
{
    m_menu->setObjectName(QStringLiteral("trayMenu"));
    QAction* open = addAction(QStringLiteral("open"), tr("打开Vaultkeep"));
    connect(open, &QAction::triggered, this,
        [this] { m_host->postToPlugin(AtriumMessage::Activate, 0, QStringLiteral("activate (2029)")); });
    QAction* backUp = addAction(QStringLiteral("backUpNow"), tr("立即备份"));
    connect(backUp, &QAction::triggered, this,
        [this] { m_host->postToPlugin(AtriumMessage::BackUpNow, 0, QStringLiteral("back up now (2055)")); });
    m_pause = addAction(QStringLiteral("pause"), m_state.pauseText());
    connect(m_pause, &QAction::triggered, this, [this] {
        const bool on = !m_state.isProtecting();
        m_host->postToPlugin(AtriumMessage::SetProtection, on ? 1 : 0,
            on ? QStringLiteral("protection on (2056)") : QStringLiteral("protection off (2056)"));
    });
    m_menu->addSeparator();
    m_keepRunning = addAction(QStringLiteral("keepRunning"), tr("关闭窗口后在托盘中继续保护"));
    m_keepRunning->setCheckable(true);
    m_keepRunning->setChecked(m_settings.value(KeepRunningKey, true).toBool());
    connect(m_keepRunning, &QAction::toggled, this, &KTrayIcon::setKeepRunning);
    m_startWithSession = addAction(QStringLiteral("startWithSession"), tr("登录后自动启动"));
    m_startWithSession->setCheckable(true);
    connect(m_startWithSession, &QAction::triggered, this, &KTrayIcon::setStartWithSession);
    m_menu->addSeparator();
    QAction* quit = addAction(QStringLiteral("quit"), tr("退出"));
    connect(quit, &QAction::triggered, this, &KTrayIcon::quitRequested);
    // The entry may have been removed or turned off elsewhere since the menu last showed.
    connect(m_menu.get(), &QMenu::aboutToShow, this,
        [this] { m_startWithSession->setChecked(m_autostart.isEnabled()); });
    m_startWithSession->setChecked(m_autostart.isEnabled());

    m_icon->setContextMenu(m_menu.get());
    connect(m_icon, &QSystemTrayIcon::activated, this, [open](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
            open->trigger();
    });
    connect(host, &KAtriumWindow::sigPluginState, this, [this](quintptr which, qintptr value) {
        switch (which) {
        case AtriumMessage::StateProtection:
            m_state.setProtection(value != 0);
            break;
        case AtriumMessage::StateBackingUp:
            m_state.setBackingUp(value != 0);
            break;
        case AtriumMessage::StateLastBackup:
            m_state.setLastBackup(value);
            break;
        case AtriumMessage::StateProblem:
            m_state.setProblems(value);
            break;
        case AtriumMessage::StateOffsite:
            m_state.setOffsite(value);
            break;
        case AtriumMessage::StateOffsiteLastBackup:
            m_state.setOffsiteLastBackup(value);
            break;
        case AtriumMessage::StateOffsiteProblem:
            m_state.setOffsiteProblem(value);
            break;
        default:
            return;
        }
        onStateChanged();
    });
    onStateChanged();
    m_icon->show();
}

KTrayIcon::~KTrayIcon() = default;

bool KTrayIcon::isAvailable() const
{
    return QSystemTrayIcon::isSystemTrayAvailable();
}

bool KTrayIcon::keepsRunningWhenClosed() const
{
    return m_keepRunning->isChecked() && isAvailable();
}

QIcon KTrayIcon::iconFor(KTrayState::Look look)
{
    QIcon icon;
    for (const int size : { 16, 22, 24, 32, 48, 64 })
        icon.addPixmap(paint(look, size));
    return icon;
}

QAction* KTrayIcon::addAction(const QString& objectName, const QString& text)
{
    QAction* action = m_menu->addAction(text);
    action->setObjectName(objectName);
    return action;
}

void KTrayIcon::onStateChanged()
{
    m_icon->setIcon(iconFor(m_state.look()));
    m_icon->setToolTip(m_state.toolTip(KPlatform::instance()->currentDateTime()));
    m_pause->setText(m_state.pauseText());
}

void KTrayIcon::setKeepRunning(bool on)
{
    m_settings.setValue(KeepRunningKey, on);
    if (!m_settings.sync())
        qCWarning(vkTray) << "the tray setting could not be stored in" << m_settings.filePath();
}

void KTrayIcon::setStartWithSession(bool on)
{
    QString error;
    if (!m_autostart.setEnabled(
            on, QCoreApplication::applicationFilePath(), { QStringLiteral("--minimized") }, &error)) {
        qCWarning(vkTray) << "the autostart entry could not be changed:" << error;
        m_icon->showMessage(on ? tr("无法设置登录后自动启动") : tr("无法取消登录后自动启动"), error,
            QSystemTrayIcon::Warning);
    }
    m_startWithSession->setChecked(m_autostart.isEnabled());
}
