#include "Widgets/dialogs/kdialogbasewidget.h"

#include "Widgets/dialogs/kdialogplacement.h"
#include "Widgets/title/ksystemtitle.h"

#include <QPainter>
#include <QPropertyAnimation>
#include <QShowEvent>

#include <algorithm>

KDialogBaseWidget::KDialogBaseWidget(QWidget* parent)
    : QDialog(parent)
    , m_title(nullptr)
{
    setWindowFlags(windowFlags() | Qt::FramelessWindowHint | Qt::Tool);
    m_title = new KSystemTitle(this);
    m_title->setObjectName(QStringLiteral("title"));
    connect(m_title, &KSystemTitle::sigCloseClicked, this, &KDialogBaseWidget::closeClicked);
    m_title->setTitle(QStringLiteral("title"));
    m_title->setSettingVisible(false);
    m_title->setMixVisible(false);
    m_title->setMinVisible(false);
}

void KDialogBaseWidget::setTitle(const QString& text)
{
    m_title->setTitle(text);
    // The window manager and the taskbar show it too.
    setWindowTitle(text);
}

void KDialogBaseWidget::closeClicked()
{
    // A second click while the dialog shrinks changes nothing.
    if (m_closing)
        return;
    const QRect from = geometry();
    const QRect to((from.left() + from.right()) / 2, (from.top() + from.bottom()) / 2, 0, 0);
    m_closing = new QPropertyAnimation(this, "geometry", this);
    m_closing->setDuration(200);
    m_closing->setStartValue(from);
    m_closing->setEndValue(to);
    connect(m_closing, &QPropertyAnimation::finished, this, [this, from] {
        close();
        // A dialog shown again comes back whole.
        setGeometry(from);
    });
    m_closing->start(QAbstractAnimation::DeleteWhenStopped);
}

void KDialogBaseWidget::paintEvent(QPaintEvent* event)
{
    Q_UNUSED(event)
    QPainter painter(this);
    painter.setPen(QColor(QStringLiteral("gray")));
    const int right = width() - 1;
    const int bottom = height() - 1;
    painter.drawLine(0, 0, right, 0);
    painter.drawLine(0, 0, 0, bottom);
    painter.drawLine(right, 0, right, bottom);
    painter.drawLine(0, bottom, right, bottom);
}

void KDialogBaseWidget::fixSize()
{
    // Only wider: the forms' heights are as designed, whatever their layouts would ask.
    setFixedSize(std::max(width(), minimumSizeHint().width()), height());
}

void KDialogBaseWidget::resizeEvent(QResizeEvent* event)
{
    m_title->setFixedWidth(width());
    QDialog::resizeEvent(event);
}

void KDialogBaseWidget::showEvent(QShowEvent* event)
{
    if (!event->spontaneous())
        KDialogPlacement::centreOnParent(this);
    QDialog::showEvent(event);
}
