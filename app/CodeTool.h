// The code tool of the pixel page: a barcode or 2-D code made from the
// operator's data, dragged and nudged over the canvas, then committed into it.
#pragma once

#include <QImage>
#include <QLabel>
#include <QPoint>
#include <QRect>

#include <optional>
#include <vector>

#include "image/Codes.h"

class QComboBox;
class QFrame;
class QLineEdit;
class QSpinBox;
class QToolButton;
class TForm1;

// The code over the canvas: red where it will be black, dragged like the text overlay.
class CodeOverlay : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;
signals:
    void dragged(QPoint delta);
    void doubleClicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    bool dragging_ = false;
};

class CodeTool : public QObject {
    Q_OBJECT
public:
    explicit CodeTool(TForm1& form);

    QToolButton* button = nullptr;     // SpeedButtonCode, on the upper toolbar
    QFrame* panel = nullptr;           // panel_code, where the keyboards lie
    QComboBox* symbology = nullptr;    // codeSymbology
    QLineEdit* data = nullptr;         // codeData
    QSpinBox* module = nullptr;        // codeModule, 1 to 6
    QLabel* status = nullptr;          // codeStatus: size, or why not
    QToolButton* commitButton = nullptr; // codeCommit
    CodeOverlay* overlay = nullptr;    // codeOverlay, over the canvas

    void toggle();
    void moveTo(QPoint topLeft);
    void nudge(int dx, int dy);
    // Stamps the code into the canvas after a checkpoint; false when refused.
    bool commit();
    // A date field that lies over a committed code still in the picture.
    bool dateOverCode(const QRect& dateArea) const;

private:
    void remake();
    korvel::image::Symbology chosen() const;

    TForm1& form_;
    korvel::image::CodeOutcome outcome_;
    QPoint at_{0, 0};
    struct Placed {
        QRect area;
        std::vector<std::uint8_t> pixels;
    };
    std::vector<Placed> placed_;
};
