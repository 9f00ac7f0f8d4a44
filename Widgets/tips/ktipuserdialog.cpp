#include "Widgets/tips/ktipuserdialog.h"

#include "Widgets/controls/kcustombutton.h"
#include "core/kcommon.h"

#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QScreen>

namespace {

// The close button sits in the picture's header, this far from its top and right edges.
constexpr int CloseMargin = 4;
constexpr int ActionRightMargin = 35;
constexpr int ActionBottomMargin = 58;

} // namespace

KTipUserDialog::KTipUserDialog(const QString& backgroundPicture, QWidget* parent)
    : QWidget(parent)
    , m_background(new QLabel(this))
    , m_closeButton(new KCustomButton(KCommon::skinImagePath(QStringLiteral("关闭_tip.png")), 2, this))
    , m_actionButton(new KCustomButton(this))
{
    setWindowTitle(KCommon::productName());
    setWindowFlags(Qt::WindowStaysOnTopHint | Qt::Tool | Qt::FramelessWindowHint);
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("KTipUserDialog"));

    const QPixmap background(backgroundPicture);
    m_background->setObjectName(QStringLiteral("background"));
    m_background->setPixmap(background);
    m_background->setGeometry(QRect(QPoint(0, 0), background.size()));
    setFixedSize(background.size());

    m_closeButton->setObjectName(QStringLiteral("closeButton"));
    m_closeButton->move(width() - m_closeButton->width() - CloseMargin, CloseMargin);
    connect(m_closeButton, &QPushButton::clicked, this, &QWidget::close);

    m_actionButton->setObjectName(QStringLiteral("actionButton"));
    m_actionButton->hide();
    connect(m_actionButton, &QPushButton::clicked, this, &KTipUserDialog::leftBtnClicked);

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.x() + area.width() - width(), area.y() + area.height() - height());
    }
}

void KTipUserDialog::setActionButton(const QString& picture, int frames)
{
    m_actionButton->setPicName(picture, frames);
    m_actionButton->move(width() - m_actionButton->width() - ActionRightMargin,
        height() - m_actionButton->height() - ActionBottomMargin);
    m_actionButton->show();
}

void KTipUserDialog::mousePressEvent(QMouseEvent* event)
{
    m_drag.press(event);
    QWidget::mousePressEvent(event);
}

void KTipUserDialog::mouseReleaseEvent(QMouseEvent* event)
{
    m_drag.release();
    QWidget::mouseReleaseEvent(event);
}

void KTipUserDialog::mouseMoveEvent(QMouseEvent* event)
{
    m_drag.move(this, event);
    QWidget::mouseMoveEvent(event);
}
