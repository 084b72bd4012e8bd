// Driving the pixel page of an offscreen window: mouse events as the widgets
// get them, keys by their caption, and what the canvas shows.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QMouseEvent>
#include <QTest>

#include <initializer_list>
#include <memory>

#include "CanvasWidget.h"
#include "MainWindow.h"
#include "TestSeams.h"
#include "image/Canvas.h"

namespace pixel {

// The window on the test's working place, shown offscreen, what it told at
// start forgotten.
inline void openWindow(TestEnvironment& env, std::unique_ptr<TForm1>& form)
{
    form.reset(new TForm1(&env.seams));
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    env.seams.clear();
}

// Closes the window and its working place; an error the window showed fails
// the test unless the test expected some.
inline void closeWindow(std::unique_ptr<TestEnvironment>& env, std::unique_ptr<TForm1>& form,
                        bool errorsExpected = false)
{
    const QStringList errors = env->seams.allErrors();
    form.reset();
    env.reset();
    QVERIFY2(errors.isEmpty() || errorsExpected, qPrintable(errors.join('\n')));
}

// One mouse event delivered to the widget as the window system would, with
// the left button held for press, move and double-click.
inline void mouse(QWidget* widget, QEvent::Type type, QPoint pos)
{
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, QPointF(pos), widget->mapToGlobal(QPointF(pos)), button, held, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}
inline void press(QWidget* w, QPoint p) { mouse(w, QEvent::MouseButtonPress, p); }
inline void move(QWidget* w, QPoint p) { mouse(w, QEvent::MouseMove, p); }
inline void release(QWidget* w, QPoint p) { mouse(w, QEvent::MouseButtonRelease, p); }
inline void doubleClick(QWidget* w, QPoint p)
{
    press(w, p);
    release(w, p);
    mouse(w, QEvent::MouseButtonDblClick, p);
    release(w, p);
}

// A drag on the canvas: press, the moves, release.
inline void drag(TForm1& form, QPoint from, std::initializer_list<QPoint> moves, QPoint to)
{
    press(form.imagesend, from);
    for (QPoint p : moves)
        move(form.imagesend, p);
    release(form.imagesend, to);
}

// What the canvas control shows, in one comparable format.
inline QImage shown(const TForm1& form) { return form.imagesend->picture().convertToFormat(QImage::Format_RGB32); }

inline bool isBlack(const QImage& image, int x, int y) { return image.pixel(x, y) == qRgb(0, 0, 0); }

inline int blackCount(const QImage& image, QRect area)
{
    area = area.intersected(image.rect());
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            n += isBlack(image, x, y);
    return n;
}
inline int blackCount(const QImage& image) { return blackCount(image, image.rect()); }

// Paints black straight into the canvas (no checkpoint), as content to draw over.
inline void paintBlack(TForm1& form, QRect area)
{
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            form.canvas->setPixel(x, y, true);
    form.refreshCanvas();
}

inline QString workingBitmapPath(const TestEnvironment& env) { return env.workDir() + QStringLiteral("/korvel.bmp"); }
inline QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
inline QImage picture(const QString& path) { return QImage(path).convertToFormat(QImage::Format_RGB32); }

// A key of an on-screen keyboard by the caption it shows.
inline QAbstractButton* key(QWidget* panel, const QString& caption)
{
    const auto buttons = panel->findChildren<QAbstractButton*>();
    for (QAbstractButton* b : buttons)
        if (b->property("keyCaption").toString() == caption && (!caption.isEmpty() || b->icon().isNull()))
            return b;
    return nullptr;
}

inline void click(QAbstractButton* button)
{
    QVERIFY2(button, "no such button");
    QTest::mouseClick(button, Qt::LeftButton);
}

template <class T = QAbstractButton>
T* named(const QObject& form, const char* name)
{
    return form.findChild<T*>(QLatin1String(name));
}

} // namespace pixel
