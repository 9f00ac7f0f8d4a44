#include "Widgets/controls/kmenubutton.h"

#include "Widgets/controls/kbutton.h"

#include <QEvent>
#include <QMenu>

#include <algorithm>

namespace {

// The menu belongs to the window that holds the control (its top-most ancestor when built),
// which is why the destructor lets it go explicitly.
QWidget* topMostAncestor(QWidget* parent)
{
    QWidget* top = parent;
    while (top && top->parentWidget())
        top = top->parentWidget();
    return top;
}

} // namespace

KMenuButton::KMenuButton(
    const QString& leftPicture, int leftFrames, const QString& pullPicture, int pullFrames, QWidget* parent)
    : QLabel(parent)
    , m_leftButton(new KButton(this))
    , m_pullButton(new KButton(this))
{
    m_leftButton->setObjectName(QStringLiteral("leftButton"));
    m_leftButton->setCursor(Qt::PointingHandCursor);
    m_leftButton->setMouseTracking(true);
    m_leftButton->setPixmap(leftPicture, leftFrames);

    m_pullButton->setObjectName(QStringLiteral("pullButton"));
    m_pullButton->setCursor(Qt::PointingHandCursor);
    m_pullButton->setPixmap(pullPicture, pullFrames);

    placeButtons();

    connect(m_pullButton, &QPushButton::clicked, this, &KMenuButton::onPullDown);
    connect(m_leftButton, &QPushButton::clicked, this, &KMenuButton::onLeftButtonClicked);
}

KMenuButton::~KMenuButton()
{
    if (m_menu)
        m_menu->deleteLater();
    m_actions.clear();
}

QSize KMenuButton::sizeHint() const
{
    return QSize(m_leftButton->width() + m_pullButton->width(),
        std::max(m_leftButton->height(), m_pullButton->height()));
}

QSize KMenuButton::minimumSizeHint() const
{
    return sizeHint();
}

void KMenuButton::placeButtons()
{
    // Side by side, each centred in the height; placed by hand because a layout costs more than
    // the two buttons in a long list of these.
    const auto centred = [this](KButton* button) {
        return (height() - button->height()) / 2;
    };
    m_leftButton->move(0, centred(m_leftButton));
    m_pullButton->move(m_leftButton->width(), centred(m_pullButton));
}

void KMenuButton::resizeEvent(QResizeEvent* event)
{
    QLabel::resizeEvent(event);
    placeButtons();
}

bool KMenuButton::event(QEvent* event)
{
    // A button's new picture may change its width.
    if (event->type() == QEvent::LayoutRequest)
        placeButtons();
    return QLabel::event(event);
}

QMenu* KMenuButton::menu() const
{
    if (m_menu)
        return m_menu;
    auto* self = const_cast<KMenuButton*>(this);
    m_menu = new QMenu(topMostAncestor(parentWidget()));
    m_menu->setStyleSheet(QStringLiteral("QMenu:hover{border:1px solid yellow; }"));
    m_actions.clear();
    for (const Entry& entry : m_entries)
        self->appendAction(entry);
    return m_menu;
}

void KMenuButton::appendAction(const Entry& entry)
{
    auto* action = new QAction(QIcon(entry.iconFile), entry.text, m_menu);
    m_actions.append(action);
    connect(action, &QAction::triggered, this, &KMenuButton::onActionClicked);
    m_menu->addAction(action);
}

void KMenuButton::addAction(const QString& text, const QString& iconFile)
{
    m_entries.append({ text, iconFile });
    if (m_menu)
        appendAction(m_entries.last());
}

void KMenuButton::onPullDown()
{
    QMenu* pullDown = menu();
    pullDown->setFixedWidth(120);
    QPoint position = mapToGlobal(QPoint(0, 0));
    position.rx() += width() - pullDown->width();
    position.ry() += m_leftButton->height() + 7;
    pullDown->exec(position);
}

void KMenuButton::onLeftButtonClicked()
{
    emit clicked(0);
}

void KMenuButton::onActionClicked()
{
    const int index = m_actions.indexOf(qobject_cast<QAction*>(sender()));
    if (index >= 0)
        emit clicked(index + 1);
}
