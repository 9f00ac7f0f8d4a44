#pragma once

#include <QHash>
#include <QStringList>
#include <QWidget>

class QLabel;

// One row of a KTableWidget: a widget of its own, identified by a text key (a file's path or
// a version's identifier) rather than by its index.
//
// A row as wide as its list: the form's background widens, the file name (a child named
// lblFileName, lblName or lblPath) takes the difference, and what lies right of it moves with the
// right edge; the name is shortened again for its width from the whole text its label keeps (its
// "Text4GTF" property, else its tool tip).
class KTableWidgetItemBase : public QWidget
{
    Q_OBJECT

public:
    // Stored and compared; the values never change.
    enum ITEMTYPE
    {
        ITEM_FILE = 0,
        ITEM_DATETIME = 1,
        ITEM_DELETED_FILE = 2,
        ITEM_BACKED_FILE = 3,
        ITEM_SELF_BACKED = 4,
    };
    Q_ENUM(ITEMTYPE)

    explicit KTableWidgetItemBase(QWidget* parent = nullptr);

    QString key() const { return m_key; }
    void setKey(const QString& key) { m_key = key; }
    int itemType() const { return m_itemType; }
    void setItemType(int type) { m_itemType = type; }

    // A label's text colour through its palette, which a style sheet would set at far greater cost.
    static void setTextColor(QWidget* widget, const QColor& color);

public slots:
    // Fills the row's labels; each kind of row says which entry goes where.
    virtual void setData(const QStringList& texts) = 0;

signals:
    // Asks the owning table to drop the row with this key.
    void sigRemove(QString strKey);

protected:
    // Rows with a background label light it up while hovered.
    void setHoverBackground(QLabel* background);
    // The row paints that background itself, one widget fewer in each row, and no separator
    // lines, which a background label covered.
    void paintHoverBackground();

    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void fitWidth();
    void showHover(bool hovered);

    qint32 m_itemType = ITEM_FILE;
    QString m_key;
    QLabel* m_hoverBackground = nullptr;
    bool m_paintsBackground = false;
    bool m_hovered = false;
    // The children's places as the form put them, and the width it put them for.
    QHash<QWidget*, QRect> m_designed;
    int m_designedWidth = 0;
    Q_DISABLE_COPY(KTableWidgetItemBase)
};
