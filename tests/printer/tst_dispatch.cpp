// The dispatcher's decisions for chunks and chunk sequences, and the
// settings report parser.
#include "printer/Dispatch.h"
#include "printer/Messages.h"
#include "printer/Responses.h"

#include <QTest>

using namespace korvel::printer;

namespace {

QString field(const ReportField& f)
{
    const QString text = QString::fromStdString(f.text);
    return text == QString::number(f.position) ? text : text + ">" + QString::number(f.position);
}

QString reportText(const Report& r)
{
    return QStringList{field(r.ink), field(r.count), field(r.delayAfter), field(r.initialDelay),
                       field(r.resolution)}
        .join(',');
}

QString q(const std::string& s) { return QString::fromStdString(s); }

// One short word per effect so a table row reads like the algorithm.
QString describe(const Effect& e)
{
    switch (e.kind) {
    case EffectKind::StopNoReplyTimer: return "stop";
    case EffectKind::SetEdit2: return "edit2:" + q(e.text);
    case EffectKind::ApplyReport: return "apply:" + reportText(e.report);
    case EffectKind::ReportInvalid:
        return e.text == kMsgReportInvalid ? "invalid" : "invalid-with-wrong-text";
    case EffectKind::Message: {
        const Response* r = findResponse(e.response);
        return r && r->message == e.text ? "msg:" + q(e.response) : "msg-with-wrong-text:" + q(e.response);
    }
    case EffectKind::WriteRequestSettings: return "write-u";
    case EffectKind::HideLabelSend: return "hide-label";
    case EffectKind::ShowLabelSend:
        return e.text == kCaptionSaving ? "show-label" : "show-label-with-wrong-caption";
    case EffectKind::ProgressReset:
        return "reset:" + QString::number(e.position) + "/" + QString::number(e.maximum);
    case EffectKind::StartTimer3: return "timer3";
    case EffectKind::ProgressAdvance: return "advance:" + QString::number(e.position);
    case EffectKind::HideStatusSend: return "hide-status";
    case EffectKind::ProgressMaximum: return "max:" + QString::number(e.maximum);
    case EffectKind::AppendLog: return "log:" + q(e.text);
    case EffectKind::StartTextUpload: return "text-upload";
    case EffectKind::StartImageUpload: return "image-upload";
    case EffectKind::ProgressPosition: return "pos:" + QString::number(e.position);
    case EffectKind::ShowStatusSend: return "show-bar";
    }
    return "?";
}

QStringList describe(const std::vector<Effect>& effects)
{
    QStringList out;
    for (const Effect& e : effects)
        out << describe(e);
    return out;
}

// The effects every chunk has around its responses.
QStringList around(const QString& chunk, const QStringList& middle, const QStringList& after = {})
{
    return QStringList{"stop", "edit2:" + chunk} + middle + QStringList{"log:" + chunk} + after;
}

} // namespace

class TestDispatch : public QObject {
    Q_OBJECT
private slots:
    void chunks_data();
    void chunks();
    void report_data();
    void report();
    void reportAppliedInTrackBarOrder();
    void catalogue();
};

void TestDispatch::chunks_data()
{
    // chunks: handled one after the other with one state; "<flush>" stands for
    // the quiet time after which a held-back tail is given up on.
    QTest::addColumn<QStringList>("chunks");
    QTest::addColumn<QStringList>("effects");

    QTest::newRow("nothing known") << QStringList{"xyz"} << around("xyz", {});
    QTest::newRow("connection then data received")
        << QStringList{"sk"} << around("sk", {"msg:s", "write-u", "hide-label", "msg:k"});
    QTest::newRow("pload is one message")
        << QStringList{"pload"} << around("pload", {"msg:pload"});
    QTest::newRow("pload and another letter")
        << QStringList{"ploadk"} << around("ploadk", {"msg:pload", "msg:k"});
    QTest::newRow("letters outside the word still fire")
        << QStringList{"dploadd"} << around("dploadd", {"msg:pload", "msg:d"});
    QTest::newRow("p and a apart are their own")
        << QStringList{"pa"} << around("pa", {"msg:p", "msg:a"});
    QTest::newRow("pload split over two chunks")
        << QStringList{"plo", "ad"} << around("plo", {}) + around("ad", {"msg:pload"});
    QTest::newRow("pload a byte at a time")
        << QStringList{"p", "l", "o", "a", "d"}
        << around("p", {}) + around("l", {}) + around("o", {}) + around("a", {}) + around("d", {"msg:pload"});
    QTest::newRow("held p resolved by a chunk that is no word")
        << QStringList{"kp", "x"} << around("kp", {"msg:k"}) + around("x", {"msg:p"});
    QTest::newRow("held pl released in table order with the next letters")
        << QStringList{"pl", "c"} << around("pl", {}) + around("c", {"msg:p", "msg:l", "msg:c"});
    QTest::newRow("image error alone, given up on after the quiet time")
        << QStringList{"p", "<flush>"} << around("p", {}) + QStringList{"msg:p"};
    QTest::newRow("flush with nothing held") << QStringList{"k", "<flush>"} << around("k", {"msg:k"});
    QTest::newRow("table order, not chunk order")
        << QStringList{"crnBGgaHhjdltqp{S@ek"}
        << around("crnBGgaHhjdltqp{S@ek",
                  {"msg:@", "msg:e", "msg:k", "msg:S", "msg:{", "msg:p", "msg:q", "msg:t", "msg:l", "msg:d",
                   "msg:j", "msg:h", "msg:H", "msg:a", "msg:g", "msg:G", "msg:B", "msg:n", "msg:r", "msg:c"});
    QTest::newRow("steps after the w of the same chunk count") << QStringList{"%w%%"}
        << around("%w%%", {"advance:3", "msg:w", "show-label", "reset:2/100", "timer3"});
    QTest::newRow("a letter twice fires once; each % is a step") << QStringList{"dd%%"} << around("dd%%", {"advance:2", "msg:d"});
    QTest::newRow("saving")
        << QStringList{"w"} << around("w", {"msg:w", "show-label", "reset:0/100", "timer3"});
    QTest::newRow("saving progress and saved")
        << QStringList{"%v"} << around("%v", {"advance:1", "hide-label", "msg:v", "hide-status", "max:240"});
    QTest::newRow("text upload wins over image upload")
        << QStringList{"}("} << around("}(", {}, {"text-upload"});
    QTest::newRow("image upload") << QStringList{"("} << around("(", {}, {"image-upload"});
    QTest::newRow("reply letters before an upload request")
        << QStringList{"r@}"} << around("r@}", {"msg:@", "msg:r"}, {"text-upload"});

    QTest::newRow("report in one chunk")
        << QStringList{"u,5,2,7,9,3."} << around("u,5,2,7,9,3.", {"apply:5,2,7,9,3"});
    QTest::newRow("report split over two chunks")
        << QStringList{"u,5,2", ",7,9,3."} << around("u,5,2", {}) + around(",7,9,3.", {"apply:5,2,7,9,3"});
    QTest::newRow("report with two-digit values")
        << QStringList{"u,12,34,56,78,90."} << around("u,12,34,56,78,90.", {"apply:12,34,56,78,90"});
    QTest::newRow("report longer than ten characters")
        << QStringList{"u,5,2,7,10,3."} << around("u,5,2,7,10,3.", {"apply:5,2,7,10,3"});
    QTest::newRow("report split a byte at a time at the end")
        << QStringList{"u,255,255,255,255,25", "5", "."}
        << around("u,255,255,255,255,25", {}) + around("5", {}) + around(".", {"apply:255,255,255,255,255"});
    QTest::newRow("report after the acknowledgement in one chunk")
        << QStringList{"su,1,2,3,4,5."}
        << around("su,1,2,3,4,5.", {"apply:1,2,3,4,5", "msg:s", "write-u", "hide-label"});
    QTest::newRow("report values clamp, labels keep the text")
        << QStringList{"u,0,300,007,1,99999999999."}
        << around("u,0,300,007,1,99999999999.", {"apply:0>1,300>255,007>7,1,99999999999>255"});
    QTest::newRow("malformed report told, then a good one applies")
        << QStringList{"u,1,2,3,4.", "u,1,2,3,4,5."}
        << around("u,1,2,3,4.", {"invalid"}) + around("u,1,2,3,4,5.", {"apply:1,2,3,4,5"});
    QTest::newRow("malformed report forgotten, a later full stop is ignored")
        << QStringList{"u,1,x,3,4,5.", "."} << around("u,1,x,3,4,5.", {"invalid"}) + around(".", {});
    QTest::newRow("full stop outside a report") << QStringList{"."} << around(".", {});
}

void TestDispatch::chunks()
{
    QFETCH(QStringList, chunks);
    QFETCH(QStringList, effects);
    DispatchState state;
    QStringList got;
    for (const QString& chunk : chunks) {
        if (chunk == "<flush>")
            got += describe(flushHeldBack(state));
        else
            got += describe(dispatchChunk(chunk.toStdString(), state));
    }
    QCOMPARE(got, effects);
}

void TestDispatch::report_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("fields"); // empty: refused

    QTest::newRow("single digits") << "u,5,2,7,9,3." << "5,2,7,9,3";
    QTest::newRow("three digits") << "u,255,128,100,200,1." << "255,128,100,200,1";
    QTest::newRow("anything before the first comma") << "garbage u here,1,2,3,4,5." << "1,2,3,4,5";
    QTest::newRow("anything after the full stop") << "u,1,2,3,4,5.sk" << "1,2,3,4,5";
    QTest::newRow("long value clamps") << "u,1,2,3,4,123456789012345678901234567890." << "1,2,3,4,123456789012345678901234567890>255";
    QTest::newRow("missing field") << "u,1,2,3,4." << "";
    QTest::newRow("extra field") << "u,1,2,3,4,5,6." << "";
    QTest::newRow("empty field") << "u,1,,3,4,5." << "";
    QTest::newRow("empty last field") << "u,1,2,3,4,." << "";
    QTest::newRow("non-digit") << "u,1,2,3a,4,5." << "";
    QTest::newRow("sign") << "u,1,-2,3,4,5." << "";
    QTest::newRow("blank inside") << "u,1, 2,3,4,5." << "";
    QTest::newRow("no full stop") << "u,1,2,3,4,5" << "";
    QTest::newRow("no comma") << "u." << "";
    QTest::newRow("empty") << "" << "";
}

void TestDispatch::report()
{
    QFETCH(QString, text);
    QFETCH(QString, fields);
    const std::optional<Report> r = parseSettingsReport(text.toStdString());
    QCOMPARE(r ? reportText(*r) : QString(), fields);
}

void TestDispatch::reportAppliedInTrackBarOrder()
{
    const Report r = *parseSettingsReport("u,1,2,3,4,5.");
    QStringList got;
    for (const TrackBarUpdate& u : reportUpdates(r))
        got << QString::fromLatin1(u.trackBar.data(), u.trackBar.size()) + "/" +
                   QString::fromLatin1(u.label.data(), u.label.size()) + "=" + field(u.field);
    QCOMPARE(got, (QStringList{"TrackBar1/Label6=4", "TrackBar5/Label7=5", "TrackBar4/Label8=1",
                               "TrackBar6/Label9=2", "TrackBar7/Label10=3"}));
}

void TestDispatch::catalogue()
{
    const auto table = responses();
    QCOMPARE(table.size(), std::size_t{29});
    for (std::size_t i = 0; i < table.size(); ++i) {
        QCOMPARE(table[i].order, int(i) + 1);
        QCOMPARE(findResponse(table[i].text), &table[i]);
        const bool shows = table[i].action == ResponseAction::Message ||
                           table[i].action == ResponseAction::Connected ||
                           table[i].action == ResponseAction::Saving || table[i].action == ResponseAction::Saved;
        QCOMPARE(!table[i].message.empty(), shows);
    }
    QCOMPARE(findResponse("n")->message, findResponse("a")->message);
    QCOMPARE(findResponse("x"), nullptr);
}

QTEST_APPLESS_MAIN(TestDispatch)
#include "tst_dispatch.moc"
