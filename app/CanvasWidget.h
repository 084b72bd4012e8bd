// The canvas control: shows the picture 1:1 and hands the mouse to the window.
#pragma once

#include <QImage>
#include <QWidget>
#include <functional>

class CanvasWidget : public QWidget {
    Q_OBJECT
public:
    using MouseFn = std::function<void(int x, int y)>;
    explicit CanvasWidget(QWidget* parent = nullptr) : QWidget(parent) { setMouseTracking(false); }

    void setPicture(const QImage& picture)
    {
        picture_ = picture;
        resize(picture_.size());
        update();
    }
    const QImage& picture() const { return picture_; }

    MouseFn onMouseDown, onMouseMove, onMouseUp;

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QImage picture_;
};
