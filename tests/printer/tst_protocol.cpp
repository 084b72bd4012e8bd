// The bytes and pauses of every command, and the counter prompt's answers.
#include "printer/Messages.h"
#include "printer/Protocol.h"

#include <QTest>

#include <numeric>

using namespace korvel::printer;
using std::chrono::microseconds;

Q_DECLARE_METATYPE(Job)

namespace {

constexpr microseconds L = std::chrono::duration_cast<microseconds>(kLongPause);
constexpr microseconds N{0};

// "bytes|pause-before-in-us" per step, so a failing row shows the whole job.
QString describe(const Job& job)
{
    QStringList parts;
    for (const Step& s : job.steps)
        parts << QString::fromLatin1(QByteArray::fromStdString(s.bytes).toHex(' ')) + "@" +
                     QString::number(s.pauseBefore.count());
    return parts.join(" | ");
}

Job expected(std::vector<Step> steps) { return Job{{}, std::move(steps), false, {}, false}; }

} // namespace

class TestProtocol : public QObject {
    Q_OBJECT
private slots:
    void commandBytes_data();
    void commandBytes();
    void refusedValues();
    void textUploadSplitsLengthFieldAndCodes();
    void imageUploadWritesEveryValueAsThreeDigits();
    void counterAnswer_data();
    void counterAnswer();
};

void TestProtocol::commandBytes_data()
{
    QTest::addColumn<Job>("job");
    QTest::addColumn<Job>("want");
    QTest::addColumn<bool>("timer");
    QTest::addColumn<QStringList>("acks"); // any one of them ends the command

    QTest::newRow("connect") << connectJob() << expected({{"!", N}}) << false << QStringList{"s"};
    QTest::newRow("request settings") << requestSettingsJob() << expected({{"u", N}}) << false << QStringList{"u"};
    QTest::newRow("right to left") << directionJob(Direction::RightToLeft) << expected({{"H", N}})
        << false << QStringList{"H"};
    QTest::newRow("left to right") << directionJob(Direction::LeftToRight) << expected({{"h", N}})
        << false << QStringList{"h"};
    QTest::newRow("initial delay, two writes, no pause")
        << valueSettingJob(ValueSetting::InitialDelay, 1) << expected({{"l", N}, {"\x01", N}})
        << true << QStringList{"l"};
    QTest::newRow("delay after")
        << valueSettingJob(ValueSetting::DelayAfter, 7) << expected({{"R", N}, {"\x07", L}})
        << false << QStringList{"G"};
    QTest::newRow("resolution 200 is byte C8")
        << valueSettingJob(ValueSetting::Resolution, 200) << expected({{"B", N}, {"\xC8", L}})
        << false << QStringList{"B"};
    QTest::newRow("ink 255")
        << valueSettingJob(ValueSetting::Ink, 255) << expected({{"q", N}, {"\xFF", N}}) << true << QStringList{"q"};
    QTest::newRow("count")
        << valueSettingJob(ValueSetting::Count, 34) << expected({{"r", N}, {"\x22", L}}) << false << QStringList{"g"};
    QTest::newRow("date 2025-03-07")
        << setDateJob(2025, 3, 7) << expected({{"d", N}, {"25", L}, {"03", L}, {"07", L}}) << true << QStringList{"d"};
    QTest::newRow("date 2005 gives one year digit")
        << setDateJob(2005, 12, 31) << expected({{"d", N}, {"5", L}, {"12", L}, {"31", L}}) << true << QStringList{"d"};
    QTest::newRow("date modulo 200, not 100")
        << setDateJob(2199, 1, 1) << expected({{"d", N}, {"199", L}, {"01", L}, {"01", L}}) << true << QStringList{"d"};
    QTest::newRow("date year 99 kept")
        << setDateJob(99, 1, 1) << expected({{"d", N}, {"99", L}, {"01", L}, {"01", L}}) << true << QStringList{"d"};
    QTest::newRow("time 09:05:03")
        << setTimeJob(9, 5, 3) << expected({{"t", N}, {"09", L}, {"05", L}, {"03", L}}) << true << QStringList{"t"};
    QTest::newRow("time 23:59:59")
        << setTimeJob(23, 59, 59) << expected({{"t", N}, {"23", L}, {"59", L}, {"59", L}}) << true << QStringList{"t"};
    QTest::newRow("counter in one write") << setCounterJob("0007") << expected({{"c0007", N}})
        << true << QStringList{"c"};
    QTest::newRow("send text") << sendTextJob() << expected({{"T", N}}) << false << QStringList{"}"};
    QTest::newRow("store text") << storeTextJob() << expected({{"s", N}}) << false << QStringList{"{"};
    QTest::newRow("send picture") << sendPictureJob() << expected({{"P", N}}) << false << QStringList{"("};
    QTest::newRow("store picture slot 3") << storePictureJob(3) << expected({{"s", N}, {"3", L}})
        << false << QStringList{"v"};
    QTest::newRow("image sequence slot 5") << imageSequenceJob(5) << expected({{"S", N}, {"5", L}})
        << false << QStringList{"S"};
    QTest::newRow("expiry days padded") << expiryDaysJob("30") << expected({{"n", N}, {"030", L}})
        << false << QStringList({"n", "a"});
    QTest::newRow("expiry days negative") << expiryDaysJob("-5") << expected({{"n", N}, {"0-5", L}})
        << false << QStringList({"n", "a"});
    QTest::newRow("expiry days long") << expiryDaysJob("1000") << expected({{"n", N}, {"1000", L}})
        << false << QStringList({"n", "a"});
    QTest::newRow("production layout")
        << productionLayoutJob("142000000061000118005") << expected({{"J", N}, {"142000000061000118005", L}})
        << false << QStringList{"j"};
    QTest::newRow("expiry layout")
        << expiryLayoutJob("013251251251251251251") << expected({{"V", N}, {"013251251251251251251", L}})
        << false << QStringList({"a", "n"});
}

void TestProtocol::commandBytes()
{
    QFETCH(Job, job);
    QFETCH(Job, want);
    QFETCH(bool, timer);
    QFETCH(QStringList, acks);
    QCOMPARE(describe(job), describe(want));
    QCOMPARE(job.startsNoReplyTimer, timer);
    QVERIFY(!job.name.empty());
    QStringList got;
    for (const std::string& a : job.acknowledgedBy)
        got << QString::fromStdString(a);
    QCOMPARE(got, acks);
    QVERIFY(!job.allReplies);
}

void TestProtocol::refusedValues()
{
    // A zero value byte would end the write early; out-of-range values never reach the line.
    QVERIFY_THROWS_EXCEPTION(std::invalid_argument, valueSettingJob(ValueSetting::Ink, 0));
    QVERIFY_THROWS_EXCEPTION(std::invalid_argument, valueSettingJob(ValueSetting::Count, 256));
    QVERIFY_THROWS_EXCEPTION(std::invalid_argument, setDateJob(2025, 13, 1));
    QVERIFY_THROWS_EXCEPTION(std::invalid_argument, setDateJob(2025, 2, 30));
    QVERIFY_THROWS_EXCEPTION(std::invalid_argument, setDateJob(2025, 2, 29)); // not a leap year
    QVERIFY_THROWS_EXCEPTION(std::invalid_argument, setDateJob(2100, 2, 29)); // a century, not a leap year
    QVERIFY_THROWS_EXCEPTION(std::invalid_argument, setDateJob(2025, 4, 31));
    QVERIFY(!setDateJob(2024, 2, 29).steps.empty());
    QVERIFY(!setDateJob(2000, 2, 29).steps.empty());
    QVERIFY_THROWS_EXCEPTION(std::invalid_argument, setTimeJob(24, 0, 0));
    QVERIFY_THROWS_EXCEPTION(std::invalid_argument, setCounterJob("123"));
    QVERIFY_THROWS_EXCEPTION(std::invalid_argument, setCounterJob(std::string("12\0" "4", 4)));
    QVERIFY_THROWS_EXCEPTION(std::invalid_argument, storePictureJob(0));
    QVERIFY_THROWS_EXCEPTION(std::invalid_argument, imageSequenceJob(6));
    QVERIFY_THROWS_EXCEPTION(std::invalid_argument, productionLayoutJob(""));
    QVERIFY_THROWS_EXCEPTION(std::invalid_argument, textUploadJob("001"));
    const std::int32_t bad[] = {255, 1000};
    QVERIFY_THROWS_EXCEPTION(std::invalid_argument, imageUploadJob(bad));
}

void TestProtocol::textUploadSplitsLengthFieldAndCodes()
{
    const Job job = textUploadJob("0005\xC4\x90\xC3\xA8 ");
    QCOMPARE(describe(job), describe(expected({{"0005", N},
                                               {"\xC4", kShortPause},
                                               {"\x90", kShortPause},
                                               {"\xC3", kShortPause},
                                               {"\xA8", kShortPause},
                                               {" ", kShortPause}})));
    QCOMPARE(job.acknowledgedBy, (std::vector<std::string>{"r", "@"}));
    QVERIFY(job.allReplies); // the printer sends both
}

void TestProtocol::imageUploadWritesEveryValueAsThreeDigits()
{
    std::vector<std::int32_t> values(5280, 255);
    values[0] = 128;
    values[43] = 239;
    const Job job = imageUploadJob(values);
    QCOMPARE(job.steps.size(), std::size_t{5281});
    QCOMPARE(QByteArray::fromStdString(job.steps[0].bytes), QByteArray("240"));
    QCOMPARE(QByteArray::fromStdString(job.steps[1].bytes), QByteArray("128"));
    QCOMPARE(QByteArray::fromStdString(job.steps[44].bytes), QByteArray("239"));
    const std::size_t bytes = std::accumulate(job.steps.begin(), job.steps.end(), std::size_t{0},
                                              [](std::size_t n, const Step& s) { return n + s.bytes.size(); });
    QCOMPARE(bytes, std::size_t{15843});
    for (std::size_t i = 1; i < job.steps.size(); ++i)
        QCOMPARE(job.steps[i].pauseBefore, kShortPause);
}

void TestProtocol::counterAnswer_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<bool>("cancelled");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("text4");

    QTest::newRow("one digit padded") << "7" << false << true << "0007";
    QTest::newRow("three digits padded") << "123" << false << true << "0123";
    QTest::newRow("four digits") << "9876" << false << true << "9876";
    QTest::newRow("empty") << "" << false << true << "0000";
    QTest::newRow("cancelled, whatever was typed") << "abc" << true << true << "0000";
    QTest::newRow("blanks around") << " 42 " << false << true << "0042";
    QTest::newRow("Persian digits") << QString::fromUtf8("۱۲۳۴") << false << true << "1234";
    QTest::newRow("Arabic-Indic digits") << QString::fromUtf8("٠٥") << false << true << "0005";
    QTest::newRow("mixed digit kinds") << QString::fromUtf8("1۲٣") << false << true << "0123";
    QTest::newRow("five digits refused") << "12345" << false << false << "";
    QTest::newRow("letters refused") << "ab" << false << false << "";
    QTest::newRow("sign refused") << "-1" << false << false << "";
    QTest::newRow("inner blank refused") << "1 2" << false << false << "";
    QTest::newRow("Persian letter refused") << QString::fromUtf8("۱ب") << false << false << "";
    QTest::newRow("only blanks") << "   " << false << true << "0000";
}

void TestProtocol::counterAnswer()
{
    QFETCH(QString, answer);
    QFETCH(bool, cancelled);
    QFETCH(bool, ok);
    QFETCH(QString, text4);
    const CounterResult r = counterFromAnswer(answer.toStdString(), cancelled);
    QCOMPARE(r.ok, ok);
    QCOMPARE(QString::fromStdString(r.text4), text4);
    QCOMPARE(QString::fromStdString(r.error), ok ? QString() : QString::fromUtf8(kMsgCounterInvalid.data(),
                                                                               kMsgCounterInvalid.size()));
}

QTEST_APPLESS_MAIN(TestProtocol)
#include "tst_protocol.moc"
