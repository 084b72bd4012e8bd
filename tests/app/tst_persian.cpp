// Persian texts as the operator sees them: full stop at the end, right to left, Persian buttons.
#include <QAbstractButton>
#include <QApplication>
#include <QDialogButtonBox>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include "MainWindow.h"
#include "TestSeams.h"
#include "UiSeams.h"

namespace {

// Leftmost and rightmost columns holding a dark pixel; (-1, -1) when none.
std::pair<int, int> inkColumns(const QImage& image)
{
    int left = -1, right = -1;
    for (int x = 0; x < image.width(); ++x)
        for (int y = 0; y < image.height(); ++y)
            if (qGray(image.pixel(x, y)) < 128) {
                if (left < 0)
                    left = x;
                right = x;
                break;
            }
    return {left, right};
}

QImage render(QLabel& label)
{
    label.resize(420, 40);
    return label.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// Runs check on the modal dialog that the next call opens, then closes it.
template <typename Dialog, typename Check>
void onNextDialog(Check check)
{
    QTimer::singleShot(0, [check] {
        auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        check(dialog);
        dialog->reject();
    });
}

} // namespace

class PersianTest : public QObject {
    Q_OBJECT
private slots:
    void displayText_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("shown");
        QTest::newRow("full stop") << ".اتصال با دستگاه بر قرار شد" << "اتصال با دستگاه بر قرار شد.";
        QTest::newRow("exclamation") << "!خطا در دریافت تصویر" << "خطا در دریافت تصویر!";
        QTest::newRow("inner stop stays")
            << ".دستگاه در حال ذخیره تصویر می باشد. لطفا شکیبا باشید"
            << "دستگاه در حال ذخیره تصویر می باشد. لطفا شکیبا باشید.";
        QTest::newRow("error text below") << ".فرمان «T» به چاپگر نرسید\nInput/output error"
                                          << "فرمان «T» به چاپگر نرسید.\nInput/output error";
        QTest::newRow("indent and CR") << "   .اتصال با دستگاه برقرار نیست\rلطفا پورت را تنظیم کنید"
                                       << "   اتصال با دستگاه برقرار نیست.\nلطفا پورت را تنظیم کنید";
        QTest::newRow("CR LF, trailing space") << ".متن دریافت شد \r\n!ب" << "متن دریافت شد. \nب!";
        QTest::newRow("question mark") << "؟شمارنده از چه عددی شروع شود" << "شمارنده از چه عددی شروع شود؟";
        QTest::newRow("English error") << "Cannot connect to COM30 . No such file" << "Cannot connect to COM30 . No such file";
        QTest::newRow("English, stop first") << ".ready" << ".ready";
        QTest::newRow("port not open") << " is not open." << " is not open.";
        QTest::newRow("marks alone") << "..." << "...";
        QTest::newRow("already at the end") << "تصویر ذخیره شد." << "تصویر ذخیره شد.";
        QTest::newRow("empty") << "" << "";
    }
    void displayText()
    {
        QFETCH(QString, stored);
        QFETCH(QString, shown);
        QCOMPARE(::displayText(stored), shown);
    }

    // The label keeps the stored text and is painted exactly as one holding the shown text,
    // with the full stop left of the last word.
    void labelPaintsTheShownText_data()
    {
        QTest::addColumn<bool>("wordWrap");
        QTest::newRow("one line") << false;
        QTest::newRow("word wrap") << true;
    }
    void labelPaintsTheShownText()
    {
        QFETCH(bool, wordWrap);
        const QString stored = QStringLiteral(".اتصال با دستگاه بر قرار شد");
        QWidget root;
        auto* label = new QLabel(stored, &root);
        label->setWordWrap(wordWrap);
        showTextsRightToLeft(&root);
        QWidget plain; // the same kind of parent, painted by QLabel itself
        QLabel shown(QStringLiteral("اتصال با دستگاه بر قرار شد."), &plain);
        QLabel bare(QStringLiteral("اتصال با دستگاه بر قرار شد"), &plain);
        for (QLabel* l : {&shown, &bare})
            l->setWordWrap(wordWrap);
        const QImage painted = render(*label);
        QCOMPARE(label->text(), stored);
        QCOMPARE(painted, render(shown));
        // Without the stop the ink ends further right: the stop is the leftmost mark.
        const auto [withLeft, withRight] = inkColumns(painted);
        const auto [bareLeft, bareRight] = inkColumns(render(bare));
        QVERIFY(withLeft >= 0 && bareLeft >= 0);
        QVERIFY2(withLeft < bareLeft, qPrintable(QStringLiteral("%1 %2").arg(withLeft).arg(bareLeft)));
        QCOMPARE(withRight, bareRight); // right aligned, the first word where it was
    }

    void messageBox_data()
    {
        QTest::addColumn<bool>("error");
        QTest::newRow("message") << false;
        QTest::newRow("error") << true;
    }
    void messageBox()
    {
        QFETCH(bool, error);
        DesktopSeams seams;
        bool checked = false;
        onNextDialog<QMessageBox>([&checked](QMessageBox* box) {
            QCOMPARE(box->text(), QStringLiteral("اتصال با دستگاه بر قرار شد."));
            QCOMPARE(box->layoutDirection(), Qt::RightToLeft);
            QCOMPARE(box->buttons().size(), 1);
            QCOMPARE(box->buttons().constFirst()->text(), QStringLiteral("تایید"));
            checked = true;
        });
        const QString stored = QStringLiteral(".اتصال با دستگاه بر قرار شد");
        if (error)
            seams.error(nullptr, stored);
        else
            seams.message(nullptr, stored);
        QVERIFY(checked);
    }

    // The questions before work is thrown away: the question mark ends the sentence too.
    void questionBoxes_data()
    {
        QTest::addColumn<bool>("saveChoice");
        QTest::addColumn<QStringList>("buttons");
        QTest::newRow("save, discard or cancel") << true << QStringList{"ذخیره", "دور انداختن", "انصراف"};
        QTest::newRow("yes or no") << false << QStringList{"بله", "خیر"};
    }
    void questionBoxes()
    {
        QFETCH(bool, saveChoice);
        QFETCH(QStringList, buttons);
        DesktopSeams seams;
        bool checked = false;
        onNextDialog<QMessageBox>([&checked, buttons](QMessageBox* box) {
            QCOMPARE(box->text(), QStringLiteral("تصویر تغییر کرده و ذخیره نشده است. ذخیره شود؟"));
            QCOMPARE(box->textFormat(), Qt::PlainText);
            QCOMPARE(box->layoutDirection(), Qt::RightToLeft);
            QStringList shown;
            for (QAbstractButton* b : box->buttons())
                shown << b->text();
            shown.sort();
            QStringList wanted = buttons;
            wanted.sort();
            QCOMPARE(shown, wanted);
            checked = true;
        });
        const QString stored = QStringLiteral("؟تصویر تغییر کرده و ذخیره نشده است. ذخیره شود");
        if (saveChoice)
            QCOMPARE(seams.askToSave(nullptr, stored), UiSeams::SaveChoice::Cancel); // closed: nothing decided
        else
            QVERIFY(!seams.askYesNo(nullptr, stored));
        QVERIFY(checked);
    }

    void inputBoxButtons()
    {
        DesktopSeams seams;
        bool checked = false;
        onNextDialog<QInputDialog>([&checked](QInputDialog* dialog) {
            QCOMPARE(dialog->layoutDirection(), Qt::RightToLeft);
            QCOMPARE(dialog->okButtonText(), QStringLiteral("تایید"));
            QCOMPARE(dialog->cancelButtonText(), QStringLiteral("انصراف"));
            QCOMPARE(dialog->labelText(), QStringLiteral("شمارنده از چه عددی شروع شود؟"));
            checked = true;
        });
        QVERIFY(!seams.inputBox(nullptr, QStringLiteral("تنظیم شمارنده"), QStringLiteral("شمارنده از چه عددی شروع شود؟"),
                                QStringLiteral("0000")));
        QVERIFY(checked);
    }

    void windowCaptionsRightToLeft()
    {
        TestEnvironment env; // no setting.dll: start-up shows its notice in label_send
        TForm1 form(&env.seams);
        QVERIFY(form.label_send->text().contains(QStringLiteral(".اتصال"))); // stored as it was
        for (QRadioButton* radio : form.findChildren<QRadioButton*>())
            QCOMPARE(radio->layoutDirection(), Qt::RightToLeft);
        // The text overlay shows what will be stamped: a stop typed first stays first.
        form.show();
        form.Label3->show();
        auto shot = [&form](const QString& text) {
            form.Label3->setText(text);
            form.Label3->adjustSize();
            return form.Label3->grab().toImage();
        };
        QVERIFY(shot(QStringLiteral(".سلام")) != shot(QStringLiteral("سلام.")));
    }
};

QTEST_MAIN(PersianTest)
#include "tst_persian.moc"
