#include "image/Photo.h"

#include <algorithm>
#include <vector>

namespace korvel::image {

namespace {
constexpr QRgb kBlack = 0xff000000u;
constexpr QRgb kWhite = 0xffffffffu;
} // namespace

QImage greyOf(const QImage& picture)
{
    if (picture.isNull())
        return {};
    const QImage source = picture.convertToFormat(QImage::Format_ARGB32);
    QImage grey(source.size(), QImage::Format_Grayscale8);
    for (int y = 0; y < source.height(); ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(source.constScanLine(y));
        uchar* out = grey.scanLine(y);
        for (int x = 0; x < source.width(); ++x) {
            const int a = qAlpha(in[x]);
            const auto over = [a](int c) { return (c * a + 255 * (255 - a)) / 255; };
            out[x] = uchar(qGray(over(qRed(in[x])), over(qGreen(in[x])), over(qBlue(in[x]))));
        }
    }
    return grey;
}

bool largerThan(const QImage& picture, QSize box)
{
    return picture.width() > box.width() || picture.height() > box.height();
}

QImage scaleToFit(const QImage& picture, QSize box)
{
    if (picture.isNull() || !largerThan(picture, box))
        return picture;
    // Scaled on the grey over white, so transparent parts stay white.
    const QImage scaled = greyOf(picture).scaled(box, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return scaled.isNull() ? scaled : scaled.convertToFormat(QImage::Format_RGB32);
}

QImage thresholdPicture(const QImage& picture, int level)
{
    const QImage grey = greyOf(picture);
    QImage out(grey.size(), QImage::Format_RGB32);
    for (int y = 0; y < grey.height(); ++y) {
        const uchar* in = grey.constScanLine(y);
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < grey.width(); ++x)
            line[x] = in[x] < level ? kBlack : kWhite;
    }
    return out;
}

QImage ditherPicture(const QImage& picture)
{
    const QImage grey = greyOf(picture);
    const int w = grey.width(), h = grey.height();
    QImage out(grey.size(), QImage::Format_RGB32);
    // Errors in sixteenths of a grey step, for this row and the next.
    std::vector<int> here(std::size_t(w) + 2, 0), next(std::size_t(w) + 2, 0);
    for (int y = 0; y < h; ++y) {
        const uchar* in = grey.constScanLine(y);
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        std::fill(next.begin(), next.end(), 0);
        for (int x = 0; x < w; ++x) {
            const std::size_t i = std::size_t(x) + 1;
            const int want = in[x] * 16 + here[i];
            const bool white = want >= 128 * 16;
            line[x] = white ? kWhite : kBlack;
            const int err = want - (white ? 255 * 16 : 0);
            here[i + 1] += err * 7 / 16;
            next[i - 1] += err * 3 / 16;
            next[i] += err * 5 / 16;
            next[i + 1] += err * 1 / 16;
        }
        std::swap(here, next);
    }
    return out;
}

QImage convertPicture(const QImage& picture, const PictureChoice& choice)
{
    const QImage source = choice.fit ? scaleToFit(picture) : picture;
    return choice.way == BlackWhiteWay::Dither ? ditherPicture(source) : thresholdPicture(source, choice.level);
}

bool isBlackAndWhite(const QImage& picture)
{
    const QImage source = picture.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < source.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(source.constScanLine(y));
        for (int x = 0; x < source.width(); ++x)
            if (line[x] != kBlack && line[x] != kWhite)
                return false;
    }
    return true;
}

} // namespace korvel::image
