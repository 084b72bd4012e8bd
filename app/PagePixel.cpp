// The pixel page: canvas, toolbars, logo, text overlay and on-screen keyboards.
#include "MainWindow.h"

#include "CanvasWidget.h"
#include "Ui.h"
#include "UiSeams.h"

#include <QButtonGroup>
#include <QFrame>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QTabWidget>
#include <QFile>
#include <QTimer>
#include <QToolButton>

#include <mutex>

#include "image/Canvas.h"
#include "image/Keyboards.h"
#include "image/Raster.h"
#include "printer/Conversation.h"
#include "printer/Protocol.h"

using namespace korvel;
using image::BrushStyle;
using image::DrawingTool;
using image::PenMode;
using image::PenStyle;

namespace {

// A key shows what it types; the non-joiner's long name takes two lines.
void setKeyText(QToolButton* button, const korvel::image::Key& key, bool capsOn)
{
    QString text = key.kind == korvel::image::KeyKind::Char && !key.caption.empty() && key.caption.size() == 1
                       ? fromU16(key.appends(capsOn))
                       : fromU16(key.caption).replace(QChar(korvel::image::kZwnj), QLatin1Char('\n'));
    button->setText(text.replace(QLatin1Char('&'), QStringLiteral("&&"))); // not a mnemonic
}


const QString kPictureFilter = QStringLiteral("Bitmap files (*.bmp);;All files (*)");

QToolButton* toolButton(QWidget* parent, const char* name, const char* icon, const QString& hint, int x, int y = 2,
                        int size = 64)
{
    return iconButton(parent, name, QRect(x, y, size, size), icon, hint);
}

QFont overlayDefaultFont()
{
    // A free Persian face in place of the design's "B Rose", at its size.
    QFont font;
    font.setFamilies({QStringLiteral("Noto Naskh Arabic"), QStringLiteral("Noto Sans Arabic"), QStringLiteral("DejaVu Sans")});
    font.setPointSize(18);
    return font;
}

// The mask as the operator sees it: white is left transparent.
QPixmap maskPixmap(const QImage& mask, QSize clip)
{
    QImage shown = mask.copy(QRect(QPoint(0, 0), clip)).convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < shown.height(); ++y)
        for (int x = 0; x < shown.width(); ++x)
            if (shown.pixel(x, y) != qRgb(255, 0, 0))
                shown.setPixel(x, y, qRgba(0, 0, 0, 0));
    return QPixmap::fromImage(shown);
}

} // namespace

bool TForm1::guarded(const std::function<void()>& body)
{
    try {
        body();
        return true;
    } catch (const image::FileError& e) {
        seams().error(this, QStringLiteral(".فایل «%1» قابل استفاده نیست\n%2").arg(e.file(), e.reason()));
    } catch (const std::exception& e) {
        seams().error(this, QString::fromLocal8Bit(e.what()));
    }
    return false;
}

void TForm1::buildPixelPage()
{
    canvas = std::make_unique<image::Canvas>();
    overlay_ = std::make_unique<image::OverlayText>();

    canvasHost = new QWidget(pagePixel);
    canvasHost->setObjectName(QStringLiteral("canvasHost"));
    canvasHost->setGeometry(8, 134, 800, 156);

    imagesend = new CanvasWidget(canvasHost);
    imagesend->setObjectName(QStringLiteral("imagesend"));
    imagesend->move(0, 0);
    imagesend->onMouseDown = [this](int x, int y) { FormMouseDown(x, y); };
    imagesend->onMouseMove = [this](int x, int y) { FormMouseMove(x, y); };
    imagesend->onMouseUp = [this](int x, int y) { FormMouseUp(x, y); };
    refreshCanvas();

    Image_load = new QLabel(canvasHost);
    Image_load->setObjectName(QStringLiteral("Image_load"));
    Image_load->move(300, 0);
    Image_load->resize(0, 0);
    image_logo = new QLabel(canvasHost);
    image_logo->setObjectName(QStringLiteral("image_logo"));
    image_logo->move(Image_load->pos());
    image_logo->resize(0, 0);
    image_logo->setAttribute(Qt::WA_TranslucentBackground);
    image_logo->installEventFilter(this);

    Label3 = new QLabel(canvasHost);
    Label3->setObjectName(QStringLiteral("Label3"));
    Label3->setTextFormat(Qt::PlainText); // typed "<b>" is text, as it is stamped
    Label3->setFont(overlayDefaultFont());
    Label3->setStyleSheet(QStringLiteral("color: rgb(255,0,0); background: transparent;"));
    Label3->setMouseTracking(true);
    Label3->installEventFilter(this);
    Label3->hide();
    refreshOverlay();

    label_send = new QLabel(pagePixel);
    label_send->setObjectName(QStringLiteral("label_send"));
    label_send->setGeometry(520, 138, 290, 64);
    label_send->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    label_send->setWordWrap(true);
    label_send->hide();
    status_send = new QProgressBar(pagePixel);
    status_send->setObjectName(QStringLiteral("status_send"));
    status_send->setGeometry(520, 204, 290, 20);
    status_send->setMaximum(240);
    status_send->hide();

    buildToolbars();
    buildDateFields();
    buildKeyboards();
    buildCodeTool();
    connect(Timer1, &QTimer::timeout, this, &TForm1::Timer1Timer);

    // Undo and redo keys, for the pixel page only: the text page's editor has its own.
    const auto pixelShortcut = [this](const QKeySequence& keys, void (TForm1::*slot)()) {
        auto* shortcut = new QShortcut(keys, this);
        connect(shortcut, &QShortcut::activated, this, [this, slot] {
            if (TabbedNotebook1->currentWidget() == pagePixel)
                (this->*slot)();
        });
    };
    pixelShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z), &TForm1::Undo);
    pixelShortcut(QKeySequence(Qt::CTRL | Qt::Key_Y), &TForm1::Redo);
    pixelShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), &TForm1::Redo);
}

void TForm1::buildToolbars()
{
    Panel1 = new QFrame(pagePixel);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setGeometry(4, 0, 1048, 66);
    int x = 2;
    auto next = [&x] { const int at = x; x += 66; return at; };
    SpeedButton1 = toolButton(Panel1, "SpeedButton1", "open", QStringLiteral("باز کردن تصویر"), next());
    SpeedButton3 = toolButton(Panel1, "SpeedButton3", "new", QStringLiteral("تصویر جدید"), next());
    SpeedButton4 = toolButton(Panel1, "SpeedButton4", "save", QStringLiteral("ذخیره"), next());
    SpeedButton5 = toolButton(Panel1, "SpeedButton5", "save-as", QStringLiteral("ذخیره با نام دیگر"), next());
    SpeedButton7 = toolButton(Panel1, "SpeedButton7", "logo", QStringLiteral("بارگذاری آرم"), next());
    SpeedButton6 = toolButton(Panel1, "SpeedButton6", "text-overlay", QStringLiteral("نوشتن متن"), next());
    SpeedButton2 = toolButton(Panel1, "SpeedButton2", "text-font", QStringLiteral("قلم متن"), next());
    connect(SpeedButton1, &QToolButton::clicked, this, &TForm1::SpeedButton1Click);
    connect(SpeedButton3, &QToolButton::clicked, this, &TForm1::SpeedButton3Click);
    connect(SpeedButton4, &QToolButton::clicked, this, &TForm1::SpeedButton4Click);
    connect(SpeedButton5, &QToolButton::clicked, this, &TForm1::SpeedButton5Click);
    connect(SpeedButton7, &QToolButton::clicked, this, &TForm1::SpeedButton7Click);
    connect(SpeedButton6, &QToolButton::clicked, this, &TForm1::SpeedButton6Click);
    connect(SpeedButton2, &QToolButton::clicked, this, &TForm1::SpeedButton2Click);
    const char* placingIcons[6] = {"p-year", "p-month", "p-day", "e-year", "e-month", "e-day"};
    const QString placingCaptions[6] = {QStringLiteral("سال تولید"), QStringLiteral("ماه تولید"), QStringLiteral("روز تولید"),
                                        QStringLiteral("سال انقضا"), QStringLiteral("ماه انقضا"), QStringLiteral("روز انقضا")};
    for (int i = 0; i < 6; ++i) {
        const QByteArray name = "SpeedButton" + QByteArray::number(8 + i);
        placingButtons[i] = toolButton(Panel1, name.constData(), placingIcons[i], placingCaptions[i], next());
        connect(placingButtons[i], &QToolButton::clicked, this, [this, i] { placeDateLabel(i); });
    }
    SpeedButton27 = toolButton(Panel1, "SpeedButton27", "store", QStringLiteral("ذخیره در دستگاه"), next());
    connect(SpeedButton27, &QToolButton::clicked, this, &TForm1::SpeedButton27Click);

    Panel2 = new QFrame(pagePixel);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    Panel2->setGeometry(4, 66, 1048, 66);
    x = 2;
    auto* penGroup = new QButtonGroup(this);
    struct PenButton { QToolButton** field; const char* name; const char* icon; PenStyle style; QString hint; };
    const PenButton pens[] = {
        {&SolidPen, "SolidPen", "pen-solid", PenStyle::psSolid, QStringLiteral("خط پیوسته")},
        {&DashPen, "DashPen", "pen-dash", PenStyle::psDash, QStringLiteral("خط تیره")},
        {&DotPen, "DotPen", "pen-dot", PenStyle::psDot, QStringLiteral("خط نقطه")},
        {&DashDotPen, "DashDotPen", "pen-dashdot", PenStyle::psDashDot, QStringLiteral("خط تیره نقطه")},
        {&DashDotDotPen, "DashDotDotPen", "pen-dashdotdot", PenStyle::psDashDotDot, QStringLiteral("خط تیره دو نقطه")},
        {&ClearPen, "ClearPen", "pen-clear", PenStyle::psClear, QStringLiteral("بدون خط")},
    };
    for (const PenButton& pen : pens) {
        QToolButton* button = toolButton(Panel2, pen.name, pen.icon, pen.hint, next());
        button->setCheckable(true);
        penGroup->addButton(button);
        *pen.field = button;
        connect(button, &QToolButton::clicked, this, [this, style = pen.style] { canvas->setPenStyle(style); });
    }
    SolidPen->setChecked(true);

    PenSize = new QLineEdit(QStringLiteral("1"), Panel2);
    PenSize->setObjectName(QStringLiteral("PenSize"));
    PenSize->setGeometry(x, 18, 36, 30);
    PenSize->setAlignment(Qt::AlignCenter);
    connect(PenSize, &QLineEdit::textChanged, this, &TForm1::PenSizeChange);
    Button140 = toolButton(Panel2, "Button140", nullptr, QString(), x + 38, 2, 32);
    Button140->setText(QStringLiteral("+"));
    Button142 = toolButton(Panel2, "Button142", nullptr, QString(), x + 38, 34, 32);
    Button142->setText(QStringLiteral("-"));
    connect(Button140, &QToolButton::clicked, this, &TForm1::Button140Click);
    connect(Button142, &QToolButton::clicked, this, &TForm1::Button142Click);
    x += 76;

    // Brush styles and tools share one group: one of the six shows pressed.
    auto* toolGroup = new QButtonGroup(this);
    struct ToolButtonSpec { QToolButton** field; const char* name; const char* icon; QString hint; std::function<void()> click; };
    const ToolButtonSpec tools[] = {
        {&SolidBrush, "SolidBrush", "brush-solid", QStringLiteral("زمینه سفید"), [this] { canvas->setBrushStyle(BrushStyle::bsSolid); }},
        {&ClearBrush, "ClearBrush", "brush-clear", QStringLiteral("بدون زمینه"), [this] { canvas->setBrushStyle(BrushStyle::bsClear); }},
        {&LineButton, "LineButton", "tool-line", QStringLiteral("خط"), [this] { TextPlacing = false; guarded([this] { DismissTextOverlay(); }); canvas->setDrawingTool(DrawingTool::dtLine); }},
        {&RectangleButton, "RectangleButton", "tool-rect", QStringLiteral("مستطیل"), [this] { TextPlacing = false; guarded([this] { DismissTextOverlay(); }); canvas->setDrawingTool(DrawingTool::dtRectangle); }},
        {&EllipseButton, "EllipseButton", "tool-ellipse", QStringLiteral("بیضی"), [this] { TextPlacing = false; guarded([this] { DismissTextOverlay(); }); canvas->setDrawingTool(DrawingTool::dtEllipse); }},
        {&RoundRectButton, "RoundRectButton", "tool-roundrect", QStringLiteral("مستطیل با گوشه گرد"), [this] { TextPlacing = false; guarded([this] { DismissTextOverlay(); }); canvas->setDrawingTool(DrawingTool::dtRoundRect); }},
    };
    for (const ToolButtonSpec& tool : tools) {
        QToolButton* button = toolButton(Panel2, tool.name, tool.icon, tool.hint, next());
        button->setCheckable(true);
        toolGroup->addButton(button);
        *tool.field = button;
        connect(button, &QToolButton::clicked, this, tool.click);
    }
    SolidBrush->setChecked(true);

    SpeedButton26 = toolButton(Panel2, "SpeedButton26", "send-picture", QStringLiteral("ارسال تصویر به چاپگر"), next());
    connect(SpeedButton26, &QToolButton::clicked, this, &TForm1::SpeedButton26Click);
}

void TForm1::buildKeyboards()
{
    auto build = [this](image::Keyboard id) {
        const image::KeyboardLayout& layout = image::keyboardLayout(id);
        auto* panel = new QFrame(pagePixel);
        panel->setObjectName(QString::fromStdString(layout.objectName));
        panel->setGeometry(8, 291, image::kKeyboardWidth, image::kKeyboardHeight);
        panel->setFrameShape(QFrame::StyledPanel);
        panel->setAutoFillBackground(true);
        int y = 3;
        for (const auto& row : layout.rows) {
            int x = 3;
            for (const image::Key& key : row) {
                auto* button = new QToolButton(panel);
                if (!key.objectName.empty())
                    button->setObjectName(QString::fromStdString(key.objectName));
                button->setGeometry(x, y, key.width, image::kKeyHeight);
                x += key.width + 1;
                if (key.picture) {
                    const char* icon = key.kind == image::KeyKind::Commit     ? "commit"
                                       : key.kind == image::KeyKind::NudgeUp   ? "arrow-up"
                                       : key.kind == image::KeyKind::NudgeDown ? "arrow-down"
                                       : key.kind == image::KeyKind::NudgeLeft ? "arrow-left"
                                                                              : "arrow-right";
                    button->setIcon(korvelIcon(icon));
                    button->setIconSize(QSize(36, 36));
                } else {
                    setKeyText(button, key, CapsOn);
                }
                button->setEnabled(key.kind != image::KeyKind::NoAction);
                button->setCheckable(key.kind == image::KeyKind::Caps);
                button->setProperty("keyCaption", fromU16(key.caption));
                if (!key.picture)
                    button->setProperty("key", QVariant::fromValue(static_cast<const void*>(&key)));
                const image::Key* k = &key;
                int dx = 0, dy = 0;
                switch (key.kind) {
                case image::KeyKind::NudgeRight: dx = 1; break;
                case image::KeyKind::NudgeLeft: dx = -1; break;
                case image::KeyKind::NudgeDown: dy = 1; break;
                case image::KeyKind::NudgeUp: dy = -1; break;
                default: break;
                }
                if (dx || dy) {
                    // One pixel on the press, ten more when the click completes.
                    connect(button, &QToolButton::pressed, this, [this, dx, dy] { nudgeOverlay(dx, dy); });
                    connect(button, &QToolButton::clicked, this, [this, dx, dy] { nudgeOverlay(10 * dx, 10 * dy); });
                } else if (key.kind == image::KeyKind::Caps) {
                    connect(button, &QToolButton::clicked, this, [this, id, k, panel, button] {
                        keyClicked(id, *k);
                        button->setChecked(CapsOn);
                        // The letters show the case they type.
                        for (auto* other : panel->findChildren<QToolButton*>())
                            if (const auto* shown = static_cast<const image::Key*>(other->property("key").value<const void*>()))
                                setKeyText(other, *shown, CapsOn);
                    });
                } else {
                    connect(button, &QToolButton::clicked, this, [this, id, k] { keyClicked(id, *k); });
                }
            }
            y += image::kKeyHeight + 4;
        }
        return panel;
    };
    panel_english = build(image::Keyboard::English);
    panel_farsi = build(image::Keyboard::Persian);
    panel_farsi->raise(); // the Persian keyboard lies on top at start
}

void TForm1::refreshCanvas()
{
    imagesend->setPicture(canvas->image());
}

void TForm1::refreshOverlay()
{
    Label3->setText(fromU16(overlay_->caption()));
    Label3->adjustSize();
    Label3->setMinimumHeight(QFontMetrics(Label3->font()).height());
    Label3->resize(Label3->sizeHint().expandedTo(QSize(1, QFontMetrics(Label3->font()).height())));
}

void TForm1::SaveWorkingBitmap()
{
    canvas->SaveWorkingBitmap();
}

void TForm1::RemoveCaret()
{
    overlay_->removeCaret();
    refreshOverlay();
}

void TForm1::DismissTextOverlay()
{
    SaveWorkingBitmap();
    hideTextOverlay();
}

void TForm1::hideTextOverlay()
{
    RemoveCaret();
    Timer1->stop();
    Label3->hide();
}

bool TForm1::StampOverlayText()
{
    RemoveCaret();
    return changeCanvas([this] {
        canvas->stampText(fromU16(overlay_->text), Label3->font(), Label3->pos(), canvas->brushStyle());
    });
}

void TForm1::FormMouseDown(int x, int y)
{
    if (TextPlacing) {
        Label3->move(x, y);
        return;
    }
    Drawing = true;
    Origin = MovePt = QPoint(x, y);
    // The undo step and the checkpoint come before anything is drawn.
    if (guarded([this] { beginCanvasChange(); }))
        hideTextOverlay();
}

void TForm1::FormMouseMove(int x, int y)
{
    if (!Drawing)
        return;
    canvas->DrawShape(Origin, MovePt, PenMode::pmNotXor);
    MovePt = QPoint(x, y);
    canvas->DrawShape(Origin, MovePt, PenMode::pmNotXor);
    refreshCanvas();
}

void TForm1::FormMouseUp(int x, int y)
{
    if (!Drawing)
        return;
    canvas->DrawShape(Origin, QPoint(x, y), PenMode::pmCopy);
    Drawing = false;
    endCanvasChange();
}

// The pen width as typed; a text that is no number is reported and gives nothing.
std::optional<int> TForm1::penSizeValue()
{
    bool ok = false;
    const int n = PenSize->text().toInt(&ok);
    if (!ok) {
        seams().error(this, QStringLiteral("'%1' is not a valid integer value").arg(PenSize->text()));
        return std::nullopt;
    }
    return n;
}

void TForm1::PenSizeChange()
{
    if (const auto width = penSizeValue())
        canvas->setPenWidth(*width);
}

void TForm1::Button140Click()
{
    if (const auto n = penSizeValue())
        PenSize->setText(QString::number(image::penSizeUp(*n)));
}

void TForm1::Button142Click()
{
    if (const auto n = penSizeValue())
        PenSize->setText(QString::number(image::penSizeDown(*n)));
}

void TForm1::SpeedButton1Click()
{
    if (!confirmDiscardPicture())
        return;
    const QString file = seams().openFileName(this, kPictureFilter);
    if (file.isEmpty())
        return;
    // Throws and keeps the picture when it cannot be read; nullopt when the operator cancels.
    std::optional<QImage> picture;
    guarded([&] { picture = convertedPicture(image::loadPicture(file)); });
    if (!picture)
        return;
    const bool opened = changeCanvas([&] {
        canvas->SaveStyles();
        canvas->replacePicture(*picture);
        canvas->RestoreStyles();
        CurrentFile = file;
        currentFileIsOurs_ = image::isOneBitBitmap(file);
    });
    if (opened) {
        savedStateId_ = canvasStateId_;
        datesModified_ = false;
        updateUnsavedMark();
    }
}

void TForm1::SpeedButton4Click()
{
    savePicture();
}

void TForm1::SpeedButton5Click()
{
    savePictureAs();
}

void TForm1::SpeedButton3Click()
{
    if (!confirmDiscardPicture())
        return;
    for (QLabel* label : dateLabels) {
        QFont font = label->font();
        font.setPointSize(30);
        label->setFont(font);
        label->adjustSize();
    }
    label_date_font->setText(QStringLiteral("3"));
    label_edate_font->setText(QStringLiteral("3"));
    // The checkpoint holds the canvas from before New, so Undo brings it back.
    if (!changeCanvas([this] {
            CurrentFile.clear();
            currentFileIsOurs_ = false;
            canvas->newCanvas();
        }))
        return;
    image_logo->move(Image_load->pos());
    Label3->move(0, 0);
    overlay_->del();
    refreshOverlay();
    TextPlacing = false;
    hideTextOverlay();
    for (QLabel* label : dateLabels) {
        label->move(251, 251);
        label->hide();
    }
    setpos(); // "J" and "V" send the fields as they now are: parked
    savedStateId_ = canvasStateId_;
    datesModified_ = false;
    updateUnsavedMark();
    keepChoices(); // the sizes went back to "3"
}

void TForm1::SpeedButton7Click()
{
    const QString file = seams().openFileName(this, kPictureFilter);
    if (!file.isEmpty())
        guarded([&] {
            const std::optional<QImage> picture = convertedPicture(image::loadPicture(file));
            if (!picture)
                return;
            Image_load->setPixmap(QPixmap::fromImage(*picture));
            Image_load->resize(picture->size());
        });
    const QPixmap preview = Image_load->pixmap();
    logoMask_ = image::logoMask(preview.isNull() ? QImage() : preview.toImage());
    const QSize clip = image::logoClipSize(logoMask_.size());
    image_logo->setPixmap(logoMask_.isNull() ? QPixmap() : maskPixmap(logoMask_, clip));
    image_logo->resize(clip);
    image_logo->move(Image_load->pos());
    image_logo->raise();
}

void TForm1::logoMouse(QEvent* event)
{
    auto* mouse = static_cast<QMouseEvent*>(event);
    switch (event->type()) {
    case QEvent::MouseButtonPress:
        DraggingLogo = true;
        break;
    case QEvent::MouseMove:
        if (DraggingLogo) {
            const QPoint p = mouse->position().toPoint();
            image_logo->move(image_logo->x() + p.x() - image_logo->width() / 2,
                             image_logo->y() + p.y() - image_logo->height() / 2);
        }
        break;
    case QEvent::MouseButtonRelease:
        DraggingLogo = false;
        break;
    case QEvent::MouseButtonDblClick:
        changeCanvas([this] { canvas->stampMask(logoMask_, image_logo->pos() - imagesend->pos(), image_logo->size()); });
        image_logo->move(Image_load->pos());
        break;
    default:
        break;
    }
}

void TForm1::SpeedButton6Click()
{
    if (!Label3->isHidden()) {
        TextPlacing = false;
        Label3->hide();
        return;
    }
    TextPlacing = true;
    Timer1->start();
    Label3->show();
    Label3->raise();
    image_logo->move(Image_load->pos());
    Label3->move(0, 0);
    overlay_->del();
    refreshOverlay();
}

void TForm1::SpeedButton2Click()
{
    bool confirmed = false;
    const QFont font = seams().fontDialog(this, fontDialogFont_, &confirmed);
    if (!confirmed)
        return; // a font only browsed to is not chosen
    fontDialogFont_ = font;
    Label3->setFont(font);
    refreshOverlay();
}

void TForm1::Timer1Timer()
{
    overlay_->tick();
    CaretOn = overlay_->caretShown;
    refreshOverlay();
}

void TForm1::overlayMouse(QEvent* event)
{
    auto* mouse = static_cast<QMouseEvent*>(event);
    switch (event->type()) {
    case QEvent::MouseButtonPress:
        RemoveCaret();
        DraggingText = true;
        break;
    case QEvent::MouseMove:
        RemoveCaret();
        if (DraggingText) {
            const QPoint p = mouse->position().toPoint();
            Label3->move(Label3->x() + p.x() - Label3->width() / 2, Label3->y() + p.y() - Label3->height() / 2);
        }
        break;
    case QEvent::MouseButtonRelease:
        RemoveCaret();
        DraggingText = false;
        break;
    case QEvent::MouseButtonDblClick:
        StampOverlayText();
        break;
    default:
        break;
    }
}

void TForm1::nudgeOverlay(int dx, int dy)
{
    Label3->move(Label3->x() + dx, Label3->y() + dy);
}

void TForm1::commitOverlay()
{
    if (!StampOverlayText())
        return;
    overlay_->del();
    refreshOverlay();
    const int height = Label3->height();
    if (Label3->y() + height < 154)
        Label3->move(Label3->x(), Label3->y() + height);
}

void TForm1::keyClicked(image::Keyboard keyboard, const image::Key& key)
{
    switch (key.kind) {
    case image::KeyKind::SwitchKeyboard:
        if (keyboard == image::Keyboard::English) {
            panel_english->hide();
            panel_farsi->show();
            panel_farsi->raise();
        } else {
            panel_english->show();
            panel_english->raise();
            panel_farsi->hide();
        }
        return;
    case image::KeyKind::Undo:
        Undo();
        return;
    case image::KeyKind::Commit:
        commitOverlay();
        return;
    default:
        break;
    }
    image::applyEditKey(key, *overlay_, CapsOn);
    refreshOverlay();
}

int TForm1::slotDigit() const
{
    for (int i = 0; i < 5; ++i)
        if (slotButtons[i]->isChecked())
            return i + 1;
    return 0;
}

QString TForm1::writeTraceFile(const std::vector<int>& values)
{
    // Written whole, but without waiting for the disk: it is a trace, not a document.
    // The UI thread rasterises while the conversation's thread ends an upload.
    static std::mutex one;
    std::lock_guard lock(one);
    QFile trace(QStringLiteral("test2.txt"));
    const std::string text = image::traceFileText(values);
    if (!trace.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        trace.write(text.data(), qint64(text.size())) != qint64(text.size()) || !trace.flush())
        return trace.errorString();
    return {};
}

void TForm1::setpic()
{
    // A bar on show belongs to the line's work (a picture crossing, a save): a press
    // meanwhile only rasterises, so the bar keeps telling what the printer has.
    const bool barFree = status_send->isHidden();
    if (barFree) {
        label_send->show();
        status_send->show();
        status_send->setMaximum(240);
    }
    const std::vector<int> values = canvas->rasterise();
    std::copy(values.begin(), values.end(), columnBuffer.begin());
    if (barFree)
        status_send->setValue(std::min(canvas->width(), 240) - 1);
    if (const QString error = writeTraceFile(values); !error.isEmpty())
        throw image::FileError(QStringLiteral("test2.txt"), error);
    Edit2->setText(QStringLiteral("fyv"));
    if (barFree) {
        label_send->hide();
        status_send->hide();
    }
}

void TForm1::SpeedButton26Click()
{
    if (!ensureConnected())
        return;
    if (!guarded([this] { setpic(); }))
        return;
    // The picture of this press travels with its request: a later press cannot change it.
    const std::vector<int> values(columnBuffer.begin(), columnBuffer.begin() + image::kValues);
    printer::Command command;
    command.request = printer::sendPictureJob();
    command.stream = printer::imageUploadJob(std::vector<std::int32_t>(values.begin(), values.end()));
    command.awaited = '(';
    command.columnProgress = true;
    command.written = [values](const printer::JobResult& r) {
        if (r.ok && r.jobName == "image upload")
            writeTraceFile(values);
    };
    conversation->submit(std::move(command));
}

void TForm1::SpeedButton27Click()
{
    if (!ensureConnected())
        return;
    if (const int slot = slotDigit())
        submitJob(printer::storePictureJob(slot));
}

void TForm1::Button141Click()
{
    if (!ensureConnected())
        return;
    if (const int slot = slotDigit())
        submitJob(printer::imageSequenceJob(slot));
}
