// The conversation over a recording send function: what waits for what, what
// the printer's replies set going, and what is told when the printer or the
// line does not keep up.
#include "printer/Conversation.h"
#include "printer/Messages.h"

#include <QElapsedTimer>
#include <QTest>

#include <atomic>
#include <mutex>
#include <thread>

using namespace korvel::printer;
using namespace std::chrono_literals;

Q_DECLARE_METATYPE(Job)

namespace {

// Records the writes, the effects and the ends; `onWrite` runs after each write.
class Line {
public:
    explicit Line(std::chrono::milliseconds noReply = 400ms, int rate = 0)
    {
        ConversationHooks hooks;
        hooks.effect = [this](const Effect& e) {
            std::lock_guard lock(mutex);
            effects.push_back(e);
        };
        hooks.ended = [this](const CommandEnd& e) {
            std::lock_guard lock(mutex);
            ends.push_back(e);
        };
        LineIo io{[this](const std::string& bytes) -> std::uint32_t {
                      {
                          std::lock_guard lock(mutex);
                          writes << QString::fromStdString(bytes);
                      }
                      if (onWrite)
                          onWrite(bytes);
                      return std::uint32_t(bytes.size());
                  },
                  {}, [rate] { return rate; }};
        conversation = std::make_unique<Conversation>(io, hooks, noReply, 20ms);
    }
    ~Line() { conversation.reset(); } // its last callbacks still find the records
    QStringList written() const
    {
        std::lock_guard lock(mutex);
        return writes;
    }
    std::vector<CommandEnd> ended() const
    {
        std::lock_guard lock(mutex);
        return ends;
    }
    QStringList messages() const
    {
        std::lock_guard lock(mutex);
        QStringList out;
        for (const Effect& e : effects)
            if (e.kind == EffectKind::Message)
                out << QString::fromUtf8(e.text.data(), qsizetype(e.text.size()));
        return out;
    }
    std::function<void(const std::string&)> onWrite;
    std::unique_ptr<Conversation> conversation;

private:
    mutable std::mutex mutex;
    QStringList writes;
    std::vector<CommandEnd> ends;
    std::vector<Effect> effects;
};

Command picture()
{
    Command c;
    c.request = sendPictureJob();
    const std::int32_t values[] = {255, 128};
    c.stream = imageUploadJob(values);
    c.awaited = '(';
    c.columnProgress = true;
    return c;
}

Command text()
{
    Command c;
    c.request = sendTextJob();
    c.stream = textUploadJob("0001 ");
    c.awaited = '}';
    return c;
}

Command plain(Job job)
{
    Command c;
    c.request = std::move(job);
    return c;
}

QString msg(std::string_view s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }

} // namespace

class TestConversation : public QObject {
    Q_OBJECT
private slots:
    void nothingComesBetweenARequestAndItsStream();
    void settingsRequestWaitsForTheStream();
    void connectionsCommandGoesBeforeTheSettingsRequest_data();
    void connectionsCommandGoesBeforeTheSettingsRequest();
    void replyThatOvertakesItsWriteStillCounts();
    void unansweredRequestIsToldAndTheQueueGoesOn();
    void commandThatWaitedTooLongIsDropped();
    void textEndsOnBothItsReplies_data();
    void textEndsOnBothItsReplies();
    void eitherLetterAnswersTheExpiryCommands_data();
    void eitherLetterAnswersTheExpiryCommands();
};

void TestConversation::nothingComesBetweenARequestAndItsStream()
{
    Line line;
    line.conversation->submit(picture());
    line.conversation->submit(plain(setDateJob(2025, 3, 7)));
    QTRY_COMPARE(line.written(), QStringList{"P"});
    QTest::qWait(150);
    QCOMPARE(line.written(), QStringList{"P"}); // the date waits for the printer's "("
    line.conversation->received("(");
    QTRY_COMPARE(line.written(), (QStringList{"P", "240", "255", "128", "d", "25", "03", "07"}));
    line.conversation->received("pload");
    line.conversation->received("d");
    QTRY_COMPARE(line.ended().size(), std::size_t(2));
    QCOMPARE(line.ended()[0].kind, CommandEnd::Answered);
    QCOMPARE(line.ended()[1].kind, CommandEnd::Answered);
    QCOMPARE(line.messages(), (QStringList{msg(kMsgImageReady), msg(kMsgDateSet)}));
}

void TestConversation::settingsRequestWaitsForTheStream()
{
    Line line;
    line.conversation->submit(plain(connectJob()));
    line.conversation->submit(picture());
    QTRY_COMPARE(line.written(), (QStringList{"!", "P"}));
    line.conversation->received("s"); // asks for "u" while "P" waits for "("
    QTest::qWait(150);
    QCOMPARE(line.written(), (QStringList{"!", "P"}));
    line.conversation->received("(");
    QTRY_COMPARE(line.written(), (QStringList{"!", "P", "240", "255", "128", "u"}));
}

void TestConversation::connectionsCommandGoesBeforeTheSettingsRequest_data()
{
    QTest::addColumn<bool>("followed");
    QTest::addColumn<int>("commandAfterMs"); // after the printer's "s"; -1: none comes
    QTest::addColumn<QStringList>("writes");
    const QStringList date{"d", "25", "03", "07"};
    QTest::newRow("its command comes late") << true << 300 << (QStringList{"!"} + date + QStringList{"u"});
    QTest::newRow("its command comes at once") << true << 0 << (QStringList{"!"} + date + QStringList{"u"});
    QTest::newRow("its command never comes") << true << -1 << QStringList{"!", "u"};
    QTest::newRow("a connection alone") << false << 300 << (QStringList{"!", "u"} + date);
}

// The press that made the connection is answered first; the settings request
// never waits for long on a command that does not come.
void TestConversation::connectionsCommandGoesBeforeTheSettingsRequest()
{
    QFETCH(bool, followed);
    QFETCH(int, commandAfterMs);
    QFETCH(QStringList, writes);
    Line line;
    Command connect = plain(connectJob());
    connect.followed = followed;
    line.onWrite = [&](const std::string& bytes) {
        if (bytes == "!")
            line.conversation->received("s"); // before the caller even knows "!" went out
    };
    QElapsedTimer clock;
    clock.start();
    line.conversation->submit(std::move(connect));
    if (commandAfterMs >= 0) {
        QTest::qWait(commandAfterMs);
        line.conversation->submit(plain(setDateJob(2025, 3, 7)));
    }
    QTRY_VERIFY2_WITH_TIMEOUT(line.written() == writes, qPrintable(line.written().join(QLatin1Char(' '))), 5000);
    if (followed && commandAfterMs < 0)
        QVERIFY2(clock.elapsed() >= 900, qPrintable(QString::number(clock.elapsed()))); // waited its second
}

void TestConversation::replyThatOvertakesItsWriteStillCounts()
{
    Line line;
    // The printer answers before the writer has told the conversation that "!" went out.
    line.onWrite = [&](const std::string& bytes) {
        if (bytes == "!")
            line.conversation->received("s");
    };
    line.conversation->submit(plain(connectJob()));
    QTRY_COMPARE(line.ended().size(), std::size_t(1));
    QCOMPARE(line.ended()[0].kind, CommandEnd::Answered);
    QTest::qWait(600); // past the no-reply time-out: nothing more is told
    QCOMPARE(line.ended().size(), std::size_t(1));
}

void TestConversation::unansweredRequestIsToldAndTheQueueGoesOn()
{
    Line line(200ms);
    line.conversation->submit(picture());
    line.conversation->submit(plain(directionJob(Direction::RightToLeft)));
    QTRY_COMPARE(line.written(), (QStringList{"P", "H"}));
    const auto ends = line.ended();
    QVERIFY(!ends.empty());
    QCOMPARE(ends[0].kind, CommandEnd::NoReply);
    QCOMPARE(QString::fromStdString(ends[0].message), msg(kMsgNoReply));
    line.conversation->received("(");  // too late: nothing is sent for it
    QTest::qWait(100);
    QCOMPARE(line.written(), (QStringList{"P", "H"}));
}

void TestConversation::commandThatWaitedTooLongIsDropped()
{
    // A line far slower than its stated rate: the stream takes a second the clock did not foresee.
    Line line(100ms, 115200);
    line.onWrite = [](const std::string& bytes) {
        if (bytes.size() == 3)
            std::this_thread::sleep_for(300ms);
    };
    line.conversation->submit(picture());
    QTRY_COMPARE(line.written(), QStringList{"P"});
    line.conversation->received("(");
    line.conversation->submit(plain(directionJob(Direction::RightToLeft)));
    QTRY_VERIFY_WITH_TIMEOUT(line.ended().size() >= 1, 3000);
    const CommandEnd dropped = line.ended().front();
    QCOMPARE(dropped.kind, CommandEnd::Dropped);
    QVERIFY(QString::fromStdString(dropped.message).startsWith(QStringLiteral(".فرمان")));
    QTest::qWait(1200);
    QVERIFY(!line.written().contains(QStringLiteral("H")));
}

// The printer answers a text with "r" (received) and "@" (ready to print).
void TestConversation::textEndsOnBothItsReplies_data()
{
    QTest::addColumn<QStringList>("chunks");
    QTest::addColumn<int>("kind");
    const QString both = msg(kMsgTextReceived) + "\n" + msg(kMsgTextReady);
    QTest::addColumn<QString>("message");
    QTest::newRow("one after the other") << QStringList{"r", "@"} << int(CommandEnd::Answered) << both;
    QTest::newRow("in one chunk") << QStringList{"r@"} << int(CommandEnd::Answered) << both;
    QTest::newRow("\"@\" never comes") << QStringList{"r"} << int(CommandEnd::NoReply) << QString();
}

void TestConversation::textEndsOnBothItsReplies()
{
    QFETCH(QStringList, chunks);
    QFETCH(int, kind);
    QFETCH(QString, message);
    Line line(300ms);
    line.conversation->submit(text());
    QTRY_COMPARE(line.written(), QStringList{"T"});
    line.conversation->received("}");
    QTRY_COMPARE(line.written(), (QStringList{"T", "0001", " "}));
    for (const QString& c : chunks) {
        QTest::qWait(100); // each its own chunk, well inside the time-out
        QCOMPARE(line.ended().size(), std::size_t(0));
        line.conversation->received(c.toStdString());
    }
    QTRY_COMPARE(line.ended().size(), std::size_t(1));
    QCOMPARE(int(line.ended()[0].kind), kind);
    QCOMPARE(QString::fromStdString(line.ended()[0].message), message);
    QTest::qWait(400); // past the time-out: nothing more is told
    QCOMPARE(line.ended().size(), std::size_t(1));
}

// Either of "a" and "n" answers the expiry layout and the expiry days.
void TestConversation::eitherLetterAnswersTheExpiryCommands_data()
{
    QTest::addColumn<Job>("job");
    QTest::addColumn<QString>("letter");
    QTest::addColumn<QString>("reply");
    QTest::newRow("layout, \"a\"") << expiryLayoutJob("018251251239153251251") << "V" << "a";
    QTest::newRow("layout, \"n\"") << expiryLayoutJob("018251251239153251251") << "V" << "n";
    QTest::newRow("days, \"n\"") << expiryDaysJob("7") << "n" << "n";
    QTest::newRow("days, \"a\"") << expiryDaysJob("7") << "n" << "a";
}

void TestConversation::eitherLetterAnswersTheExpiryCommands()
{
    QFETCH(Job, job);
    QFETCH(QString, letter);
    QFETCH(QString, reply);
    Line line;
    line.conversation->submit(plain(job));
    QTRY_COMPARE(line.written().size(), qsizetype(2));
    QCOMPARE(line.written().front(), letter);
    line.conversation->received(reply.toStdString());
    QTRY_COMPARE(line.ended().size(), std::size_t(1));
    QCOMPARE(line.ended()[0].kind, CommandEnd::Answered);
    QCOMPARE(QString::fromStdString(line.ended()[0].message), msg(kMsgExpiryDateSet));
    QCOMPARE(QString::fromStdString(line.ended()[0].reply), reply);
    QVERIFY(line.conversation->idle());
}

QTEST_MAIN(TestConversation)
#include "tst_conversation.moc"
