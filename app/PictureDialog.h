// Before a photograph or a grey logo is used: threshold or dithering, each
// previewed side by side, and scaling down to the canvas.
#pragma once

#include <QDialog>
#include <QImage>

#include <optional>

#include "image/Photo.h"

class QCheckBox;
class QLabel;
class QRadioButton;
class QSlider;

class PictureDialog : public QDialog {
    Q_OBJECT
public:
    PictureDialog(const QImage& picture, QWidget* parent = nullptr);

    korvel::image::PictureChoice choice() const;
    // nullopt when the operator cancels.
    static std::optional<korvel::image::PictureChoice> ask(QWidget* parent, const QImage& picture);
    // Pictures that already suit the printer need no choice.
    static bool needed(const QImage& picture);

    QRadioButton *thresholdButton = nullptr, *ditherButton = nullptr;
    QSlider* level = nullptr;
    QCheckBox* fit = nullptr;

private:
    void refresh();

    QImage picture_;
    QLabel *thresholdPreview_ = nullptr, *ditherPreview_ = nullptr, *levelText_ = nullptr;
};
