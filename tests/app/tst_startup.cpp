// Start-up of the window: the settings file in its forms, the dates on fixed
// days, the working bitmap, the trace file and the state the pages start in.
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QProgressBar>
#include <QRadioButton>
#include <QSlider>
#include <QTest>
#include <QTimer>

#include "PixelPage.h"
#include "serial/SerialPort.h"

using namespace pixel;
using korvel::serial::spCOM;
using korvel::serial::spNone;

namespace {

const QString kNotice = QStringLiteral(".لطفا پورت دستگاه  را تنظیم کنید");
const QString kNotConnected = QStringLiteral("              .اتصال با دستگاه برقرار نیست") + QChar(10) + QStringLiteral("لطفا وارد قسمت تنظیمات شده و پورت دستگاه را تنظیم کنید");

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

QStringList texts(std::initializer_list<QLabel*> labels)
{
    QStringList s;
    for (QLabel* l : labels)
        s << l->text();
    return s;
}

} // namespace

class StartupTest : public QObject {
    Q_OBJECT
private slots:
    void init() { env.reset(new TestEnvironment); }
    void cleanup()
    {
        form.reset();
        env.reset();
    }

    // setting.dll: a valid first line selects the port and the file is
    // rewritten; a missing or malformed one brings the notice.
    void settingsFile_data()
    {
        QTest::addColumn<QByteArray>("content"); // null: no file
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("port");
        QTest::addColumn<bool>("notice");
        QTest::addColumn<QByteArray>("after"); // null: no file
        QTest::newRow("missing") << QByteArray() << -1 << 30 << true << QByteArray();
        QTest::newRow("4") << QByteArray("4\r\n7\r\n") << 4 << 5 << false << QByteArray("4\r\n0\r\n");
        QTest::newRow("4, one line") << QByteArray("4") << 4 << 5 << false << QByteArray("4\r\n0\r\n");
        QTest::newRow("0") << QByteArray("0\r\n0\r\n") << 0 << 1 << false << QByteArray("0\r\n0\r\n");
        QTest::newRow("-1") << QByteArray("-1\r\n0\r\n") << -1 << 0 << false << QByteArray("-1\r\n0\r\n");
        QTest::newRow("abc") << QByteArray("abc\r\n0\r\n") << -1 << 30 << true << QByteArray("abc\r\n0\r\n");
        QTest::newRow("255") << QByteArray("255\r\n0\r\n") << -1 << 30 << true << QByteArray("255\r\n0\r\n");
        QTest::newRow("-2") << QByteArray("-2\r\n0\r\n") << -1 << 30 << true << QByteArray("-2\r\n0\r\n");
        QTest::newRow("empty") << QByteArray("") << -1 << 30 << true << QByteArray("");
    }
    void settingsFile()
    {
        QFETCH(QByteArray, content);
        QFETCH(int, index);
        QFETCH(int, port);
        QFETCH(bool, notice);
        QFETCH(QByteArray, after);
        if (!content.isNull())
            writeFile(QStringLiteral("setting.dll"), content);
        open();
        const bool malformed = !content.isNull() && notice;

        QCOMPARE(form->comboportselect->currentIndex(), index);
        if (index >= 0)
            QCOMPARE(form->comboportselect->currentText(), QStringLiteral("COM%1").arg(index + 1));
        if (notice)
            QCOMPARE(form->comboportselect->currentText(), QStringLiteral("Select PORT"));
        QCOMPARE(int(form->SerialPort1->Port()), int(spCOM(port)));
        QCOMPARE(form->SerialPort1->IsConnected(), spNone);
        QVERIFY(!form->connected);

        QCOMPARE(env->seams.allMessages(), notice ? QStringList{kNotice} : QStringList{});
        QCOMPARE(!form->label_send->isHidden(), notice);
        if (notice)
            QCOMPARE(form->label_send->text(), kNotConnected);

        QCOMPARE(env->seams.allErrors().size(), malformed ? 1 : 0);
        if (malformed)
            QVERIFY(env->seams.allErrors().first().contains(QStringLiteral("setting.dll")));
        QCOMPARE(QFile::exists(QStringLiteral("setting.dll")), !after.isNull());
        if (!after.isNull())
            QCOMPARE(fileBytes(QStringLiteral("setting.dll")), after);
        QCOMPARE(form->label_day->text(), QString::number(env->seams.date.day())); // the rest still ran
    }

    // Production labels today, expiry labels today plus 30 days, the text
    // page's Solar labels today; Solar previews unless Gregorian is chosen.
    void fixedDates_data()
    {
        QTest::addColumn<QDate>("today");
        QTest::addColumn<QStringList>("gregorian"); // label_day, label_month, label_year
        QTest::addColumn<QStringList>("solar");     // label_sal, label_mah, label_rooz
        QTest::addColumn<QStringList>("solarPreviews");
        QTest::addColumn<QStringList>("gregorianPreviews");
        QTest::newRow("5 January 2025") << QDate(2025, 1, 5) << QStringList{"5", "1", "2025"}
                                        << QStringList{"1403", "10", "16"}
                                        << QStringList{"03", "10", "16", "03", "11", "16"}
                                        << QStringList{"25", "1", "5", "25", "2", "4"};
        QTest::newRow("15 December 2025") << QDate(2025, 12, 15) << QStringList{"15", "12", "2025"}
                                          << QStringList{"1404", "9", "24"}
                                          << QStringList{"04", "9", "24", "04", "10", "24"}
                                          << QStringList{"25", "12", "15", "26", "1", "14"};
    }
    void fixedDates()
    {
        QFETCH(QDate, today);
        QFETCH(QStringList, gregorian);
        QFETCH(QStringList, solar);
        QFETCH(QStringList, solarPreviews);
        QFETCH(QStringList, gregorianPreviews);
        env->seams.date = today;
        open();
        QCOMPARE(texts({form->label_day, form->label_month, form->label_year}), gregorian);
        QCOMPARE(texts({form->label_sal, form->label_mah, form->label_rooz}), solar);
        const auto previews = [this] {
            QStringList s;
            for (QLabel* l : form->dateLabels)
                s << l->text();
            return s;
        };
        QVERIFY(form->Rradio_p_sh->isChecked() && form->Rradio_e_sh->isChecked());
        QCOMPARE(previews(), solarPreviews);
        QCOMPARE(form->label_expire->text(), QStringLiteral("30"));
        click(form->Rradio_p_m);
        click(form->Rradio_e_m);
        QCOMPARE(previews(), gregorianPreviews);
        QCOMPARE(texts({form->label_sal, form->label_mah, form->label_rooz}), solar); // not the expiry date
    }

    // The blank canvas replaces whatever the working bitmap held.
    void workingBitmapIsBlank()
    {
        QVERIFY(QDir().mkpath(env->workDir()));
        QImage old(50, 50, QImage::Format_RGB32);
        old.fill(qRgb(0, 0, 0));
        QVERIFY(old.save(workingBitmapPath(*env), "BMP"));
        open();
        const QByteArray bytes = fileBytes(workingBitmapPath(*env));
        QVERIFY(bytes.startsWith("BM"));
        QCOMPARE(quint8(bytes[28]) | quint8(bytes[29]) << 8, 1); // bits per pixel
        const QImage image = picture(workingBitmapPath(*env));
        QCOMPARE(image.size(), QSize(240, 154));
        QCOMPARE(blackCount(image), 0);
        QCOMPARE(shown(*form), image);
        QCOMPARE(form->imagesend->size(), QSize(240, 154));
    }

    void traceFileOfTheBlankCanvas()
    {
        open();
        QCOMPARE(fileBytes(QStringLiteral("test2.txt")), QByteArray("240,") + QByteArray("255,").repeated(5280));
        QCOMPARE(form->Edit2->text(), QStringLiteral("fyv"));
        for (int v : form->columnBuffer)
            if (v != 0 && v != 255)
                QFAIL("the column buffer holds more than the blank canvas");
        QCOMPARE(std::count(form->columnBuffer.begin(), form->columnBuffer.end(), 255), 5280);
    }

    void pagesStartInTheirState()
    {
        writeFile(QStringLiteral("setting.dll"), "2\r\n0\r\n");
        open();
        QVERIFY(!form->Timer1->isActive());
        QVERIFY(form->Label3->isHidden());
        QCOMPARE(form->Label3->text(), QString());
        QVERIFY(!form->TextPlacing && !form->CaretOn && !form->DraggingDate && !form->Drawing);
        QCOMPARE(form->label_font->text(), QStringLiteral("8"));
        QCOMPARE(form->TrackBar2->value(), 8);
        QVERIFY(form->label_send->isHidden());
        QVERIFY(form->status_send->isHidden());
        for (size_t i = 0; i < 6; ++i) {
            QVERIFY(form->dateLabels[i]->isHidden());
            QCOMPARE(form->dateLabels[i]->pos(), QPoint(251, 251));
            QCOMPARE(form->xStores[i]->text() + form->yStores[i]->text(), QStringLiteral("251251"));
        }
        QCOMPARE(form->label_date_font->text() + form->label_edate_font->text(), QStringLiteral("33"));
        QVERIFY(form->slotButtons[0]->isChecked());
        QVERIFY(form->CurrentFile.isEmpty());
        QCOMPARE(form->PenSize->text(), QStringLiteral("1"));
        QVERIFY(env->seams.allErrors().isEmpty());
        QVERIFY(env->seams.allMessages().isEmpty());
    }

    // A failing step is reported with its file and the remaining steps still run.
    void failingStepIsReported_data()
    {
        QTest::addColumn<QString>("blocked");
        QTest::newRow("working folder") << "workdir";
        QTest::newRow("trace file") << "trace";
    }
    void failingStepIsReported()
    {
        QFETCH(QString, blocked);
        writeFile(QStringLiteral("setting.dll"), "4\r\n0\r\n");
        QString name;
        if (blocked == "workdir") {
            writeFile(QStringLiteral("plain-file"), "x");
            name = env->cwd() + QStringLiteral("/plain-file/korvel");
            qputenv("KORVEL_WORKDIR", name.toUtf8());
        } else {
            name = QStringLiteral("test2.txt");
            QVERIFY(QDir().mkdir(name)); // a folder where the file should be
        }
        env->seams.date = QDate(2025, 1, 5);
        open();
        QCOMPARE(env->seams.allErrors().size(), 1);
        QVERIFY2(env->seams.allErrors().first().contains(name), qPrintable(env->seams.allErrors().first()));
        QCOMPARE(texts({form->label_day, form->label_month, form->label_year}), (QStringList{"5", "1", "2025"}));
        QCOMPARE(form->dateLabels[3]->text(), QStringLiteral("03"));
        QCOMPARE(form->comboportselect->currentIndex(), 4);
        QCOMPARE(int(form->SerialPort1->Port()), int(spCOM(5)));
        QVERIFY(!form->Timer1->isActive());
        QVERIFY(form->Label3->isHidden());
        QCOMPARE(form->label_font->text(), QStringLiteral("8"));
    }

private:
    void open()
    {
        form.reset(new TForm1(&env->seams));
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    }

    std::unique_ptr<TestEnvironment> env;
    std::unique_ptr<TForm1> form;
};

QTEST_MAIN(StartupTest)
#include "tst_startup.moc"
