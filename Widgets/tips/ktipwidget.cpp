#include "Widgets/tips/ktipwidget.h"

#include "Widgets/controls/kclicklabel.h"
#include "Widgets/controls/kcustombutton.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

namespace {

constexpr int HeaderHeight = 3;
constexpr int CloseMargin = 6;
constexpr int ButtonPadding = 12;

QFont pixelFont(int pixels, bool bold)
{
    QFont font;
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

} // namespace

KTipWidget::KTipWidget(KPlatform* platform, QWidget* parent)
    : KMoveWidget(platform, parent)
    , m_header(new QWidget(this))
    , m_logoButton(new KCustomButton(this))
    , m_closeButton(new KCustomButton(this))
    , m_headline(new KClickLabel(this))
    , m_secondLine(new QLabel(this))
    , m_iconLabel(new QLabel(this))
    , m_column(new QVBoxLayout)
    , m_buttonRow(new QHBoxLayout)
{
    setObjectName(QStringLiteral("KTipWidget"));
    setAutoFillBackground(true);
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);

    m_header->setObjectName(QStringLiteral("header"));
    m_header->setAutoFillBackground(true);
    m_logoButton->setObjectName(QStringLiteral("logoButton"));
    m_closeButton->setObjectName(QStringLiteral("closeButton"));
    m_headline->setObjectName(QStringLiteral("headline"));
    m_headline->setTextColor(QColor(QStringLiteral("#68bd21")));
    m_headline->setFont(pixelFont(13, true));
    m_headline->setMinimumHeight(14);
    m_headline->setWordWrap(true);
    m_secondLine->setObjectName(QStringLiteral("secondLine"));
    m_secondLine->setStyleSheet(QStringLiteral("color:#333333"));
    m_secondLine->setFont(pixelFont(12, false));
    m_secondLine->setMinimumHeight(12);
    m_secondLine->setWordWrap(true);
    m_iconLabel->setObjectName(QStringLiteral("iconLabel"));

    connect(m_logoButton, &QPushButton::clicked, this, &KTipWidget::sigLogoClicked);
    connect(m_closeButton, &QPushButton::clicked, this, &KTipWidget::closeTip);
    connect(m_closeButton, &QPushButton::clicked, this, &QWidget::close);
    connect(m_headline, &KClickLabel::clicked, this, &KTipWidget::sigTextClicked);

    // Logo | icon beside the two lines, above the row of action buttons. The close button sits
    // in the top right corner, clear of the texts. Long texts wrap; the lines wrap rather than
    // the tip growing.
    auto* texts = new QVBoxLayout;
    texts->setSpacing(6);
    texts->addWidget(m_headline);
    texts->addWidget(m_secondLine);
    texts->addStretch();
    auto* message = new QHBoxLayout;
    message->setSpacing(10);
    message->addWidget(m_iconLabel, 0, Qt::AlignTop);
    message->addLayout(texts, 1);
    m_buttonRow->setSpacing(8);
    m_column->addLayout(message, 1);
    m_column->addLayout(m_buttonRow);

    auto* outer = new QHBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    outer->addWidget(m_logoButton, 0, Qt::AlignTop);
    outer->addLayout(m_column, 1);
}

void KTipWidget::setContent(const KTipContent& content)
{
    m_logoButton->setPicName(content.logoPicture, 1);
    m_closeButton->setPicName(content.closePicture, content.closeFrames);

    // The strip runs along the top, right of the logo; the texts keep clear of it.
    QColor strip;
    if (content.strip == KTipContent::Strip::Red) {
        strip = Qt::red;
    } else if (content.strip == KTipContent::Strip::Orange) {
        strip = QColor(QStringLiteral("#fe9900"));
        QPalette warning = m_headline->palette();
        warning.setColor(QPalette::Window, QColor(QStringLiteral("#fe0000")));
        m_headline->setPalette(warning);
    }
    QPalette header = m_header->palette();
    header.setColor(QPalette::Window, strip);
    m_header->setPalette(header);
    m_header->setVisible(strip.isValid());
    const int headerHeight = strip.isValid() ? HeaderHeight : 0;
    m_column->setContentsMargins(14, 10 + headerHeight, CloseMargin + m_closeButton->width(), 12);

    const QPixmap icon(content.iconPicture);
    m_iconLabel->setPixmap(icon);
    m_iconLabel->setFixedSize(icon.size());
    m_iconLabel->setVisible(!icon.isNull());

    qDeleteAll(m_buttons);
    m_buttons.clear();
    while (QLayoutItem* item = m_buttonRow->takeAt(0))
        delete item;
    for (int i = 0; i < content.buttons.size(); ++i) {
        const KTipContent::Button& action = content.buttons.at(i);
        auto* button = new KCustomButton(action.picture, 2, this);
        button->setObjectName(QStringLiteral("actionButton%1").arg(i));
        button->setFont(pixelFont(12, action.bold));
        button->setTextColor(QColor(action.colour));
        connect(button, &QPushButton::clicked, this, &KTipWidget::onBtnClicked);
        connect(button, &QPushButton::clicked, this, &QWidget::close, Qt::QueuedConnection);
        button->setText(action.text);
        // A drive's name can make a text longer than its picture: the button grows to fit it.
        const int fitting = button->fontMetrics().horizontalAdvance(button->text()) + 2 * ButtonPadding;
        if (fitting > button->width())
            button->setFixedWidth(fitting);
        m_buttonRow->addWidget(button);
        m_buttons << button;
    }
    m_buttonRow->addStretch(1000);

    m_headline->setText(content.headline);
    m_headline->setVisible(!content.headline.isEmpty());
    m_secondLine->setText(content.secondLine);
    m_secondLine->setVisible(!content.secondLine.isEmpty());

    // Wider only where the buttons need it.
    layout()->activate();
    setFixedSize(qMax(content.size.width(), layout()->minimumSize().width()), content.size.height());
    const int hideDelay = content.hideDelayMs;
    setHideDelay(hideDelay == -1 || hideDelay > 0 ? hideDelay : this->hideDelay());
    // The logo runs the tip's full height.
    const int logoHeight = m_logoButton->strip().frameHeight();
    if (logoHeight > 0)
        setFixedHeight(logoHeight);
    const int logoWidth = m_logoButton->strip().frameWidth();
    m_header->setGeometry(logoWidth, 0, this->width() - logoWidth, headerHeight);
    m_header->raise();
    m_closeButton->move(this->width() - m_closeButton->width() - CloseMargin, headerHeight + CloseMargin);
    m_closeButton->raise();
    slideIn();
}

void KTipWidget::onBtnClicked()
{
    const auto* sender = qobject_cast<const KCustomButton*>(this->sender());
    if (!sender)
        return;
    for (int i = 0; i < m_buttons.size(); ++i) {
        if (m_buttons.at(i)->text() == sender->text()) {
            emit clicked(i);
            return;
        }
    }
}

void KTipWidget::paintEvent(QPaintEvent* event)
{
    KMoveWidget::paintEvent(event);
    // A thin frame keeps the white tip apart from a light desktop.
    QPainter painter(this);
    painter.setPen(QColor(QStringLiteral("#c5ced8")));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}
