// Any file opened as a picture or loaded as a logo: either refused with the
// canvas untouched, or a black-and-white picture whose stream is well-formed.
#include "FuzzCheck.h"
#include "image/Canvas.h"
#include "image/Raster.h"
#include "printer/Protocol.h"

#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>
#include <unistd.h>

using namespace korvel::image;

namespace {

constexpr QRgb kBlack = 0xff000000u, kWhite = 0xffffffffu, kRed = 0xffff0000u;

bool onlyBlackAndWhite(const QImage& picture)
{
    if (picture.format() != QImage::Format_RGB32)
        return false;
    for (int y = 0; y < picture.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(picture.constScanLine(y));
        for (int x = 0; x < picture.width(); ++x)
            if (line[x] != kBlack && line[x] != kWhite)
                return false;
    }
    return true;
}

void checkStream(const Canvas& canvas)
{
    const std::vector<int> values = canvas.rasterise();
    FUZZ_CHECK(values.size() == static_cast<std::size_t>(kValues));
    for (int x = 0; x < kColumns; ++x)
        for (int i = 0; i < kPositions; ++i) {
            const int v = values[static_cast<std::size_t>(kPositions * x + i)];
            FUZZ_CHECK(v >= 128 && v <= 255);
            // Each band's bit is cleared exactly where the canvas is black.
            for (int band = 0; band < kBands; ++band) {
                const int y = kPositions * band + i;
                FUZZ_CHECK(((v & kBandBits[band]) == 0) == (y < kRows && canvas.isBlack(x, y)));
            }
        }

    // The stream as the line gets it: "240", then one write of three digits per value.
    const korvel::printer::Job job =
        korvel::printer::imageUploadJob(std::vector<std::int32_t>(values.begin(), values.end()));
    FUZZ_CHECK(job.steps.size() == 1 + static_cast<std::size_t>(kValues));
    FUZZ_CHECK(job.steps.front().bytes == "240");
    for (std::size_t i = 0; i < values.size(); ++i) {
        const std::string& value = job.steps[i + 1].bytes;
        FUZZ_CHECK(value.size() == 3);
        for (char c : value)
            FUZZ_CHECK(c >= '0' && c <= '9');
        FUZZ_CHECK(std::stoi(value) == values[i]);
    }
}

void checkOpen(const QString& path)
{
    Canvas canvas;
    const QImage before = canvas.image();
    try {
        canvas.load(path);
    } catch (const FileError&) {
        FUZZ_CHECK(canvas.image() == before);
        return;
    }
    FUZZ_CHECK(!canvas.image().isNull());
    FUZZ_CHECK(onlyBlackAndWhite(canvas.image()));
    checkStream(canvas);
}

void checkLogo(const QByteArray& bytes)
{
    const QImage preview = QImage::fromData(bytes);
    const QImage mask = logoMask(preview);
    if (preview.isNull()) {
        FUZZ_CHECK(mask.isNull());
        return;
    }
    FUZZ_CHECK(mask.size() == preview.size());
    FUZZ_CHECK(mask.format() == QImage::Format_RGB32);
    const QImage argb = preview.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < mask.height(); ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
        const auto* out = reinterpret_cast<const QRgb*>(mask.constScanLine(y));
        for (int x = 0; x < mask.width(); ++x) {
            FUZZ_CHECK(out[x] == kRed || out[x] == kWhite);
            FUZZ_CHECK((out[x] == kRed) == (in[x] == kBlack));
        }
    }

    const QSize clip = logoClipSize(mask.size());
    FUZZ_CHECK(clip.width() <= kColumns && clip.height() <= kRows);
    Canvas canvas;
    canvas.stampMask(mask, QPoint(0, 0), clip);
    FUZZ_CHECK(onlyBlackAndWhite(canvas.image()));
    for (int y = 0; y < kRows; ++y)
        for (int x = 0; x < kColumns; ++x)
            if (canvas.isBlack(x, y))
                FUZZ_CHECK(mask.valid(x, y) && mask.pixel(x, y) == kRed);
    checkStream(canvas);
}

QString scratchPath()
{
    const QString tmp = qEnvironmentVariable("TMPDIR", QStringLiteral("/tmp"));
    return tmp + QStringLiteral("/korvel-fuzz-picture-%1.bmp").arg(::getpid());
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // A header of a few bytes may announce a picture of 128 MB, which Qt then
    // allocates and the canvas converts pixel by pixel, for seconds. That cost
    // is known; here it would only hide everything else behind timeouts.
    QImageReader::setAllocationLimit(4);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    static const QString path = scratchPath();
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size()) {
        file.close();
        checkOpen(path);
    }
    QFile::remove(path);
    checkLogo(bytes);
    return 0;
}
