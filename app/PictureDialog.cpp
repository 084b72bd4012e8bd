#include "PictureDialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QVBoxLayout>

using namespace korvel;

namespace {
constexpr int kZoom = 2; // printer dots are small; the preview shows each as 2 x 2

QPixmap preview(const QImage& converted)
{
    // What the printer gets: the canvas's 240 x 154 from the top left.
    const QImage part = converted.copy(0, 0, std::min(converted.width(), 240), std::min(converted.height(), 154));
    return QPixmap::fromImage(part.scaled(part.size() * kZoom, Qt::IgnoreAspectRatio, Qt::FastTransformation));
}
} // namespace

PictureDialog::PictureDialog(const QImage& picture, QWidget* parent) : QDialog(parent), picture_(picture)
{
    setObjectName(QStringLiteral("PictureDialog"));
    setWindowTitle(QStringLiteral("سیاه و سفید کردن تصویر"));
    setLayoutDirection(Qt::RightToLeft);
    auto* grid = new QGridLayout;
    thresholdButton = new QRadioButton(QStringLiteral("آستانه"), this);
    thresholdButton->setObjectName(QStringLiteral("thresholdButton"));
    ditherButton = new QRadioButton(QStringLiteral("پخش خطا (فلوید-اشتاینبرگ)"), this);
    ditherButton->setObjectName(QStringLiteral("ditherButton"));
    thresholdButton->setChecked(true);
    thresholdPreview_ = new QLabel(this);
    ditherPreview_ = new QLabel(this);
    for (QLabel* l : {thresholdPreview_, ditherPreview_}) {
        l->setMinimumSize(240 * kZoom, 154 * kZoom);
        l->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
        l->setStyleSheet(QStringLiteral("background: #d0d0d0;"));
    }
    grid->addWidget(thresholdButton, 0, 0);
    grid->addWidget(ditherButton, 0, 1);
    grid->addWidget(thresholdPreview_, 1, 0);
    grid->addWidget(ditherPreview_, 1, 1);

    auto* levelRow = new QHBoxLayout;
    levelRow->addWidget(new QLabel(QStringLiteral("سطح آستانه"), this));
    level = new QSlider(Qt::Horizontal, this);
    level->setObjectName(QStringLiteral("thresholdLevel"));
    level->setRange(1, 255);
    level->setValue(128);
    levelRow->addWidget(level, 1);
    levelText_ = new QLabel(this);
    levelText_->setMinimumWidth(40);
    levelRow->addWidget(levelText_);
    grid->addLayout(levelRow, 2, 0);

    fit = new QCheckBox(QStringLiteral("کوچک کردن تا اندازه تصویر 240 × 154 با حفظ نسبت"), this);
    fit->setObjectName(QStringLiteral("fitToCanvas"));
    fit->setEnabled(image::largerThan(picture));
    fit->setChecked(image::largerThan(picture));
    grid->addWidget(fit, 2, 1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("اعمال"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("انصراف"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* column = new QVBoxLayout(this);
    column->addLayout(grid);
    column->addWidget(buttons);

    connect(level, &QSlider::valueChanged, this, &PictureDialog::refresh);
    connect(fit, &QCheckBox::toggled, this, &PictureDialog::refresh);
    refresh();
}

image::PictureChoice PictureDialog::choice() const
{
    image::PictureChoice c;
    c.way = ditherButton->isChecked() ? image::BlackWhiteWay::Dither : image::BlackWhiteWay::Threshold;
    c.level = level->value();
    c.fit = fit->isChecked();
    return c;
}

void PictureDialog::refresh()
{
    levelText_->setNum(level->value());
    image::PictureChoice c = choice();
    c.way = image::BlackWhiteWay::Threshold;
    thresholdPreview_->setPixmap(preview(image::convertPicture(picture_, c)));
    c.way = image::BlackWhiteWay::Dither;
    ditherPreview_->setPixmap(preview(image::convertPicture(picture_, c)));
}

std::optional<image::PictureChoice> PictureDialog::ask(QWidget* parent, const QImage& picture)
{
    PictureDialog dialog(picture, parent);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.choice();
}

bool PictureDialog::needed(const QImage& picture)
{
    return image::largerThan(picture) || !image::isBlackAndWhite(picture);
}
