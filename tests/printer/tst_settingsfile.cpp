// setting.dll: its text, its parsing, writing it whole, and port names.
#include "printer/SettingsFile.h"

#include <QTemporaryDir>
#include <QTest>

#include <fstream>
#include <sstream>

using namespace korvel::printer;

class TestSettingsFile : public QObject {
    Q_OBJECT
private slots:
    void text();
    void parse_data();
    void parse();
    void writeThenRead();
    void failuresNameTheFile();
    void portNames_data();
    void portNames();
};

void TestSettingsFile::text()
{
    QCOMPARE(settingsFileText(4), std::string("4\r\n0\r\n"));
    QCOMPARE(settingsFileText(-1), std::string("-1\r\n0\r\n"));
}

void TestSettingsFile::parse_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("index"); // -2: malformed
    QTest::newRow("index") << QByteArray("4\r\n0\r\n") << 4;
    QTest::newRow("nothing selected") << QByteArray("-1\r\n0\r\n") << -1;
    QTest::newRow("highest") << QByteArray("254\r\n0\r\n") << 254;
    QTest::newRow("no second line") << QByteArray("29") << 29;
    QTest::newRow("line feed only") << QByteArray("7\n0\n") << 7;
    QTest::newRow("255 out of range") << QByteArray("255\r\n0\r\n") << -2;
    QTest::newRow("-2 out of range") << QByteArray("-2\r\n0\r\n") << -2;
    QTest::newRow("letters") << QByteArray("abc\r\n0\r\n") << -2;
    QTest::newRow("trailing junk") << QByteArray("4x\r\n") << -2;
    QTest::newRow("blank first line") << QByteArray("\r\n0\r\n") << -2;
    QTest::newRow("empty") << QByteArray() << -2;
    QTest::newRow("huge number") << QByteArray("99999999999999999999") << -2;
}

void TestSettingsFile::parse()
{
    QFETCH(QByteArray, content);
    QFETCH(int, index);
    const std::optional<int> got = parseSettingsFile(content.toStdString());
    QCOMPARE(got.value_or(-2), index);
}

void TestSettingsFile::writeThenRead()
{
    QTemporaryDir dir;
    const std::string path = dir.filePath(kSettingsFileName).toStdString();
    QCOMPARE(readSettingsFile(path), std::optional<int>{}); // missing
    writeSettingsFile(path, 4);
    writeSettingsFile(path, 29); // replaces, never appends
    std::ifstream in(path, std::ios::binary);
    std::stringstream all;
    all << in.rdbuf();
    QCOMPARE(all.str(), std::string("29\r\n0\r\n"));
    QCOMPARE(readSettingsFile(path), std::optional<int>{29});
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{kSettingsFileName});
}

void TestSettingsFile::failuresNameTheFile()
{
    QTemporaryDir dir;
    const std::string inMissingFolder = dir.filePath("missing/setting.dll").toStdString();
    try {
        writeSettingsFile(inMissingFolder, 4);
        QFAIL("writing into a missing folder succeeded");
    } catch (const std::runtime_error& e) {
        const QString what = QString::fromLocal8Bit(e.what());
        QVERIFY2(what.contains(QString::fromStdString(inMissingFolder)) && what.contains("No such file"), e.what());
    }
    // A folder where the file should be: it exists but cannot be read, nor replaced.
    const std::string folder = dir.filePath(kSettingsFileName).toStdString();
    QVERIFY(QDir(dir.path()).mkdir(kSettingsFileName));
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, readSettingsFile(folder));
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, writeSettingsFile(folder, 4));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{});
}

void TestSettingsFile::portNames_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("name");
    QTest::newRow("first") << 0 << "COM1";
    QTest::newRow("COM5") << 4 << "COM5";
    QTest::newRow("last named") << 253 << "COM254";
    QTest::newRow("custom entry") << 254 << "";
    QTest::newRow("nothing selected") << -1 << "";
}

void TestSettingsFile::portNames()
{
    QFETCH(int, index);
    QFETCH(QString, name);
    QCOMPARE(QString::fromStdString(portNameForIndex(index)), name);
}

QTEST_GUILESS_MAIN(TestSettingsFile)
#include "tst_settingsfile.moc"
