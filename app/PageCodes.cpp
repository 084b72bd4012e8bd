// The code tool of the pixel page, and the date-field warning it brings.
#include "CodeTool.h"

#include "CanvasWidget.h"
#include "MainWindow.h"
#include "PictureDialog.h"
#include "Ui.h"
#include "UiSeams.h"

#include <QComboBox>
#include <QFrame>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPixmap>
#include <QSpinBox>
#include <QToolButton>

#include "image/Canvas.h"
#include "image/Keyboards.h"

using namespace korvel;

namespace {
const QString kDateOverCode = QStringLiteral(".فیلد تاریخ روی کد قرار گرفته است؛ تاریخی که چاپگر می‌نویسد کد را خراب می‌کند");
const QString kCodeOutside = QStringLiteral(".کد باید با حاشیه سفیدش کامل درون تصویر باشد");
} // namespace

void CodeOverlay::mousePressEvent(QMouseEvent* event)
{
    dragging_ = true;
    event->accept();
}

void CodeOverlay::mouseMoveEvent(QMouseEvent* event)
{
    if (!dragging_)
        return;
    // Centred on the pointer, as the text overlay is.
    const QPoint p = event->position().toPoint();
    emit dragged(QPoint(p.x() - width() / 2, p.y() - height() / 2));
}

void CodeOverlay::mouseReleaseEvent(QMouseEvent*) { dragging_ = false; }

void CodeOverlay::mouseDoubleClickEvent(QMouseEvent*) { emit doubleClicked(); }

CodeTool::CodeTool(TForm1& form) : QObject(&form), form_(form)
{
    button = iconButton(form.Panel1, "SpeedButtonCode", QRect(2 + 14 * 66, 2, 64, 64), "code", QStringLiteral("بارکد و کد دوبعدی"));
    connect(button, &QToolButton::clicked, this, &CodeTool::toggle);
    // The text overlay needs the keyboards this panel covers.
    connect(form.SpeedButton6, &QToolButton::clicked, this, [this] {
        if (panel->isVisible())
            toggle();
    });

    panel = new QFrame(form.pagePixel);
    panel->setObjectName(QStringLiteral("panel_code"));
    panel->setGeometry(8, 291, image::kKeyboardWidth, image::kKeyboardHeight);
    panel->setFrameShape(QFrame::StyledPanel);
    panel->setAutoFillBackground(true);
    panel->hide();

    auto label = [this](const QString& text, QRect at) {
        auto* l = new QLabel(text, panel);
        l->setGeometry(at);
        l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        return l;
    };
    label(QStringLiteral("نوع کد"), QRect(640, 12, 120, 32));
    symbology = new QComboBox(panel);
    symbology->setObjectName(QStringLiteral("codeSymbology"));
    symbology->setGeometry(440, 12, 190, 32);
    for (const image::SymbologyName& n : image::symbologyNames())
        symbology->addItem(QString::fromUtf8(n.caption), int(n.symbology));
    label(QStringLiteral("داده"), QRect(640, 52, 120, 32));
    data = new QLineEdit(panel);
    data->setObjectName(QStringLiteral("codeData"));
    data->setGeometry(12, 52, 618, 32);
    data->setLayoutDirection(Qt::LeftToRight);
    data->setPlaceholderText(QStringLiteral("(01)09501101530003(17)260101(10)AB12"));
    label(QStringLiteral("اندازه ماژول (نقطه)"), QRect(230, 12, 200, 32));
    module = new QSpinBox(panel);
    module->setObjectName(QStringLiteral("codeModule"));
    module->setGeometry(160, 12, 64, 32);
    module->setRange(image::kMinModule, image::kMaxModule);
    module->setValue(2);

    status = new QLabel(panel);
    status->setObjectName(QStringLiteral("codeStatus"));
    status->setGeometry(12, 92, 748, 56);
    status->setWordWrap(true);
    status->setAlignment(Qt::AlignRight | Qt::AlignTop);

    struct Nudge { const char* name; const char* icon; int dx, dy; int x, y; };
    const Nudge nudges[] = {{"codeUp", "arrow-up", 0, -1, 60, 156}, {"codeLeft", "arrow-left", -1, 0, 12, 196},
                            {"codeDown", "arrow-down", 0, 1, 60, 196}, {"codeRight", "arrow-right", 1, 0, 108, 196}};
    for (const Nudge& n : nudges) {
        QToolButton* b = iconButton(panel, n.name, QRect(n.x, n.y, 44, 38), n.icon, QString(), false);
        // One pixel a press, as the text overlay's arrows move it.
        connect(b, &QToolButton::clicked, this, [this, dx = n.dx, dy = n.dy] { nudge(dx, dy); });
    }
    commitButton = iconButton(panel, "codeCommit", QRect(180, 156, 80, 78), "commit", QStringLiteral("چاپ کد روی تصویر"), false);
    connect(commitButton, &QToolButton::clicked, this, [this] { commit(); });

    overlay = new CodeOverlay(form.canvasHost);
    overlay->setObjectName(QStringLiteral("codeOverlay"));
    overlay->setAttribute(Qt::WA_TranslucentBackground);
    overlay->hide();
    connect(overlay, &CodeOverlay::dragged, this, [this](QPoint delta) { moveTo(at_ + delta); });
    connect(overlay, &CodeOverlay::doubleClicked, this, [this] { commit(); });

    connect(symbology, &QComboBox::currentIndexChanged, this, &CodeTool::remake);
    connect(data, &QLineEdit::textChanged, this, &CodeTool::remake);
    connect(module, &QSpinBox::valueChanged, this, &CodeTool::remake);
}

image::Symbology CodeTool::chosen() const { return image::Symbology(symbology->currentData().toInt()); }

void CodeTool::toggle()
{
    if (panel->isVisible()) {
        panel->hide();
        overlay->hide();
        return;
    }
    panel->show();
    panel->raise();
    remake();
}

void CodeTool::remake()
{
    const QByteArray utf8 = data->text().toUtf8();
    outcome_ = image::makeCode(chosen(), std::string_view(utf8.constData(), std::size_t(utf8.size())), module->value());
    if (outcome_.kind != image::CodeOutcome::Kind::Made) {
        overlay->hide();
        status->setText(utf8.isEmpty() ? QString() : QString::fromStdString(image::codeRefusalMessage(outcome_)));
        return;
    }
    const image::CodePicture& p = outcome_.picture;
    QImage shown(p.width, p.height, QImage::Format_ARGB32);
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x)
            shown.setPixel(x, y, p.black(x, y) ? qRgba(255, 0, 0, 255) : qRgba(255, 255, 255, 150));
    overlay->setPixmap(QPixmap::fromImage(shown));
    overlay->resize(p.width, p.height);
    status->setText(QStringLiteral("%1 × %2 نقطه، با حاشیه سفید").arg(p.width).arg(p.height));
    if (panel->isVisible()) {
        overlay->show();
        overlay->raise();
    }
    moveTo(at_);
}

void CodeTool::moveTo(QPoint topLeft)
{
    at_ = topLeft;
    overlay->move(form_.imagesend->pos() + at_);
}

void CodeTool::nudge(int dx, int dy) { moveTo(at_ + QPoint(dx, dy)); }

bool CodeTool::commit()
{
    remake();
    if (outcome_.kind != image::CodeOutcome::Kind::Made) {
        form_.seams().message(&form_, data->text().isEmpty() ? QStringLiteral(".داده کد را بنویسید")
                                                             : QString::fromStdString(image::codeRefusalMessage(outcome_)));
        return false;
    }
    const image::CodePicture& p = outcome_.picture;
    const QRect area(at_, QSize(p.width, p.height));
    if (!QRect(0, 0, form_.canvas->width(), form_.canvas->height()).contains(area)) {
        form_.seams().message(&form_, kCodeOutside);
        return false;
    }
    // A canvas change like a figure or stamped text: undoable, checkpoint first.
    if (!form_.changeCanvas([&] {
            for (int y = 0; y < p.height; ++y)
                for (int x = 0; x < p.width; ++x)
                    form_.canvas->setPixel(area.x() + x, area.y() + y, p.black(x, y)); // the quiet zone is whitened
        }))
        return false;
    placed_.push_back({area, p.pixels});
    for (QLabel* date : form_.dateLabels)
        if (!date->isHidden() && date->geometry().intersects(area)) {
            form_.seams().message(&form_, kDateOverCode);
            break;
        }
    return true;
}

bool CodeTool::dateOverCode(const QRect& dateArea) const
{
    for (const Placed& code : placed_) {
        if (!code.area.intersects(dateArea))
            continue;
        // Only while the code is still in the picture (not drawn over, cleared or undone).
        bool intact = true;
        for (int y = 0; y < code.area.height() && intact; ++y)
            for (int x = 0; x < code.area.width() && intact; ++x)
                intact = form_.canvas->isBlack(code.area.x() + x, code.area.y() + y) ==
                         (code.pixels[std::size_t(y) * std::size_t(code.area.width()) + std::size_t(x)] != 0);
        if (intact)
            return true;
    }
    return false;
}

void TForm1::buildCodeTool()
{
    codeTool = new CodeTool(*this);
    // The real dialog only with the real dialogs: tests answer through the hook.
    if (dynamic_cast<DesktopSeams*>(seams_))
        choosePictureConversion = [this](const QImage& picture) { return PictureDialog::ask(this, picture); };
}

void TForm1::checkDateOverCode(int index)
{
    QLabel* label = dateLabels[size_t(index)];
    if (codeTool && !label->isHidden() && codeTool->dateOverCode(label->geometry()))
        seams().message(this, kDateOverCode);
}

std::optional<QImage> TForm1::convertedPicture(const QImage& picture)
{
    if (!choosePictureConversion || !PictureDialog::needed(picture))
        return picture;
    const std::optional<image::PictureChoice> choice = choosePictureConversion(picture);
    if (!choice)
        return std::nullopt;
    return image::convertPicture(picture, *choice);
}
