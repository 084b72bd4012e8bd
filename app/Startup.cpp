// Start-up: brings the window into its defined state before it is first shown.
#include "MainWindow.h"

#include "Choices.h"
#include "UiSeams.h"

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QSlider>
#include <QTimer>

#include "image/Canvas.h"
#include "image/Keyboards.h"
#include "printer/SettingsFile.h"
#include "serial/SerialPort.h"

using namespace korvel;

void TForm1::showTodayOnTextPage(const QDate& today)
{
    MiladiToShamsi(today.year(), today.month(), today.day()); // today's Solar date, not the expiry's
    label_day->setNum(today.day());
    label_month->setNum(today.month());
    label_year->setNum(today.year());
}

void TForm1::FormCreate()
{
    // Each failing step is reported on its own (guarded) and the rest still run: one
    // bad file must not leave the window without dates or a port.

    choices_ = std::make_unique<Choices>();
    if (!choices_->load())
        seams().error(this, QStringLiteral(".فایل انتخاب ها %1 خوانده نشد\n%2").arg(choices_->path(), choices_->error()));

    for (QLabel* label : dateLabels)
        label->move(251, 251);
    TextPlacing = false;
    Memo2->move(Memo2->x(), 20000);
    // Another running window keeps its own working bitmap; this session's
    // blank one replaces the last only once the last one's unsaved work is set aside.
    claimWorkingBitmap();
    setAsideUnsavedPicture();
    // The overlay is dismissed even when the working bitmap cannot be written.
    guarded([this] { SaveWorkingBitmap(); });
    RemoveCaret();
    Timer1->stop();
    Label3->hide();
    connected = false;
    TrackBar2->setValue(8);
    label_font->setText(QStringLiteral("8"));

    const QDate today = seams().today();
    showTodayOnTextPage(today);
    DraggingDate = false;

    std::optional<int> selected;
    guarded([&] {
        selected = printer::readSettingsFile(printer::kSettingsFileName);
        if (!selected && QFile::exists(QString::fromLatin1(printer::kSettingsFileName)))
            seams().error(this, QStringLiteral(".فایل تنظیمات %1 نامعتبر است و نادیده گرفته شد")
                                    .arg(QString::fromLatin1(printer::kSettingsFileName)));
    });
    if (selected) {
        const QSignalBlocker block(comboportselect); // not an operator's change
        comboportselect->setCurrentIndex(*selected);
    }

    guarded([this] { setpic(); });
    // The text overlay's face, black, is what stamping draws with.
    CaretOn = false;
    overlay_->del();
    refreshOverlay();
    refreshDatePreviews();

    if (selected) {
        guarded([&] { writeSettingsFile(); });
        SerialPort1->Close();
        SerialPort1->setPort(serial::TCommPort(*selected + 1));
    } else {
        seams().message(this, QStringLiteral(".لطفا پورت دستگاه  را تنظیم کنید"));
        // A label breaks lines at a line feed, not at the carriage return alone.
        label_send->setText(QStringLiteral("              .اتصال با دستگاه برقرار نیست") + QChar(10) +
                            QStringLiteral("لطفا وارد قسمت تنظیمات شده و پورت دستگاه را تنظیم کنید"));
        label_send->show();
    }

    restoreChoices();
    connectChoices();
    restoreKeptMessage();
    offerUnsavedPicture();
}
