#include "image/Canvas.h"

#include "image/Raster.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontMetrics>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korvel::image {

namespace {

constexpr QRgb kBlack = 0xff000000u;
constexpr QRgb kWhite = 0xffffffffu;
constexpr QRgb kRed = 0xffff0000u;

Qt::PenStyle qtPenStyle(PenStyle style)
{
    switch (style) {
    case PenStyle::psSolid: return Qt::SolidLine;
    case PenStyle::psDash: return Qt::DashLine;
    case PenStyle::psDot: return Qt::DotLine;
    case PenStyle::psDashDot: return Qt::DashDotLine;
    case PenStyle::psDashDotDot: return Qt::DashDotDotLine;
    case PenStyle::psClear: return Qt::NoPen;
    }
    return Qt::SolidLine;
}

// Leaves only pure black and white, whatever the painter did at the edges.
void keepBlackAndWhite(QImage& picture)
{
    for (int y = 0; y < picture.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(picture.scanLine(y));
        for (int x = 0; x < picture.width(); ++x) {
            const QRgb c = line[x] | 0xff000000u;
            if (c != kBlack && c != kWhite)
                line[x] = qGray(c) < 128 ? kBlack : kWhite;
            else
                line[x] = c;
        }
    }
}

QImage readPicture(const QString& path)
{
    QImageReader reader(path);
    // A header may claim any size; refuse before the pixels are allocated.
    const QSize size = reader.size();
    if (size.width() > kMaxPictureSide || size.height() > kMaxPictureSide)
        throw FileError(path, QStringLiteral("تصویر %1 × %2 نقطه است؛ بزرگترین تصویر قابل باز کردن %3 × %3 نقطه است")
                                  .arg(size.width()).arg(size.height()).arg(kMaxPictureSide));
    QImage picture = reader.read();
    if (picture.isNull())
        throw FileError(path, reader.errorString());
    return picture;
}

} // namespace

QImage loadPicture(const QString& path) { return readPicture(path); }

namespace {

QString systemReason(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

} // namespace

// (QSaveFile takes a short write, as on a full disk, for success.)
void writeWhole(const QString& path, const QByteArray& bytes)
{
    const QByteArray target = QFile::encodeName(path);
    QByteArray temp = target + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0)
        throw FileError(path, systemReason(errno));
    const auto fail = [&](int error) {
        ::close(fd);
        ::unlink(temp.constData());
        throw FileError(path, systemReason(error));
    };
    struct stat old{};
    if (::fchmod(fd, ::stat(target.constData(), &old) == 0 ? (old.st_mode & 07777) : 0644) != 0)
        fail(errno);
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.constData() + done, std::size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            fail(n < 0 ? errno : EIO);
        done += n;
    }
    if (::fsync(fd) != 0)
        fail(errno);
    if (::close(fd) != 0) {
        const int error = errno;
        ::unlink(temp.constData());
        throw FileError(path, systemReason(error));
    }
    if (::rename(temp.constData(), target.constData()) != 0) {
        const int error = errno;
        ::unlink(temp.constData());
        throw FileError(path, systemReason(error));
    }
}

FileError::FileError(const QString& file, const QString& reason)
    : std::runtime_error((file + QStringLiteral(": ") + reason).toStdString()), file_(file), reason_(reason)
{
}

bool isOneBitBitmap(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = file.read(30);
    // "BM", then the bit count, little-endian, at offset 28 of the info header.
    return head.size() == 30 && head.startsWith("BM") && quint8(head[28]) == 1 && quint8(head[29]) == 0;
}

QString workingFolder()
{
    const QString dir = qEnvironmentVariable("KORVEL_WORKDIR");
    return dir.isEmpty() ? QDir::homePath() + QStringLiteral("/korvel") : dir;
}

QString workingBitmapPath() { return workingFolder() + QStringLiteral("/korvel.bmp"); }

QImage toBlackAndWhite(const QImage& picture)
{
    if (picture.isNull())
        return {};
    const QImage source = picture.convertToFormat(QImage::Format_ARGB32);
    QImage result(source.size(), QImage::Format_RGB32);
    for (int y = 0; y < source.height(); ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(source.constScanLine(y));
        auto* out = reinterpret_cast<QRgb*>(result.scanLine(y));
        for (int x = 0; x < source.width(); ++x) {
            // Transparent parts count as the white they show on.
            const int a = qAlpha(in[x]);
            const auto over = [a](int c) { return (c * a + 255 * (255 - a)) / 255; };
            const int gray = qGray(over(qRed(in[x])), over(qGreen(in[x])), over(qBlue(in[x])));
            out[x] = gray < 128 ? kBlack : kWhite;
        }
    }
    return result;
}

std::vector<int> rasteriseImage(const QImage& picture)
{
    const QImage source = picture.convertToFormat(QImage::Format_ARGB32);
    return rasterise(source.width(), source.height(),
                     [&source](int x, int y) { return source.pixel(x, y) == kBlack; });
}

QImage logoMask(const QImage& preview)
{
    if (preview.isNull())
        return {};
    const QImage source = preview.convertToFormat(QImage::Format_ARGB32);
    QImage mask(source.size(), QImage::Format_RGB32);
    for (int y = 0; y < source.height(); ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(source.constScanLine(y));
        auto* out = reinterpret_cast<QRgb*>(mask.scanLine(y));
        for (int x = 0; x < source.width(); ++x)
            out[x] = in[x] == kBlack ? kRed : kWhite;
    }
    return mask;
}

QSize logoClipSize(QSize maskSize)
{
    return {std::min(maskSize.width(), kColumns), std::min(maskSize.height(), kRows)};
}

Canvas::Canvas() : picture_(kColumns, kRows, QImage::Format_RGB32), workingPath_(workingBitmapPath())
{
    picture_.fill(kWhite);
}

void Canvas::setPicture(const QImage& picture) { picture_ = toBlackAndWhite(picture); }

bool Canvas::isBlack(int x, int y) const
{
    return picture_.valid(x, y) && picture_.pixel(x, y) == kBlack;
}

void Canvas::setPixel(int x, int y, bool black)
{
    if (picture_.valid(x, y))
        picture_.setPixel(x, y, black ? kBlack : kWhite);
}

std::vector<int> Canvas::rasterise() const
{
    return rasteriseImage(picture_);
}

void Canvas::DrawShape(QPoint topLeft, QPoint bottomRight, PenMode mode)
{
    penMode_ = mode;
    if (picture_.isNull())
        return;
    if (tool_ == DrawingTool::dtLine && penWidth_ <= 1) {
        drawThinLine(topLeft, bottomRight, mode);
        return;
    }
    QPainter painter(&picture_);
    painter.setRenderHint(QPainter::Antialiasing, false);
    const bool notXor = mode == PenMode::pmNotXor;
    if (notXor)
        painter.setCompositionMode(QPainter::RasterOp_NotSourceXorDestination);

    QPen pen(QColor(Qt::black), penWidth_, qtPenStyle(penStyle_), Qt::FlatCap, Qt::MiterJoin);
    pen.setCosmetic(penWidth_ <= 1);
    painter.setPen(pen);
    // A white brush in not-xor leaves every pixel as it is.
    painter.setBrush(!notXor && brushStyle_ == BrushStyle::bsSolid ? QBrush(Qt::white) : QBrush(Qt::NoBrush));

    // Qt's outline of QRect(l, t, w, h) passes through both corners given.
    const QRect box(std::min(topLeft.x(), bottomRight.x()), std::min(topLeft.y(), bottomRight.y()),
                    std::abs(bottomRight.x() - topLeft.x()), std::abs(bottomRight.y() - topLeft.y()));
    switch (tool_) {
    case DrawingTool::dtLine:
        // A flat cap leaves the end pixel unset, so a point-to-point line sets none.
        if (topLeft != bottomRight)
            painter.drawLine(topLeft, bottomRight);
        break;
    case DrawingTool::dtRectangle: painter.drawRect(box); break;
    case DrawingTool::dtEllipse: painter.drawEllipse(box); break;
    case DrawingTool::dtRoundRect: {
        // Corner ellipse size truncated toward zero, then its magnitude.
        const int cornerW = std::abs((topLeft.x() - bottomRight.x()) / 2);
        const int cornerH = std::abs((topLeft.y() - bottomRight.y()) / 2);
        painter.drawRoundedRect(box, cornerW / 2.0, cornerH / 2.0, Qt::AbsoluteSize);
        break;
    }
    }
    painter.end();
    keepBlackAndWhite(picture_);
}

// Qt leaves out the last pixel in its own drawing direction, which is the start
// for lines drawn to the left or up. A thin line must cover its start and leave
// out its end whichever way it runs, so its pixels are found first and fixed.
void Canvas::drawThinLine(QPoint from, QPoint to, PenMode mode)
{
    if (from == to || penStyle_ == PenStyle::psClear)
        return;
    const QRect span = QRect::span(from, to);
    QImage cover(span.size(), QImage::Format_ARGB32_Premultiplied);
    cover.fill(Qt::transparent);
    {
        QPainter painter(&cover);
        painter.setRenderHint(QPainter::Antialiasing, false);
        QPen pen(QColor(Qt::black), 1, qtPenStyle(penStyle_), Qt::FlatCap, Qt::MiterJoin);
        pen.setCosmetic(true);
        painter.setPen(pen);
        painter.drawLine(from - span.topLeft(), to - span.topLeft());
    }
    cover.setPixel(from - span.topLeft(), qRgba(0, 0, 0, 255));
    cover.setPixel(to - span.topLeft(), qRgba(0, 0, 0, 0));
    for (int y = 0; y < cover.height(); ++y)
        for (int x = 0; x < cover.width(); ++x) {
            const QPoint at = span.topLeft() + QPoint(x, y);
            if (qAlpha(cover.pixel(x, y)) == 0 || !picture_.valid(at))
                continue;
            const bool black = mode == PenMode::pmCopy || picture_.pixel(at) != kBlack;
            picture_.setPixel(at, black ? kBlack : kWhite);
        }
}

void Canvas::newCanvas()
{
    picture_ = QImage(kColumns, kRows, QImage::Format_RGB32);
    picture_.fill(kWhite);
}

void Canvas::SaveStyles()
{
    savedBrushStyle_ = brushStyle_;
    savedPenStyle_ = penStyle_;
    savedPenWidth_ = penWidth_;
}

void Canvas::RestoreStyles()
{
    brushStyle_ = savedBrushStyle_;
    penStyle_ = savedPenStyle_;
    penWidth_ = savedPenWidth_;
}

void Canvas::resetAttributes()
{
    penStyle_ = PenStyle::psSolid;
    penWidth_ = 1;
    penMode_ = PenMode::pmCopy;
    brushStyle_ = BrushStyle::bsSolid;
}

void Canvas::replacePicture(const QImage& picture)
{
    picture_ = toBlackAndWhite(picture);
    resetAttributes();
}

void Canvas::load(const QString& path)
{
    const QImage picture = readPicture(path);
    SaveStyles();
    replacePicture(picture);
    RestoreStyles();
}

void Canvas::save(const QString& path) const
{
    QImage mono = picture_.convertToFormat(QImage::Format_Mono, QList<QRgb>{kBlack, kWhite},
                                           Qt::ThresholdDither | Qt::AvoidDither);
    // The rows' padding is left as the allocator found it: zero it, so a file
    // says the same for the same picture.
    const int width = mono.width();
    for (int y = 0; y < mono.height(); ++y) {
        uchar* line = mono.scanLine(y);
        if (width % 8)
            line[width / 8] &= uchar(0xff << (8 - width % 8));
        std::fill(line + (width + 7) / 8, line + mono.bytesPerLine(), uchar(0));
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "bmp");
    if (!writer.write(mono))
        throw FileError(path, writer.errorString());
    writeWhole(path, bytes);
}

void Canvas::SaveWorkingBitmap() const
{
    if (workingPath_.isEmpty())
        return;
    const QString folder = QFileInfo(workingPath_).absolutePath();
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(QFile::encodeName(folder).toStdString()), ec);
    if (ec)
        throw FileError(folder, QString::fromLocal8Bit(ec.message()));
    save(workingPath_);
}

void Canvas::undo() { replacePicture(readPicture(workingPath_)); }

void Canvas::stampMask(const QImage& mask, QPoint pos, QSize controlSize)
{
    for (int y = 0; y <= controlSize.height(); ++y)
        for (int x = 0; x <= controlSize.width(); ++x)
            if (mask.valid(x, y) && mask.pixel(x, y) == kRed)
                setPixel(pos.x() + x, pos.y() + y, true);
}

namespace {
QFont aliased(const QFont& font)
{
    QFont f(font);
    f.setStyleStrategy(QFont::StyleStrategy(f.styleStrategy() | QFont::NoAntialias));
    return f;
}
} // namespace

QSize Canvas::textCellSize(const QString& text, const QFont& font)
{
    // Measured on a picture, as stamping paints, so point sizes match.
    static const QImage device(1, 1, QImage::Format_RGB32);
    const QFontMetrics metrics(aliased(font), &device);
    return {metrics.horizontalAdvance(text), metrics.height()};
}

void Canvas::stampText(const QString& text, const QFont& font, QPoint topLeft, BrushStyle brush)
{
    if (picture_.isNull())
        return;
    const QFont f = aliased(font);
    const QRect cell(topLeft, textCellSize(text, font));
    QPainter painter(&picture_);
    painter.setRenderHint(QPainter::TextAntialiasing, false);
    painter.setRenderHint(QPainter::Antialiasing, false);
    if (brush == BrushStyle::bsSolid)
        painter.fillRect(cell, QColor(Qt::white));
    painter.setLayoutDirection(text.isRightToLeft() ? Qt::RightToLeft : Qt::LeftToRight);
    painter.setFont(f);
    painter.setPen(QColor(Qt::black));
    painter.drawText(cell, Qt::AlignLeft | Qt::AlignAbsolute | Qt::AlignTop | Qt::TextSingleLine, text);
    painter.end();
    keepBlackAndWhite(picture_);
}

QImage CanvasHistory::pack(const QImage& picture)
{
    return picture.convertToFormat(QImage::Format_Mono, QList<QRgb>{kBlack, kWhite},
                                   Qt::ThresholdDither | Qt::AvoidDither);
}

QImage CanvasHistory::unpack(const QImage& packed) { return packed.convertToFormat(QImage::Format_RGB32); }

qsizetype CanvasHistory::bytes() const
{
    qsizetype n = 0;
    for (const auto* side : {&undo_, &redo_})
        for (const State& s : *side)
            n += s.picture.sizeInBytes();
    return n;
}

void CanvasHistory::trim(std::deque<State>& side)
{
    while (side.size() > std::size_t(kSteps))
        side.pop_front();
    qsizetype n = 0;
    for (const State& s : side)
        n += s.picture.sizeInBytes();
    while (side.size() > 1 && n > kBytes / 2) {
        n -= side.front().picture.sizeInBytes();
        side.pop_front();
    }
}

void CanvasHistory::recordChange(State before)
{
    before.picture = pack(before.picture);
    undo_.push_back(std::move(before));
    trim(undo_);
    redo_.clear();
}

std::optional<CanvasHistory::State> CanvasHistory::undo(State current)
{
    if (undo_.empty())
        return std::nullopt;
    State back = std::move(undo_.back());
    undo_.pop_back();
    current.picture = pack(current.picture);
    redo_.push_back(std::move(current));
    trim(redo_);
    back.picture = unpack(back.picture);
    return back;
}

std::optional<CanvasHistory::State> CanvasHistory::redo(State current)
{
    if (redo_.empty())
        return std::nullopt;
    State forward = std::move(redo_.back());
    redo_.pop_back();
    current.picture = pack(current.picture);
    undo_.push_back(std::move(current));
    trim(undo_);
    forward.picture = unpack(forward.picture);
    return forward;
}

} // namespace korvel::image
