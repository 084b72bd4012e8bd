#include "CanvasWidget.h"

#include <QMouseEvent>
#include <QPainter>

void CanvasWidget::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.drawImage(0, 0, picture_);
}

void CanvasWidget::mousePressEvent(QMouseEvent* event)
{
    if (onMouseDown)
        onMouseDown(event->position().toPoint().x(), event->position().toPoint().y());
}

void CanvasWidget::mouseMoveEvent(QMouseEvent* event)
{
    if (onMouseMove)
        onMouseMove(event->position().toPoint().x(), event->position().toPoint().y());
}

void CanvasWidget::mouseReleaseEvent(QMouseEvent* event)
{
    if (onMouseUp)
        onMouseUp(event->position().toPoint().x(), event->position().toPoint().y());
}
