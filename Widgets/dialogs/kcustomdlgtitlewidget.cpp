#include "Widgets/dialogs/kcustomdlgtitlewidget.h"

#include "Widgets/controls/kcustombutton.h"
#include "Widgets/title/ktitlestrip.h"

#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>

KCustomDlgTitleWidget::KCustomDlgTitleWidget(const QString& title, const QString& backgroundImage,
    const QString& closePicture, int closeFrames, QWidget* parent)
    : QFrame(parent)
    , m_iconLabel(new QLabel(this))
    , m_titleLabel(new QLabel(title, this))
    , m_closeButton(new KCustomButton(closePicture, closeFrames, this))
    , m_layout(new QHBoxLayout(this))
{
    setFixedHeight(30);
    m_closeButton->setObjectName(QStringLiteral("closeButton"));
    m_closeButton->setFocusPolicy(Qt::NoFocus);
    m_iconLabel->setObjectName(QStringLiteral("titleIconLabel"));
    m_iconLabel->hide();
    m_iconLabel->setStyleSheet(QStringLiteral("QLabel {background: transparent;}"));
    m_titleLabel->setObjectName(QStringLiteral("titleLabel"));
    m_titleLabel->setStyleSheet(QStringLiteral("color: white; background: transparent"));

    m_layout->setContentsMargins(0, 0, 0, 0);
    m_layout->addWidget(m_iconLabel);
    m_layout->addWidget(m_titleLabel);
    m_layout->addStretch();
    m_layout->addWidget(m_closeButton, 0, Qt::AlignTop);

    connect(m_closeButton, &QPushButton::clicked, this, &KCustomDlgTitleWidget::signalClickClose);

    if (!backgroundImage.isEmpty() && QFile::exists(backgroundImage)) {
        m_backgroundImage = backgroundImage;
        applyBackground();
    }
}

void KCustomDlgTitleWidget::slotChangeSkin(QString strSkinFileName)
{
    if (strSkinFileName.isEmpty() || !QFile::exists(strSkinFileName))
        return;
    m_backgroundImage = strSkinFileName;
    applyBackground();
}

void KCustomDlgTitleWidget::applyBackground()
{
    if (m_backgroundImage.isEmpty())
        return;
    const QImage image(m_backgroundImage);
    if (width() > image.width()) {
        // A picture narrower than the strip is stretched to its width.
        setStyleSheet(QString());
        setAutoFillBackground(true);
        QPalette stretched = palette();
        stretched.setBrush(
            QPalette::All, QPalette::Window, QBrush(image.scaledToWidth(width(), Qt::FastTransformation)));
        setPalette(stretched);
    } else {
        // The path is quoted so that folders with blanks work.
        QString path = m_backgroundImage;
        path.replace(QLatin1Char('\\'), QLatin1Char('/'));
        setAutoFillBackground(false);
        setStyleSheet(
            QStringLiteral("KCustomDlgTitleWidget {background:url(\"%1\") no-repeat center top;}").arg(path));
    }
}

void KCustomDlgTitleWidget::resizeEvent(QResizeEvent* event)
{
    applyBackground();
    QFrame::resizeEvent(event);
}

void KCustomDlgTitleWidget::paintEvent(QPaintEvent* event)
{
    KTitleStrip::paintShadow(this);
    QFrame::paintEvent(event);
}

void KCustomDlgTitleWidget::enterEvent(QEvent* event)
{
    setCursor(Qt::OpenHandCursor);
    QFrame::enterEvent(event);
}

void KCustomDlgTitleWidget::leaveEvent(QEvent* event)
{
    setCursor(Qt::ArrowCursor);
    QFrame::leaveEvent(event);
}

void KCustomDlgTitleWidget::mousePressEvent(QMouseEvent* event)
{
    // Only the part left of the close button drags.
    if (event->button() != Qt::LeftButton || event->x() < 0
        || event->x() > width() - m_closeButton->width() - 1)
        return;
    m_pressPos = event->pos();
    m_dragging = true;
    setCursor(Qt::ClosedHandCursor);
    QFrame::mousePressEvent(event);
}

void KCustomDlgTitleWidget::mouseReleaseEvent(QMouseEvent* event)
{
    m_dragging = false;
    setCursor(Qt::OpenHandCursor);
    QFrame::mouseReleaseEvent(event);
}

void KCustomDlgTitleWidget::mouseMoveEvent(QMouseEvent* event)
{
    if (m_dragging && (event->buttons() & Qt::LeftButton))
        KTitleStrip::moveBy(window(), event->pos() - m_pressPos);
    QFrame::mouseMoveEvent(event);
}
