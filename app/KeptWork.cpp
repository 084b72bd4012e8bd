// Work the operator must not lose: undo and redo of the canvas, the unsaved
// marks and the question before discarding, this window's own working bitmap
// with what the last session left unsaved, and the choices kept across restarts.
#include "MainWindow.h"

#include "CanvasWidget.h"
#include "Choices.h"
#include "Ui.h"
#include "UiSeams.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QLockFile>
#include <QRadioButton>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>

#include "image/Canvas.h"
#include "image/DateLayout.h"
#include "text/Direction.h"

using namespace korvel;

namespace {

const QString kPictureFilter = QStringLiteral("Bitmap files (*.bmp);;All files (*)");

QString unsavedMarkPath(const QString& workingBitmap) { return workingBitmap + QStringLiteral(".unsaved"); }

// The picture as it stands after the last change. The working bitmap holds the
// one before it (the undo checkpoint), so a lost session's last change lives here.
QString currentPicturePath(const QString& workingBitmap)
{
    const QFileInfo info(workingBitmap);
    return info.dir().filePath(info.completeBaseName() + QStringLiteral("-current.bmp"));
}

// Written whole (temporary file and rename) after each change and before the
// unsaved mark, so a mark never stands beside an older picture. A 1-bit
// 240 x 154 bitmap: cheap enough for the UI thread. A failure is told once.
void keepCurrentPicture(TForm1& form, bool& errorShown)
{
    const QString bitmap = form.canvas->workingBitmap();
    if (bitmap.isEmpty())
        return;
    try {
        form.canvas->save(currentPicturePath(bitmap));
    } catch (const image::FileError& e) {
        if (!std::exchange(errorShown, true))
            form.seams().error(&form, QStringLiteral(".تصویر کنونی در %1 نگه داشته نشد\n%2").arg(e.file(), e.reason()));
    }
}

} // namespace

// --- Undo and redo ---------------------------------------------------------

image::CanvasHistory::State TForm1::canvasState() const
{
    return {canvas->image(), canvasStateId_, CurrentFile, currentFileIsOurs_};
}

void TForm1::applyCanvasState(const image::CanvasHistory::State& state)
{
    canvas->setPicture(state.picture);
    canvasStateId_ = state.id;
    CurrentFile = state.file;
    currentFileIsOurs_ = state.fileIsOurs;
    refreshCanvas();
    keepCurrentPicture(*this, keepingErrorShown_);
    updateUnsavedMark();
}

void TForm1::beginCanvasChange()
{
    if (!pendingChange_)
        pendingChange_ = canvasState();
    SaveWorkingBitmap();
}

void TForm1::endCanvasChange()
{
    if (!pendingChange_)
        return;
    image::CanvasHistory::State before = std::move(*pendingChange_);
    pendingChange_.reset();
    refreshCanvas();
    if (before.picture == canvas->image() && before.file == CurrentFile)
        return;
    history_.recordChange(std::move(before));
    canvasStateId_ = ++lastStateId_;
    keepCurrentPicture(*this, keepingErrorShown_);
    updateUnsavedMark();
}

bool TForm1::changeCanvas(const std::function<void()>& edit)
{
    const bool done = guarded([&] {
        beginCanvasChange();
        edit();
    });
    endCanvasChange();
    return done;
}

void TForm1::Undo()
{
    if (Drawing)
        return; // the figure under way is not a step yet
    endCanvasChange();
    if (auto state = history_.undo(canvasState()))
        applyCanvasState(*state);
}

void TForm1::Redo()
{
    if (Drawing)
        return;
    endCanvasChange();
    if (auto state = history_.redo(canvasState()))
        applyCanvasState(*state);
}

// --- Unsaved work ------------------------------------------------------------

void TForm1::markDatesModified()
{
    if (restoringChoices_)
        return;
    datesModified_ = true;
    updateUnsavedMark();
}

// A mark beside the working bitmap while the picture has unsaved work: the next
// start finds it when this session ended without saving or discarding.
void TForm1::updateUnsavedMark()
{
    const QString bitmap = canvas->workingBitmap();
    const bool wanted = pictureModified();
    if (bitmap.isEmpty() || wanted == unsavedMarked_)
        return;
    QFile mark(unsavedMarkPath(bitmap));
    if (wanted ? mark.open(QIODevice::WriteOnly) : (mark.remove() || !mark.exists()))
        unsavedMarked_ = wanted;
}

bool TForm1::savePicture()
{
    if (CurrentFile.isEmpty())
        return savePictureAs();
    if (!currentFileIsOurs_) {
        // Only a bitmap is written over: another picture is offered a name of its own.
        const QFileInfo info(CurrentFile);
        return savePictureAs(info.dir().filePath(info.completeBaseName() + QStringLiteral(".bmp")));
    }
    if (!guarded([this] { canvas->save(CurrentFile); }))
        return false;
    savedStateId_ = canvasStateId_;
    datesModified_ = false;
    updateUnsavedMark();
    return true;
}

bool TForm1::savePictureAs(const QString& proposed)
{
    const QString file = seams().saveFileNameProposing(this, kPictureFilter, QStringLiteral("bmp"), proposed);
    if (file.isEmpty())
        return false;
    CurrentFile = file;
    currentFileIsOurs_ = true;
    return savePicture();
}

bool TForm1::confirmDiscardPicture()
{
    if (!pictureModified())
        return true;
    switch (seams().askToSave(this, QStringLiteral("؟تصویر تغییر کرده و ذخیره نشده است. ذخیره شود"))) {
    case UiSeams::SaveChoice::Save: return savePicture();
    case UiSeams::SaveChoice::Discard: return true;
    case UiSeams::SaveChoice::Cancel: return false;
    }
    return false;
}

bool TForm1::confirmDiscardMessage()
{
    if (!messageModified())
        return true;
    switch (seams().askToSave(this, QStringLiteral("؟پیام تغییر کرده و ذخیره نشده است. ذخیره شود"))) {
    case UiSeams::SaveChoice::Save: return saveMessage();
    case UiSeams::SaveChoice::Discard: return true;
    case UiSeams::SaveChoice::Cancel: return false;
    }
    return false;
}

void TForm1::closeEvent(QCloseEvent* event)
{
    if (!confirmDiscardPicture() || !confirmDiscardMessage()) {
        event->ignore();
        return;
    }
    keepMessageText();
    // Saved or given up: nothing for the next start to offer.
    if (!canvas->workingBitmap().isEmpty() && QFile::remove(unsavedMarkPath(canvas->workingBitmap())))
        unsavedMarked_ = false;
    if (!unsavedMarked_ && !canvas->workingBitmap().isEmpty())
        QFile::remove(currentPicturePath(canvas->workingBitmap()));
    QWidget::closeEvent(event);
}

// --- The working bitmap of this window ---------------------------------------

// korvel.bmp for the first running window, korvel-2.bmp ... for the next ones.
void TForm1::claimWorkingBitmap()
{
    const QString folder = image::workingFolder();
    if (!QDir().mkpath(folder))
        return; // the checkpoint reports the folder that cannot be made
    for (int n = 1; n <= 9; ++n) {
        const QString name = n == 1 ? QStringLiteral("korvel.bmp") : QStringLiteral("korvel-%1.bmp").arg(n);
        const QString path = QDir(folder).filePath(name);
        auto lock = std::make_unique<QLockFile>(path + QStringLiteral(".lock"));
        lock->setStaleLockTime(0); // only a lock of a running program counts
        if (lock->tryLock(0)) {
            workingLock_ = std::move(lock);
            canvas->setWorkingBitmap(path);
            return;
        }
    }
    canvas->setWorkingBitmap(QString());
    seams().message(this, QStringLiteral(".نه پنجره دیگر این برنامه باز است؛ این پنجره فایل کاری ندارد و بازگشت به تصویر قبلی در آن ذخیره نمی شود"));
}

void TForm1::setAsideUnsavedPicture()
{
    const QString bitmap = canvas->workingBitmap();
    if (bitmap.isEmpty())
        return;
    const QFileInfo info(bitmap);
    const QString current = currentPicturePath(bitmap);
    if (QFile::exists(unsavedMarkPath(bitmap))) {
        const QString kept = info.dir().filePath(info.completeBaseName() + QStringLiteral("-unsaved.bmp"));
        QFile::remove(kept);
        // The picture after the last change; the checkpoint when that session changed nothing.
        const QString last = QFile::exists(current) ? current : bitmap;
        if (QFile::exists(last) && QFile::rename(last, kept))
            workingBitmapKept = kept;
        QFile::remove(unsavedMarkPath(bitmap));
    }
    // This session keeps its own: nothing of an earlier one may stand for it.
    QFile::remove(current);
    const QString stumps = QFileInfo(current).fileName() + QStringLiteral(".??????"); // cut-off temporary files
    for (const QString& stump : info.dir().entryList({stumps}, QDir::Files | QDir::Hidden))
        QFile::remove(info.dir().filePath(stump));
}

void TForm1::offerUnsavedPicture()
{
    if (workingBitmapKept.isEmpty())
        return;
    QImage kept;
    try {
        kept = image::toBlackAndWhite(image::loadPicture(workingBitmapKept));
    } catch (const image::FileError&) {
        return; // nothing readable to offer; the file stays for the operator
    }
    bool blank = true;
    for (int y = 0; y < kept.height() && blank; ++y)
        for (int x = 0; x < kept.width() && blank; ++x)
            blank = kept.pixel(x, y) == qRgb(255, 255, 255);
    if (blank)
        return;
    if (seams().askYesNo(this, QStringLiteral("؟تصویر ذخیره نشده اجرای قبلی برنامه کنار گذاشته شد. بازگردانده شود")))
        changeCanvas([&] { canvas->setPicture(kept); });
}

// --- Choices ------------------------------------------------------------------

void TForm1::keepChoices()
{
    if (restoringChoices_ || !choices_)
        return;
    Choices& c = *choices_;
    c.set(QStringLiteral("dates/productionSolar"), Rradio_p_sh->isChecked() ? QStringLiteral("1") : QStringLiteral("0"), false);
    c.set(QStringLiteral("dates/expirySolar"), Rradio_e_sh->isChecked() ? QStringLiteral("1") : QStringLiteral("0"), false);
    c.set(QStringLiteral("dates/productionSize"), label_date_font->text(), false);
    c.set(QStringLiteral("dates/expirySize"), label_edate_font->text(), false);
    c.set(QStringLiteral("dates/expiryOffset"), label_expire->text(), false);
    c.set(QStringLiteral("image/slot"), QString::number(slotDigit()), false);
    c.set(QStringLiteral("overlay/font"), Label3->font().toString(), false);
    c.set(QStringLiteral("pen/style"), QString::number(int(canvas->penStyle())), false);
    c.set(QStringLiteral("pen/width"), PenSize->text(), false);
    c.set(QStringLiteral("text/direction"), QString::fromLatin1(text::directionName(textDirection)), false);
    if (c.isDirty() && !c.save() && !std::exchange(keepingErrorShown_, true))
        seams().error(this, QStringLiteral(".انتخاب ها در %1 نگه داشته نشد\n%2").arg(c.path(), c.error()));
}

void TForm1::connectChoices()
{
    for (QRadioButton* radio : {Rradio_p_sh, Rradio_e_sh})
        connect(radio, &QRadioButton::toggled, this, &TForm1::keepChoices);
    for (QRadioButton* radio : slotButtons)
        connect(radio, &QRadioButton::toggled, this, &TForm1::keepChoices);
    for (QToolButton* button : {SpeedButton19, SpeedButton33, SpeedButton34, SpeedButton35, Button154, Button159,
                                SolidPen, DashPen, DotPen, DashDotPen, DashDotDotPen, ClearPen, SpeedButton2})
        connect(button, &QToolButton::clicked, this, &TForm1::keepChoices);
    connect(PenSize, &QLineEdit::textChanged, this, &TForm1::keepChoices);
    connect(textDirectionGroup, &QButtonGroup::idClicked, this, &TForm1::keepChoices);
}

void TForm1::restoreChoices()
{
    const Choices& c = *choices_;
    restoringChoices_ = true;
    const auto digit = [&c](const char* key) -> std::optional<int> {
        const int d = c.intValue(QLatin1String(key), 0);
        return d >= 1 && d <= 8 ? std::optional<int>(d) : std::nullopt;
    };
    if (c.contains(QStringLiteral("dates/productionSolar")))
        (c.value(QStringLiteral("dates/productionSolar")) == QLatin1String("1") ? Rradio_p_sh : Rradio_p_m)->setChecked(true);
    if (c.contains(QStringLiteral("dates/expirySolar")))
        (c.value(QStringLiteral("dates/expirySolar")) == QLatin1String("1") ? Rradio_e_sh : Rradio_e_m)->setChecked(true);
    for (const bool expiry : {false, true}) {
        const auto d = digit(expiry ? "dates/expirySize" : "dates/productionSize");
        if (!d)
            continue;
        (expiry ? label_edate_font : label_date_font)->setNum(*d);
        for (int i = expiry ? 3 : 0, end = i + 3; i < end; ++i) {
            QFont font = dateLabels[size_t(i)]->font();
            font.setPointSize(image::fontPointSize(*d));
            dateLabels[size_t(i)]->setFont(font);
            dateLabels[size_t(i)]->adjustSize();
        }
    }
    bool ok = false;
    const int offset = c.value(QStringLiteral("dates/expiryOffset")).toInt(&ok);
    if (ok)
        label_expire->setNum(offset);
    const int slot = c.intValue(QStringLiteral("image/slot"), 0);
    if (slot >= 1 && slot <= 5)
        slotButtons[size_t(slot - 1)]->setChecked(true);
    QFont font;
    if (c.contains(QStringLiteral("overlay/font")) && font.fromString(c.value(QStringLiteral("overlay/font")))) {
        Label3->setFont(font);
        fontDialogFont_ = font;
        refreshOverlay();
    }
    const int style = c.intValue(QStringLiteral("pen/style"), -1);
    QToolButton* pens[] = {SolidPen, DashPen, DotPen, DashDotPen, DashDotDotPen, ClearPen};
    if (style >= 0 && style < 6) {
        pens[style]->setChecked(true);
        canvas->setPenStyle(image::PenStyle(style));
    }
    const int width = c.intValue(QStringLiteral("pen/width"), 0);
    if (width > 0)
        PenSize->setText(QString::number(width));
    if (const auto direction = text::directionNamed(c.value(QStringLiteral("text/direction")).toStdString()))
        setTextDirection(*direction);
    refreshDatePreviews();
    restoringChoices_ = false;
}
