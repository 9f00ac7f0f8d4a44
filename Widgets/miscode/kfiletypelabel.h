#pragma once

#include "Widgets/controls/kclicklabel.h"

// One entry of the mis-edit page's filter column: a caption with a count, for one filter
// number. Hovered and selected entries light up; a click selects the entry and reports its
// filter.
class KFileTypeLabel : public KClickLabel
{
    Q_OBJECT

public:
    explicit KFileTypeLabel(QWidget* parent = nullptr);

    int fileType() const { return m_fileType; }
    void setFileType(int fileType);
    // DesignedWidth unless given more room for longer captions.
    void setWidth(int width);
    static constexpr int DesignedWidth = 159;
    // The entry's width beyond its caption's.
    static constexpr int CaptionMargins = 39;
    // The caption lives in a child label.
    void setText(const QString& text);
    QString text() const;
    void setImages(const QString& normal, const QString& hot, const QString& pressed);

    bool isHovered() const { return m_hover; }
    bool isSelected() const { return m_selected; }
    void setSelected(bool selected);

signals:
    void sigClicked(int fileType);

public slots:
    // Selects the entry and reports its filter, as a click does.
    void selfClicked();

protected:
    void enterEvent(QEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void refreshLook();

    QLabel* m_text;
    QString m_normalImage;
    QString m_hotImage;
    QString m_pressedImage;
    int m_fileType = 0;
    bool m_hover = false;
    bool m_selected = false;
    Q_DISABLE_COPY(KFileTypeLabel)
};
