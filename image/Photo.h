#pragma once
// Photographs and logos made black and white for the printer: a threshold
// at a chosen level, or Floyd-Steinberg error diffusion; optionally scaled
// down to fit the canvas first, keeping the aspect.
#include <QImage>
#include <QSize>

namespace korvel::image {

enum class BlackWhiteWay { Threshold, Dither };

struct PictureChoice {
    BlackWhiteWay way = BlackWhiteWay::Threshold;
    int level = 128; // threshold: a pixel is black when its grey is below this
    bool fit = false; // scale a larger picture down to fit the canvas
};

// Grey 0..255 of each pixel, transparent parts over white.
QImage greyOf(const QImage& picture);
// Unchanged when it fits box; else as large as fits, aspect kept, smoothly.
QImage scaleToFit(const QImage& picture, QSize box = QSize(240, 154));
// Format_RGB32, only pure black and white.
QImage thresholdPicture(const QImage& picture, int level);
QImage ditherPicture(const QImage& picture);
QImage convertPicture(const QImage& picture, const PictureChoice& choice);

// Only opaque pure black and pure white pixels.
bool isBlackAndWhite(const QImage& picture);
bool largerThan(const QImage& picture, QSize box = QSize(240, 154));

} // namespace korvel::image
