#include "display/image_view.h"

#include <QMouseEvent>
#include <QPainter>

namespace sky {

TImage::TImage(QWidget *parent) : QWidget(parent) {}

void TImage::SetPicture(const QImage &picture) {
    picture_ = picture;
    update();
}

void TImage::paintEvent(QPaintEvent *) {
    if (picture_.isNull())
        return;
    QPainter p(this);
    p.drawImage(rect(), picture_);
}

void TImage::mousePressEvent(QMouseEvent *e) {
    e->accept(); // the picture handles its presses; they do not reach the panel under it
    emit pressed(e->button());
}

void TImage::mouseReleaseEvent(QMouseEvent *e) {
    emit released(e->button());
    if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint()))
        emit clicked();
    QWidget::mouseReleaseEvent(e);
}

void TImage::mouseDoubleClickEvent(QMouseEvent *e) {
    emit doubleClicked();
    QWidget::mouseDoubleClickEvent(e);
}

} // namespace sky
