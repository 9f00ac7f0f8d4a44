#include "Widgets/versions/kfindbacklabel.h"

#include "Widgets/controls/klabel.h"
#include "Widgets/controls/kmenubutton.h"
#include "core/kcommon.h"

namespace {

QString skin(const QString& name)
{
    return KCommon::skinImagePath(name);
}

QString resultMarkup(const QString& text)
{
    return QStringLiteral("<font color='#68be21' weight='bold'>%1</font>").arg(text.toHtmlEscaped());
}

} // namespace

KFindBackLabel::KFindBackLabel(QWidget* parent)
    : QLabel(parent)
    , m_menuButton(new KMenuButton(
          skin(QStringLiteral("找回到桌面ab.png")), 2, skin(QStringLiteral("pullButton.png")), 2, this))
{
    m_menuButton->setObjectName(QStringLiteral("btnRestore"));
    m_menuButton->setFixedSize(m_menuButton->sizeHint());
    connect(m_menuButton, &KMenuButton::clicked, this, &KFindBackLabel::onPullDownButtonClicked);
    setState(1);
}

// The children of the other states are made when first shown: long lists make many of these,
// and almost all of them stay ready (state 1).
void KFindBackLabel::makeChildren(int state)
{
    if (state == 0 && !m_recoverButton) {
        m_recoverButton = new KLabel(this);
        m_recoverButton->setObjectName(QStringLiteral("btnRecover"));
        m_recoverButton->setImages(skin(QStringLiteral("版本恢复.png")),
            skin(QStringLiteral("版本恢复_鼠标移上去.png")), skin(QStringLiteral("版本恢复_鼠标移上去.png")),
            QString());
        m_recoverButton->setFixedSize(80, 26);
        connect(m_recoverButton, &KLabel::clicked, this, &KFindBackLabel::recoverClicked);
    } else if (state == 2 && !m_busyLabel) {
        m_busyLabel = new QLabel(tr("恢复中，请稍候..."), this);
        m_busyLabel->setObjectName(QStringLiteral("lblBusy"));
        m_busyLabel->setStyleSheet(QStringLiteral("color:#525252;"));
    } else if (state == 3 && !m_resultLabel) {
        m_resultLabel = new QLabel(resultMarkup(QString()), this);
        m_resultLabel->setObjectName(QStringLiteral("lblResult"));
        m_openButton = new KLabel(this);
        m_openButton->setObjectName(QStringLiteral("btnOpenFolder"));
        m_openButton->setImages(skin(QStringLiteral("赶紧看看.png")), skin(QStringLiteral("赶紧看看a.png")),
            skin(QStringLiteral("赶紧看看a.png")), QString());
        m_openButton->setFixedSize(72, 24);
        connect(m_openButton, &KLabel::clicked, this, &KFindBackLabel::openFolder);
    }
}

void KFindBackLabel::setState(int state)
{
    m_state = state;
    makeChildren(state);
    const auto show = [](QWidget* child, bool visible) {
        if (child)
            child->setVisible(visible);
    };
    show(m_recoverButton, state == 0);
    show(m_menuButton, state == 1);
    show(m_busyLabel, state == 2);
    show(m_resultLabel, state == 3);
    show(m_openButton, state == 3);
    placeChildren();
    // The busy text must be on screen before a long copy starts.
    if (state == 2 && isVisible())
        repaint();
    emit stateChanged(state);
}

void KFindBackLabel::setResultText(const QString& text, const QString& toolTip)
{
    makeChildren(3);
    m_result = text;
    m_resultLabel->setToolTip(toolTip);
    m_resultLabel->setVisible(m_state == 3);
    placeChildren();
    m_resultLabel->repaint();
}

QString KFindBackLabel::resultText() const
{
    return m_result;
}

void KFindBackLabel::addMenuEntry(const QString& text)
{
    m_menuButton->addAction(text, QString());
}

void KFindBackLabel::onPullDownButtonClicked(int index)
{
    if (index == 0)
        emit sigRecoverdToDesk();
    else if (index == 1)
        emit sigRecoverdToSrcPalce();
    else
        emit sigOtherVersions();
}

void KFindBackLabel::resizeEvent(QResizeEvent* event)
{
    QLabel::resizeEvent(event);
    placeChildren();
}

void KFindBackLabel::placeChildren()
{
    // Left-aligned and centred vertically, each state's children in a row.
    const auto centre = [this](QWidget* child, int x, int width, int height) {
        child->setGeometry(x, (this->height() - height) / 2, width, height);
    };
    if ((m_state == 0 && !m_recoverButton) || (m_state == 2 && !m_busyLabel)
        || (m_state == 3 && !m_resultLabel))
        return;
    switch (m_state) {
    case 0:
        centre(m_recoverButton, 0, m_recoverButton->width(), m_recoverButton->height());
        break;
    case 1:
        centre(m_menuButton, 0, m_menuButton->width(), m_menuButton->height());
        break;
    case 2:
        centre(m_busyLabel, 0, width(), height());
        break;
    case 3: {
        if (!m_result.isEmpty()) {
            const int room = width() - m_openButton->width() - 6;
            m_resultLabel->setText(
                resultMarkup(m_resultLabel->fontMetrics().elidedText(m_result, Qt::ElideMiddle, room)));
        }
        const int textWidth = m_resultLabel->sizeHint().width();
        centre(m_resultLabel, 0, textWidth, height());
        centre(m_openButton, textWidth + 6, m_openButton->width(), m_openButton->height());
        break;
    }
    default:
        break;
    }
}
