#pragma once
// The pixel page's picture: a black-and-white bitmap with the drawing
// attributes of a paint canvas, the picture files and the working bitmap.
#include <QFont>
#include <QImage>
#include <QPoint>
#include <QSize>
#include <QString>

#include <deque>
#include <optional>
#include <stdexcept>
#include <vector>

namespace korvel::image {

enum class PenStyle { psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear };
enum class PenMode { pmCopy, pmNotXor };
enum class BrushStyle { bsSolid, bsClear };
enum class DrawingTool { dtLine, dtRectangle, dtEllipse, dtRoundRect };

// A file that could not be read or written: which one, and the system's reason.
class FileError : public std::runtime_error {
public:
    FileError(const QString& file, const QString& reason);
    const QString& file() const { return file_; }
    const QString& reason() const { return reason_; }

private:
    QString file_, reason_;
};

// The largest picture side Open and Load logo accept.
constexpr int kMaxPictureSide = 4096;
// A picture file as it is, for the logo preview. Throws FileError when it
// cannot be read or is larger than kMaxPictureSide on a side.
QImage loadPicture(const QString& path);

// A Windows bitmap of 1 bit per pixel: the only kind Save writes over.
bool isOneBitBitmap(const QString& path);

// $KORVEL_WORKDIR if set, else ~/korvel.
QString workingFolder();
// korvel.bmp in the working folder.
QString workingBitmapPath();

// Any picture as pure black and white: black where its luminance (over
// white, for transparent pixels) is below half.
QImage toBlackAndWhite(const QImage& picture);

// Any picture's 5,280 values as the printer reads it: a pixel is black only
// when it is opaque RGB 0, 0, 0.
std::vector<int> rasteriseImage(const QImage& picture);

// The logo's mask: the preview's size, pure red where the preview is pure
// opaque black, white elsewhere.
QImage logoMask(const QImage& preview);
// The part of a mask the mask control shows: at most 240 x 154.
QSize logoClipSize(QSize maskSize);

// Pen width buttons: 1 -> 2 ... 9 -> 1, and back; any other number -> 1 / 9.
inline int penSizeUp(int n) { return n + 1 < 10 ? n + 1 : 1; }
inline int penSizeDown(int n) { return n - 1 > 0 ? n - 1 : 9; }

class Canvas {
public:
    Canvas(); // 240 x 154, white

    QImage image() const { return picture_; } // Format_RGB32, only black and white
    int width() const { return picture_.width(); }
    int height() const { return picture_.height(); }
    bool isBlack(int x, int y) const; // false outside the picture
    void setPixel(int x, int y, bool black); // outside skipped
    std::vector<int> rasterise() const; // the printer's 5,280 values

    PenStyle penStyle() const { return penStyle_; }
    void setPenStyle(PenStyle style) { penStyle_ = style; }
    int penWidth() const { return penWidth_; }
    void setPenWidth(int width) { penWidth_ = width < 0 ? 0 : width; }
    PenMode penMode() const { return penMode_; }
    void setPenMode(PenMode mode) { penMode_ = mode; }
    BrushStyle brushStyle() const { return brushStyle_; }
    void setBrushStyle(BrushStyle style) { brushStyle_ = style; }
    DrawingTool drawingTool() const { return tool_; }
    void setDrawingTool(DrawingTool tool) { tool_ = tool; }

    // One figure of the current tool between the two points, as given (not
    // sorted), in the given mode, which stays the pen mode afterwards. Aliased:
    // a figure drawn twice in pmNotXor leaves every pixel as it was.
    void DrawShape(QPoint topLeft, QPoint bottomRight, PenMode mode);

    // A fresh white 240 x 154 picture, whatever the size before; attributes stay.
    void newCanvas();

    void SaveStyles();
    void RestoreStyles();

    // A new picture (made black and white) with fresh attributes: solid pen of
    // width 1 in pmCopy, solid brush. The tool stays.
    void replacePicture(const QImage& picture);

    // Open: any format Qt reads, kept across by SaveStyles/RestoreStyles.
    // Throws FileError and leaves the canvas unchanged when it cannot be read.
    void load(const QString& path);
    // A 1-bit Windows bitmap, written to a temporary file that replaces the
    // target only when complete. Throws FileError.
    void save(const QString& path) const;

    // The checkpoint: creates the working folder if needed. Throws FileError.
    // An empty path (no working bitmap of our own) writes nothing.
    void SaveWorkingBitmap() const;
    const QString& workingBitmap() const { return workingPath_; }
    void setWorkingBitmap(const QString& path) { workingPath_ = path; }
    // Another picture of the same kind (black and white) in place of this one;
    // the drawing attributes stay as chosen.
    void setPicture(const QImage& picture);
    // Back to the checkpoint, with fresh attributes. Throws FileError.
    void undo();

    // Stamps a logo mask with its top-left at pos: within the control's size
    // (both bounds inclusive, as the control's pixels were counted), pure red
    // mask pixels turn the canvas black; the rest and the outside are skipped.
    void stampMask(const QImage& mask, QPoint pos, QSize controlSize);

    // Text as a label shows it (shaped, in its natural direction), aliased,
    // in black, top-left at topLeft; bsSolid first whitens the text's cell.
    void stampText(const QString& text, const QFont& font, QPoint topLeft, BrushStyle brush);
    // The cell stampText fills: the text's advance by the font's line height.
    static QSize textCellSize(const QString& text, const QFont& font);

private:
    void resetAttributes();
    void drawThinLine(QPoint from, QPoint to, PenMode mode);

    QImage picture_;
    QString workingPath_;
    PenStyle penStyle_ = PenStyle::psSolid;
    int penWidth_ = 1;
    PenMode penMode_ = PenMode::pmCopy;
    BrushStyle brushStyle_ = BrushStyle::bsSolid;
    DrawingTool tool_ = DrawingTool::dtLine;

    BrushStyle savedBrushStyle_ = BrushStyle::bsSolid;
    PenStyle savedPenStyle_ = PenStyle::psSolid;
    int savedPenWidth_ = 0;
};

// The canvas's earlier and undone states, 1 bit per pixel. Holds kSteps
// states each way, fewer only when pictures are so large that kBytes would be
// passed; the oldest go first.
class CanvasHistory {
public:
    static constexpr int kSteps = 64;
    static constexpr qsizetype kBytes = 8 * 1024 * 1024;

    // A state of the canvas: its picture and the file it belongs to.
    struct State {
        QImage picture;      // packed (Format_Mono) while in the history
        quint64 id = 0;      // tells states apart; equal ids are equal states
        QString file;
        bool fileIsOurs = false; // a 1-bit bitmap Save may write over
    };

    static QImage pack(const QImage& picture);   // black and white -> 1 bit
    static QImage unpack(const QImage& packed);  // -> Format_RGB32

    // The state before a change; clears what was undone.
    void recordChange(State before);
    // current goes onto the other side; nullopt when there is nothing.
    std::optional<State> undo(State current);
    std::optional<State> redo(State current);
    int undoSteps() const { return int(undo_.size()); }
    int redoSteps() const { return int(redo_.size()); }
    qsizetype bytes() const;

private:
    static void trim(std::deque<State>& side);
    std::deque<State> undo_, redo_;
};

// Writes into a temporary file beside the target and renames it over the
// target only once every byte is on disk. Throws FileError.
void writeWhole(const QString& path, const QByteArray& bytes);

} // namespace korvel::image
