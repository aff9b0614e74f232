#pragma once
// An image control that stretches its picture over its whole area.
#include <QImage>
#include <QWidget>

namespace sky {

class TImage : public QWidget {
    Q_OBJECT
public:
    explicit TImage(QWidget *parent = nullptr);
    void SetPicture(const QImage &picture);
    const QImage &Picture() const { return picture_; }
    // Lets a caller paint into the picture directly; call update() afterwards.
    QImage &PictureRef() { return picture_; }

signals:
    void clicked();
    void doubleClicked();
    void pressed(Qt::MouseButton button);
    void released(Qt::MouseButton button);

protected:
    void paintEvent(QPaintEvent *) override;
    void mousePressEvent(QMouseEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;
    void mouseDoubleClickEvent(QMouseEvent *e) override;

private:
    QImage picture_;
};

} // namespace sky
