#include "Widgets/table/knodatawidget.h"

#include "core/kcommon.h"

#include <QLabel>

KNoDataWidget::KNoDataWidget(QWidget* parent)
    : QWidget(parent)
    , m_background(new QLabel(this))
    , m_picture(new QLabel(this))
    , m_text(new QLabel(this))
{
    m_background->setObjectName(QStringLiteral("lblBackground"));
    m_background->setStyleSheet(QStringLiteral("background-color:white;"));
    m_picture->setObjectName(QStringLiteral("lblPicture"));
    m_picture->setStyleSheet(QStringLiteral("background: transparent;"));
    m_picture->setPixmap(QPixmap(KCommon::skinImagePath(QStringLiteral("Vaultkeeplogo64_64.png"))));
    m_picture->adjustSize();
    m_text->setObjectName(QStringLiteral("lblText"));
    m_text->setStyleSheet(QStringLiteral("color:#a2a2a2; background: transparent;"));
    m_text->setAlignment(Qt::AlignCenter);
    setMode(0);
}

void KNoDataWidget::setMode(int mode)
{
    if (mode == 0)
        m_text->setText(tr("Vaultkeep保护中，只要此类文件有改动就会自动为您备份"));
    else if (mode == 1)
        m_text->setText(tr("Vaultkeep保护中，已备份的文件被删除后会在这里看到"));
    else
        return;
    m_mode = mode;
    m_text->adjustSize();
    placeChildren();
}

QString KNoDataWidget::text() const
{
    return m_text->text();
}

void KNoDataWidget::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    placeChildren();
}

void KNoDataWidget::placeChildren()
{
    m_background->setGeometry(0, 0, width() - 1, height() - 1);
    const QSize picture = m_picture->size();
    m_picture->move((width() - picture.width()) / 2, (height() - picture.height()) / 2 - 50);
    const QSize text = m_text->size();
    m_text->move((width() - text.width()) / 2, (height() - text.height()) / 2 + picture.height() - 50);
}
