#include "Widgets/dialogs/kmessagebox.h"

#include "Widgets/controls/kcustombutton.h"
#include "Widgets/dialogs/kcustomdlgtitlewidget.h"
#include "core/kcommon.h"

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QVBoxLayout>

namespace {

// Both only ever touched on the GUI thread.
struct TestAnswers
{
    QList<int> queued;
    QStringList answeredTexts;
};

TestAnswers& testAnswers()
{
    static TestAnswers answers;
    return answers;
}

int g_openMessageBoxCount = 0;

const QString ClosePicture = QStringLiteral(":/Icons/Icons/关闭.png");
constexpr int CloseFrames = 2;
// The plain button picture holds its four states side by side.
const QString ButtonPicture = QStringLiteral("按扭背景.png");
constexpr int ButtonFrames = 4;

// The product's own flat icons, one per kind of box.
QPixmap iconPixmap(int icon)
{
    switch (icon) {
    case QMessageBox::Information:
        return QPixmap(QStringLiteral(":/Icons/Icons/信息.png"));
    case QMessageBox::Warning:
        return QPixmap(QStringLiteral(":/Icons/Icons/警告.png"));
    case QMessageBox::Critical:
        return QPixmap(QStringLiteral(":/Icons/Icons/错误.png"));
    case QMessageBox::Question:
        return QPixmap(QStringLiteral(":/Icons/Icons/询问.png"));
    default:
        return QPixmap();
    }
}

} // namespace

KMessageBox::KMessageBox(int icon, const QString& title, const QString& text, const QString& backgroundImage,
    const QString& closePicture, int closeFrames, const QString& okText, const QString& cancelText,
    bool showCancel, QWidget* parent)
    : KSkinDialog(title, backgroundImage, closePicture, closeFrames, 300, 150, parent, Qt::WindowFlags())
    , m_okButton(new KCustomButton(m_content))
    , m_cancelButton(new KCustomButton(m_content))
    , m_iconLabel(new QLabel(m_content))
    , m_textLabel(new QLabel(text, m_content))
{
    setSizePolicy(QSizePolicy::MinimumExpanding, QSizePolicy::MinimumExpanding);
    setFixedSize(340, 190);

    m_iconLabel->setObjectName(QStringLiteral("iconLabel"));
    m_iconLabel->setPixmap(iconPixmap(icon));
    m_textLabel->setObjectName(QStringLiteral("textLabel"));
    m_textLabel->setWordWrap(true);
    m_textLabel->setFixedWidth(textWidth(m_textLabel->fontMetrics(), text, MaxTextWidth));

    m_okButton->setObjectName(QStringLiteral("okButton"));
    m_okButton->setText(okText);
    connect(m_okButton, &QPushButton::clicked, this, &QDialog::accept);
    m_cancelButton->setObjectName(QStringLiteral("cancelButton"));
    m_cancelButton->setText(cancelText);
    connect(m_cancelButton, &QPushButton::clicked, this, &QDialog::reject);

    auto* messageRow = new QHBoxLayout;
    messageRow->addStretch();
    messageRow->addWidget(m_iconLabel);
    messageRow->addWidget(m_textLabel);
    messageRow->addStretch();

    auto* buttonRow = new QHBoxLayout;
    buttonRow->addStretch();
    buttonRow->addWidget(m_okButton);
    // Without the second button its gap goes too, so that the one button is centred.
    if (showCancel)
        buttonRow->addSpacing(15);
    buttonRow->addWidget(m_cancelButton);
    buttonRow->addStretch();

    auto* column = new QVBoxLayout(m_content);
    column->setContentsMargins(0, 0, 0, 20);
    column->addLayout(messageRow);
    column->addLayout(buttonRow);

    if (!showCancel)
        m_cancelButton->hide();

    // A long text (a translation, a long path) makes the box taller; its width stays.
    layout()->activate();
    const int needed = m_content->heightForWidth(m_content->width());
    if (needed > m_content->height())
        setFixedHeight(height() + needed - m_content->height());
}

void KMessageBox::setIcon(const QString& imageFile)
{
    const QPixmap picture(imageFile);
    m_iconLabel->setPixmap(picture);
    m_iconLabel->setFixedSize(picture.size());
}

void KMessageBox::setButtonPicture(int which, const QString& picture, int frames)
{
    if (which == QMessageBox::Ok)
        m_okButton->setPicName(picture, frames);
    else if (which == QMessageBox::Cancel)
        m_cancelButton->setPicName(picture, frames);
}

int KMessageBox::textWidth(const QFontMetrics& metrics, const QString& text, int maximum)
{
    const auto heightAt = [&metrics, &text](int width) {
        return metrics.boundingRect(QRect(0, 0, width, 100000), Qt::TextWordWrap, text).height();
    };
    // One line: exactly as wide, so that the text sits centred with its icon.
    const int oneLine = heightAt(100000);
    const int height = heightAt(maximum);
    if (height <= oneLine)
        return qMin(
            maximum, metrics.boundingRect(QRect(0, 0, 100000, 100000), Qt::TextWordWrap, text).width());
    // More: the narrowest width that needs no more lines, which evens them out.
    int narrow = 1;
    int wide = maximum;
    while (narrow < wide) {
        const int middle = (narrow + wide) / 2;
        if (heightAt(middle) <= height)
            wide = middle;
        else
            narrow = middle + 1;
    }
    return wide;
}

QString KMessageBox::text() const
{
    return m_textLabel->text();
}

int KMessageBox::showCritical(QWidget* parent, const QString& title, const QString& text,
    const QString& backgroundImage, const QString& closePicture, int closeFrames, const QString& okText,
    const QString& cancelText, bool showCancel)
{
    KMessageBox box(QMessageBox::Critical, title, text, backgroundImage, closePicture, closeFrames, okText,
        cancelText, showCancel, parent);
    return box.exec();
}

void KMessageBox::setNextAnswer(int answer)
{
    testAnswers().queued.append(answer);
}

void KMessageBox::clearNextAnswers()
{
    testAnswers().queued.clear();
    testAnswers().answeredTexts.clear();
}

int KMessageBox::queuedAnswerCount()
{
    return testAnswers().queued.size();
}

QStringList KMessageBox::answeredTexts()
{
    return testAnswers().answeredTexts;
}

int KMessageBox::exec()
{
    TestAnswers& answers = testAnswers();
    if (answers.queued.isEmpty())
        return KSkinDialog::exec();
    const int answer = answers.queued.takeFirst();
    answers.answeredTexts.append(text());
    done(answer);
    return answer;
}

void KMessageBox::slotClose()
{
    done(-1);
}

KYMessageBox::OpenBox::OpenBox()
{
    ++g_openMessageBoxCount;
}

KYMessageBox::OpenBox::~OpenBox()
{
    g_openMessageBoxCount = qMax(0, g_openMessageBoxCount - 1);
}

std::unique_ptr<KYMessageBox> KYMessageBox::information(QWidget* parent, int kind, const QString& text)
{
    return std::make_unique<KYMessageBox>(kind, tr("提示"), text, KCommon::skinBackgroundPath(), ClosePicture,
        CloseFrames, tr("确定"), QString(), false, parent);
}

std::unique_ptr<KYMessageBox> KYMessageBox::question(
    QWidget* parent, const QString& title, const QString& text, const QString& accept, const QString& other)
{
    auto box = std::make_unique<KYMessageBox>(0, title, text, KCommon::skinBackgroundPath(), ClosePicture,
        CloseFrames, accept, other, true, parent);
    box->setIcon(KCommon::skinImagePath(QStringLiteral("提示.png")));
    const QString button = KCommon::skinImagePath(ButtonPicture);
    // The plain picture stretches: a button is as wide as its text needs.
    for (KCustomButton* shown : { box->m_okButton, box->m_cancelButton }) {
        shown->setPicName(button, ButtonFrames);
        shown->setFixedWidth(
            qMax(shown->width(), shown->fontMetrics().horizontalAdvance(shown->text()) + 24));
    }
    return box;
}

void KYMessageBox::onHostSkinChanged()
{
    m_titleWidget->slotChangeSkin(KCommon::skinBackgroundPath());
}

int KYMessageBox::showCritical(QWidget* parent, const QString& title, const QString& text,
    const QString& backgroundImage, const QString& closePicture, int closeFrames, const QString& okText,
    const QString& cancelText, bool showCancel)
{
    const OpenBox counted;
    return KMessageBox::showCritical(
        parent, title, text, backgroundImage, closePicture, closeFrames, okText, cancelText, showCancel);
}

int KYMessageBox::openMessageBoxCount()
{
    return g_openMessageBoxCount;
}
