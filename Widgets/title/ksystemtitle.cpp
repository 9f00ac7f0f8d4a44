#include "Widgets/title/ksystemtitle.h"

#include "Widgets/title/ktitlestrip.h"
#include "core/kcommon.h"
#include "ui_ksystemtitle.h"

#include <QMouseEvent>

namespace {

const QString MaximisePicture = QStringLiteral(":/Icons/Icons/最大化.png");
const QString RestorePicture = QStringLiteral(":/Icons/Icons/还原.png");

} // namespace

KSystemTitle::KSystemTitle(QWidget* parent)
    : QWidget(parent)
    , m_ui(new Ui::KSystemTitle)
{
    m_ui->setupUi(this);
    m_window = window();

    connect(m_ui->btnClose, &QPushButton::clicked, this, &KSystemTitle::sigCloseClicked);
    connect(m_ui->btnMix, &QPushButton::clicked, this, &KSystemTitle::onMixNormal);
    connect(m_ui->btnMin, &QPushButton::clicked, m_window, &QWidget::showMinimized);
    connect(m_ui->btnSetting, &QPushButton::clicked, this, &KSystemTitle::settingClicked);

    m_ui->btnClose->setPicName(QStringLiteral(":/Icons/Icons/关闭.png"), 2);
    m_ui->btnMix->setPicName(MaximisePicture, 2);
    m_ui->btnMin->setPicName(QStringLiteral(":/Icons/Icons/最小化.png"), 2);
    m_ui->btnSetting->setPicName(QStringLiteral(":/Icons/Icons/设置.png"), 2);

    m_ui->lblImage->setStyleSheet(QStringLiteral("background: transparent;"));
    m_ui->lblImage->setPixmap(QPixmap(KCommon::skinImagePath(QStringLiteral("titlelogo.png"))));
    m_ui->lblText->setStyleSheet(QStringLiteral("QLabel {color:white; background: transparent;}"));
    m_ui->lblText->setFont(QFont(QStringLiteral("微软雅黑"), 9, QFont::Normal));

    onChangeSkin();
    setTitle(tr("标题"));
    setFocus();
}

KSystemTitle::~KSystemTitle() = default;

void KSystemTitle::setTitle(const QString& text)
{
    setWindowTitle(text);
    m_ui->lblText->setText(text);
}

void KSystemTitle::setSettingVisible(bool visible)
{
    m_ui->btnSetting->setVisible(visible);
}

void KSystemTitle::setMinVisible(bool visible)
{
    m_ui->btnMin->setVisible(visible);
}

void KSystemTitle::setMixVisible(bool visible)
{
    m_ui->btnMix->setVisible(visible);
}

void KSystemTitle::setButtonsEnabled(bool enabled)
{
    m_ui->btnClose->setEnabled(enabled);
    m_ui->btnMin->setEnabled(enabled);
    m_ui->btnMix->setEnabled(enabled);
    m_ui->btnSetting->setEnabled(enabled);
}

void KSystemTitle::onChangeSkin()
{
    // A brush tiles a picture smaller than the strip.
    setAutoFillBackground(true);
    QPalette skin;
    skin.setBrush(QPalette::All, QPalette::Window, QBrush(QPixmap(KCommon::skinBackgroundPath())));
    setPalette(skin);
}

void KSystemTitle::onMixNormal()
{
    if (m_window->isMaximized()) {
        m_window->showNormal();
        m_ui->btnMix->setPicName(MaximisePicture, 2);
    } else {
        m_window->showMaximized();
        m_ui->btnMix->setPicName(RestorePicture, 2);
    }
}

void KSystemTitle::mousePressEvent(QMouseEvent* event)
{
    m_pressPos = event->pos();
    m_dragging = true;
}

void KSystemTitle::mouseReleaseEvent(QMouseEvent* event)
{
    Q_UNUSED(event)
    m_dragging = false;
}

void KSystemTitle::mouseMoveEvent(QMouseEvent* event)
{
    if (m_dragging && (event->buttons() & Qt::LeftButton))
        KTitleStrip::moveBy(m_window, event->pos() - m_pressPos);
}

void KSystemTitle::paintEvent(QPaintEvent* event)
{
    KTitleStrip::paintShadow(this);
    QWidget::paintEvent(event);
}

void KSystemTitle::resizeEvent(QResizeEvent* event)
{
    onChangeSkin();
    QWidget::resizeEvent(event);
}
