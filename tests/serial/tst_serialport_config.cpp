// The component without a device: names, speeds, the data-width/stop-bits
// rule, Port/CustomPortName, the closed state, and the port map.
#include "serial/PortMap.h"
#include "serial/SerialPort.h"
#include "serial/platform/net/Telnet.h"

#include <QTemporaryDir>
#include <QFile>
#include <QtTest>

#include <algorithm>
#include <filesystem>
#include <fstream>

using namespace korvel::serial;

Q_DECLARE_METATYPE(TCommPort)
Q_DECLARE_METATYPE(TBaudRate)
Q_DECLARE_METATYPE(std::string)

class TestSerialConfig : public QObject {
    Q_OBJECT

    QTemporaryDir mapDir_;

private slots:
    void initTestCase()
    {
        QVERIFY(mapDir_.isValid());
        qputenv("KORVEL_PORT_MAP", mapDir_.path().toUtf8());
    }

    void defaults()
    {
        TSerialPort sp;
        QCOMPARE(sp.Port(), spNone);
        QCOMPARE(sp.BaudRate(), br004800);
        QCOMPARE(sp.DataWidth(), dw8Bits);
        QCOMPARE(sp.StopBits(), sb1Bit);
        QCOMPARE(sp.Parity(), pbNone);
        QVERIFY(sp.EnableDTROnOpen());
        QVERIFY(sp.EnableRTSOnOpen());
        QCOMPARE(sp.HwFlowControl(), hfNONE);
        QCOMPARE(sp.SwFlowControl(), sfNONE);
        QCOMPARE(sp.ReadIntervalTimeout(), -1);
        QCOMPARE(sp.ReadTotalTimeoutMultiplier(), 0);
        QCOMPARE(sp.ReadTotalTimeoutConstant(), 0);
        QCOMPARE(sp.WriteTotalTimeoutMultiplier(), 100);
        QCOMPARE(sp.WriteTotalTimeoutConstant(), 1000);
        QCOMPARE(sp.InputBuffer(), 4096u);
        QCOMPARE(sp.OutputBuffer(), 4096u);
        QCOMPARE(sp.Priority(), tpNormal);
        QCOMPARE(sp.Delay(), 50u);
        QCOMPARE(sp.CustomPortName(), std::string());
        QCOMPARE(sp.CustomBaudRate(), 0);
        QCOMPARE(sp.Version(), 1.5);
        QVERIFY(!sp.NeedSynchronization());
        QVERIFY(!sp.IsSending());
        QVERIFY(!sp.IsReceiving());
        QCOMPARE(sp.IsConnected(), spNone);
    }

    void stringToCommPort_data()
    {
        QTest::addColumn<std::string>("name");
        QTest::addColumn<TCommPort>("port");
        QTest::newRow("COM5") << std::string("COM5") << spCOM5;
        QTest::newRow("blanks around") << std::string(" \tCOM5\r\n ") << spCOM5;
        QTest::newRow("control chars around") << std::string("\x01" "COM5\x1f", 6) << spCOM5;
        QTest::newRow("first") << std::string("COM1") << spCOM1;
        QTest::newRow("last") << std::string("COM254") << spCOM254;
        QTest::newRow("lower case") << std::string("com5") << spCustom;
        QTest::newRow("leading zero") << std::string("COM05") << spCustom;
        QTest::newRow("zero") << std::string("COM0") << spCustom;
        QTest::newRow("255") << std::string("COM255") << spCustom;
        QTest::newRow("1000") << std::string("COM1000") << spCustom;
        QTest::newRow("no number") << std::string("COM") << spCustom;
        QTest::newRow("sign") << std::string("COM+5") << spCustom;
        QTest::newRow("trailing letter") << std::string("COM5x") << spCustom;
        QTest::newRow("inner blank") << std::string("COM 5") << spCustom;
        QTest::newRow("device path") << std::string("/dev/ttyUSB0") << spCustom;
        QTest::newRow("empty") << std::string() << spNone;
        QTest::newRow("blanks") << std::string("   ") << spNone;
    }
    void stringToCommPort()
    {
        QFETCH(std::string, name);
        QFETCH(TCommPort, port);
        TSerialPort sp;
        QCOMPARE(sp.StringToCommPort(name), port);
    }

    void commPortToStringRoundTrips()
    {
        TSerialPort sp;
        for (int n = 1; n <= 254; ++n) {
            const std::string name = sp.CommPortToString(spCOM(n));
            QCOMPARE(name, "COM" + std::to_string(n));
            QCOMPARE(sp.StringToCommPort(name), spCOM(n));
        }
        QCOMPARE(sp.CommPortToString(spNone), std::string());
        QCOMPARE(sp.CommPortToString(spCustom), std::string());
        sp.setCustomPortName("/dev/ttyUSB3");
        QCOMPARE(sp.CommPortToString(spCustom), std::string("/dev/ttyUSB3"));
    }

    void baudRates_data()
    {
        QTest::addColumn<TBaudRate>("rate");
        QTest::addColumn<int>("bitsPerSecond");
        const int rates[] = {75,    110,   134,   150,   300,    600,    1200,   1800,   2400,   4800,   7200,
                             9600,  14400, 19200, 38400, 57600,  115200, 128000, 230400, 256000, 460800, 921600};
        for (int i = 0; i < 22; ++i)
            QTest::newRow(std::to_string(rates[i]).c_str()) << static_cast<TBaudRate>(i) << rates[i];
    }
    void baudRates()
    {
        QFETCH(TBaudRate, rate);
        QFETCH(int, bitsPerSecond);
        TSerialPort sp;
        QCOMPARE(sp.BaudRateToInt(rate), bitsPerSecond);
        QCOMPARE(sp.IntToBaudRate(bitsPerSecond), rate);
        sp.setBaudRate(rate);
        QCOMPARE(sp.BaudRate(), rate);
    }

    void customBaudRate()
    {
        TSerialPort sp;
        QCOMPARE(sp.IntToBaudRate(9601), brCustom);
        QCOMPARE(sp.IntToBaudRate(0), brCustom);
        QCOMPARE(sp.BaudRateToInt(brCustom), 0);

        // brCustom stands for whatever CustomBaudRate holds, also a listed rate.
        sp.setCustomBaudRate(9600);
        QCOMPARE(sp.BaudRate(), br004800);  // not custom yet: unchanged
        sp.setBaudRate(brCustom);
        QCOMPARE(sp.BaudRateToInt(brCustom), 9600);
        QCOMPARE(sp.BaudRate(), br009600);

        sp.setCustomBaudRate(250000);
        QCOMPARE(sp.BaudRate(), br009600);  // 9600 does not read as custom any more
        sp.setBaudRate(brCustom);
        QCOMPARE(sp.BaudRate(), brCustom);
        sp.setCustomBaudRate(31250);         // while custom, the rate follows
        QCOMPARE(sp.BaudRate(), brCustom);
        QCOMPARE(sp.IntToBaudRate(31250), brCustom);
        sp.setCustomBaudRate(19200);
        QCOMPARE(sp.BaudRate(), br019200);
    }

    void dataWidthStopBits_data()
    {
        QTest::addColumn<int>("width");     // starting TDataWidth
        QTest::addColumn<int>("stop");      // starting TStopBits
        QTest::addColumn<bool>("setWidth"); // else set StopBits
        QTest::addColumn<int>("value");
        QTest::addColumn<bool>("refused");
        QTest::newRow("8 bits with 1.5 stops") << int(dw5Bits) << int(sb1_5Bits) << true << int(dw8Bits) << true;
        QTest::newRow("6 bits with 1.5 stops") << int(dw5Bits) << int(sb1_5Bits) << true << int(dw6Bits) << true;
        QTest::newRow("5 bits with 2 stops") << int(dw8Bits) << int(sb2Bits) << true << int(dw5Bits) << true;
        QTest::newRow("5 bits with 1.5 stops") << int(dw5Bits) << int(sb1_5Bits) << true << int(dw5Bits) << false;
        QTest::newRow("7 bits with 2 stops") << int(dw8Bits) << int(sb2Bits) << true << int(dw7Bits) << false;
        QTest::newRow("5 bits with 1 stop") << int(dw8Bits) << int(sb1Bit) << true << int(dw5Bits) << false;
        QTest::newRow("2 stops on 5 bits") << int(dw5Bits) << int(sb1Bit) << false << int(sb2Bits) << true;
        QTest::newRow("1.5 stops on 8 bits") << int(dw8Bits) << int(sb1Bit) << false << int(sb1_5Bits) << true;
        QTest::newRow("1.5 stops on 6 bits") << int(dw6Bits) << int(sb1Bit) << false << int(sb1_5Bits) << true;
        QTest::newRow("1.5 stops on 5 bits") << int(dw5Bits) << int(sb1Bit) << false << int(sb1_5Bits) << false;
        QTest::newRow("2 stops on 8 bits") << int(dw8Bits) << int(sb1Bit) << false << int(sb2Bits) << false;
        QTest::newRow("1 stop on 5 bits") << int(dw5Bits) << int(sb1_5Bits) << false << int(sb1Bit) << false;
    }
    void dataWidthStopBits()
    {
        QFETCH(int, width);
        QFETCH(int, stop);
        QFETCH(bool, setWidth);
        QFETCH(int, value);
        QFETCH(bool, refused);
        TSerialPort sp;
        // Reach the starting point through combinations the rule allows.
        if (stop == sb1_5Bits) {
            sp.setDataWidth(dw5Bits);
            sp.setStopBits(sb1_5Bits);
        } else {
            sp.setStopBits(static_cast<TStopBits>(stop));
        }
        sp.setDataWidth(static_cast<TDataWidth>(width));
        QCOMPARE(int(sp.DataWidth()), width);
        QCOMPARE(int(sp.StopBits()), stop);

        bool raised = false;
        try {
            if (setWidth)
                sp.setDataWidth(static_cast<TDataWidth>(value));
            else
                sp.setStopBits(static_cast<TStopBits>(value));
        } catch (const SerialError& e) {
            raised = true;
            QCOMPARE(std::string(e.what()), std::string("Invalid data-width and stop-bits combination."));
        }
        QCOMPARE(raised, refused);
        QCOMPARE(int(sp.DataWidth()), refused || !setWidth ? width : value);
        QCOMPARE(int(sp.StopBits()), refused || setWidth ? stop : value);
    }

    void portAndCustomName()
    {
        TSerialPort sp;
        // spCustom without a name empties the port.
        sp.setPort(spCOM5);
        sp.setPort(spCustom);
        QCOMPARE(sp.Port(), spNone);
        QCOMPARE(sp.devicePath(), std::string());

        // The custom name is stored trimmed and copied when spCustom is chosen.
        sp.setCustomPortName("  /dev/ttyUSB0\t");
        QCOMPARE(sp.CustomPortName(), std::string("/dev/ttyUSB0"));
        QCOMPARE(sp.Port(), spNone);
        sp.setPort(spCustom);
        QCOMPARE(sp.Port(), spCustom);
        QCOMPARE(sp.devicePath(), std::string("/dev/ttyUSB0"));

        // While custom, a new name replaces the port; "COM7" then reads as spCOM7.
        sp.setCustomPortName("/dev/ttyACM1");
        QCOMPARE(sp.devicePath(), std::string("/dev/ttyACM1"));
        sp.setCustomPortName("COM7");
        QCOMPARE(sp.Port(), spCOM7);

        // Not custom any more: the name no longer follows.
        sp.setCustomPortName("/dev/ttyUSB9");
        QCOMPARE(sp.Port(), spCOM7);
        QCOMPARE(sp.CustomPortName(), std::string("/dev/ttyUSB9"));

        // Choosing spCustom again copies the current custom name.
        sp.setPort(spCustom);
        QCOMPARE(sp.devicePath(), std::string("/dev/ttyUSB9"));
    }

    void closedComponent_data()
    {
        QTest::addColumn<TCommPort>("port");
        QTest::addColumn<std::string>("message");
        QTest::newRow("COM5") << spCOM5 << std::string("COM5 is not open.");
        QTest::newRow("no port") << spNone << std::string(" is not open.");
        QTest::newRow("custom") << spCustom << std::string("/dev/ttyKORVEL is not open.");
    }
    void closedComponent()
    {
        QFETCH(TCommPort, port);
        QFETCH(std::string, message);
        TSerialPort sp;
        sp.setCustomPortName("/dev/ttyKORVEL");
        sp.setPort(port);
        int sent = 0;
        sp.OnSend = [&](TSerialPort*, const std::string&) { ++sent; };

        const char byte = 'x';
        for (int which = 0; which < 3; ++which) {
            try {
                if (which == 0)
                    sp.SendString("abc");
                else if (which == 1)
                    sp.SendData(&byte, 1);
                else
                    sp.SendString("");
                QFAIL("a send while closed must raise");
            } catch (const SerialError& e) {
                QCOMPARE(std::string(e.what()), message);
            }
        }
        QCOMPARE(sent, 0);
        QVERIFY(!sp.IsSending());

        QVERIFY(!sp.GetCTS());
        QVERIFY(!sp.GetDSR());
        QVERIFY(!sp.GetRING());
        QVERIFY(!sp.GetCD());
        for (bool on : {true, false}) {
            QVERIFY(!sp.SetBreak(on));
            QVERIFY(!sp.SetDTR(on));
            QVERIFY(!sp.SetRTS(on));
            QVERIFY(!sp.SetXonXoff(on));
        }
        QVERIFY(!sp.ClearInputBuffer());
        QVERIFY(!sp.ClearOutputBuffer());
        sp.Close();
        QCOMPARE(sp.IsConnected(), spNone);
    }

    void openWithoutPortDoesNothing()
    {
        TSerialPort sp;
        int events = 0;
        sp.OnConnect = [&](TSerialPort*, TCommPort) { ++events; };
        sp.OnDisconnect = [&](TSerialPort*, TCommPort) { ++events; };
        sp.Open();  // must not raise
        QCOMPARE(sp.IsConnected(), spNone);
        QCOMPARE(events, 0);
    }

    void portMapResolves()
    {
        namespace fs = std::filesystem;
        const std::string dir = mapDir_.path().toStdString();
        QCOMPARE(portMapDir(), dir);
        QCOMPARE(resolvePortDevice("COM12"), std::string("/dev/ttyS11"));
        QCOMPARE(resolvePortDevice("COM1"), std::string("/dev/ttyS0"));
        QCOMPARE(resolvePortDevice("/dev/ttyUSB0"), std::string("/dev/ttyUSB0"));
        QCOMPARE(resolvePortDevice("COM012"), std::string("COM012"));

        mapPort("COM12", "/dev/null");
        QCOMPARE(resolvePortDevice("COM12"), dir + "/COM12");
        QCOMPARE(fs::read_symlink(dir + "/COM12").string(), std::string("/dev/null"));
        mapPort("COM12", "/dev/zero");  // replaces
        QCOMPARE(fs::read_symlink(dir + "/COM12").string(), std::string("/dev/zero"));

        TSerialPort sp;
        sp.setPort(spCOM(12));
        QCOMPARE(sp.devicePath(), dir + "/COM12");

        unmapPort("COM12");
        QCOMPARE(resolvePortDevice("COM12"), std::string("/dev/ttyS11"));
        unmapPort("COM12");  // already gone: nothing to do

        QVERIFY_THROWS_EXCEPTION(std::runtime_error, mapPort("COM255", "/dev/null"));
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, mapPort("ttyS0", "/dev/null"));
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, unmapPort("COM0"));
    }

    void portMapCreatesItsFolder()
    {
        QTemporaryDir base;
        const QByteArray nested = (base.path() + "/a/b/ports").toUtf8();
        const QByteArray saved = qgetenv("KORVEL_PORT_MAP");
        qputenv("KORVEL_PORT_MAP", nested);
        mapPort("COM3", "/dev/null");
        const bool made = std::filesystem::is_symlink(nested.toStdString() + "/COM3");
        qputenv("KORVEL_PORT_MAP", saved);
        QVERIFY(made);
    }

    void discoveryListsTheMap()
    {
        mapPort("COM12", "/dev/null");
        mapPort("COM3", "/dev/zero");
        const auto ports = listPorts();
        QVERIFY(ports.size() >= 2);
        QCOMPARE(ports[0].name, std::string("COM3"));  // by number, not by text
        QCOMPARE(ports[0].device, std::string("/dev/zero"));
        QCOMPARE(ports[1].name, std::string("COM12"));
        for (std::size_t i = 2; i < ports.size(); ++i)
            QVERIFY(ports[i].device.rfind("/dev/tty", 0) == 0);

        TSerialPort sp;
        const TCommPortSet set = sp.GetExistingCommPorts();
        QVERIFY(set.test(3));
        QVERIFY(set.test(12));
        QVERIFY(!set.test(spNone));

        std::vector<std::string> names{"stale"};
        sp.GetExistingCommPortNames(names);
        QCOMPARE(names.size(), ports.size());
        QCOMPARE(names[0], std::string("COM3"));
        QCOMPARE(names[1], std::string("COM12"));
        QVERIFY(std::find(names.begin(), names.end(), "stale") == names.end());
        unmapPort("COM12");
        unmapPort("COM3");
    }

    void networkPortsAreMapped_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("stored");
        QTest::newRow("raw") << "tcp://127.0.0.1:2001" << "tcp://127.0.0.1:2001";
        QTest::newRow("rfc2217") << "rfc2217://printer-7.line2:4001" << "rfc2217://printer-7.line2:4001";
        QTest::newRow("ipv6") << "tcp://[::1]:65535" << "tcp://[::1]:65535";
        QTest::newRow("slash") << "rfc2217://10.0.0.9:7/" << "rfc2217://10.0.0.9:7/";
    }
    void networkPortsAreMapped()
    {
        QFETCH(QString, url);
        QFETCH(QString, stored);
        mapPort("COM40", "/dev/null");
        mapPort("COM40", url.toStdString());  // a link replaced by a URL
        QCOMPARE(QString::fromStdString(resolvePortDevice("COM40")), stored);
        const auto ports = listPorts();
        QVERIFY(!ports.empty());
        QCOMPARE(ports[0].name, std::string("COM40"));
        QCOMPARE(QString::fromStdString(ports[0].device), stored);
        TSerialPort sp;
        sp.setPort(spCOM(40));
        QCOMPARE(QString::fromStdString(sp.devicePath()), stored);
        QVERIFY(sp.GetExistingCommPorts().test(40));
        unmapPort("COM40");
        QCOMPARE(resolvePortDevice("COM40"), std::string("/dev/ttyS39"));
    }

    void badUrlsAreRefused_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("reason");
        QTest::newRow("scheme") << "http://127.0.0.1:80" << "only tcp:// and rfc2217:// are known";
        QTest::newRow("upper-case scheme") << "TCP://127.0.0.1:80" << "only tcp:// and rfc2217:// are known";
        QTest::newRow("no port") << "tcp://127.0.0.1" << "the port number is missing";
        QTest::newRow("empty port") << "rfc2217://127.0.0.1:" << "the port must be a number from 1 to 65535";
        QTest::newRow("port 0") << "tcp://127.0.0.1:0" << "the port must be a number from 1 to 65535";
        QTest::newRow("port 65536") << "tcp://127.0.0.1:65536" << "the port must be a number from 1 to 65535";
        QTest::newRow("port word") << "tcp://127.0.0.1:telnet" << "the port must be a number from 1 to 65535";
        QTest::newRow("no host") << "tcp://:2001" << "the host is missing";
        QTest::newRow("path") << "tcp://127.0.0.1:2001/x" << "the port must be a number from 1 to 65535";
        QTest::newRow("user") << "tcp://me@127.0.0.1:2001" << "bad character in the host name";
        QTest::newRow("open bracket") << "tcp://[::1:2001" << "an IPv6 address is written [ADDRESS]:PORT";
    }
    void badUrlsAreRefused()
    {
        QFETCH(QString, url);
        QFETCH(QString, reason);
        mapPort("COM41", "/dev/null");
        try {
            mapPort("COM41", url.toStdString());
            QFAIL("accepted");
        } catch (const std::runtime_error& e) {
            const QString text = QString::fromUtf8(e.what());
            QVERIFY2(text.startsWith("Cannot map COM41 to " + url + ": " + reason), qPrintable(text));
            QVERIFY(text.endsWith("(tcp://HOST:PORT or rfc2217://HOST:PORT)"));
        }
        // The entry before stays.
        QCOMPARE(std::filesystem::read_symlink(mapDir_.path().toStdString() + "/COM41").string(), std::string("/dev/null"));
        unmapPort("COM41");
    }

    void rfc2217LineSettings_data()
    {
        // Byte for byte from RFC 2217: IAC SB COM-PORT-OPTION(44) command value IAC SE;
        // SET-BAUDRATE 1 (4 bytes, network order), SET-DATASIZE 2, SET-PARITY 3
        // (1 none 2 odd 3 even 4 mark 5 space), SET-STOPSIZE 4 (1 one 2 two 3 one
        // and a half), SET-CONTROL 5 (1 no flow 2 XON/XOFF 3 hardware; 8/9 DTR
        // on/off; 11/12 RTS on/off). 0xFF inside a value is doubled.
        using korvel::serial::platform::LineSettings;
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("bits");
        QTest::addColumn<int>("parity");
        QTest::addColumn<int>("stop");
        QTest::addColumn<int>("flow");  // 0 none, 1 xon/xoff, 2 rts/cts
        QTest::addColumn<bool>("dtr");
        QTest::addColumn<bool>("rts");
        QTest::addColumn<QByteArray>("wire");
        auto sb = [](const QByteArray& body) { return QByteArray("\xff\xfa\x2c", 3) + body + QByteArray("\xff\xf0", 2); };
        QTest::newRow("9600 8N1, DTR and RTS")
            << 9600 << 8 << 0 << 0 << 0 << true << true
            << sb(QByteArray("\x01\x00\x00\x25\x80", 5)) + sb("\x02\x08") + sb("\x03\x01") + sb("\x04\x01")
                   + sb("\x05\x01") + sb("\x05\x08") + sb("\x05\x0b");
        QTest::newRow("65535 7E1.5, xon/xoff, lines off")
            << 65535 << 7 << 2 << 1 << 1 << false << false
            << sb(QByteArray("\x01\x00\x00\xff\xff\xff\xff", 7)) + sb("\x02\x07") + sb("\x03\x03")
                   + sb("\x04\x03") + sb("\x05\x02") + sb("\x05\x09") + sb("\x05\x0c");
        QTest::newRow("115200 8O2, rts/cts")
            << 115200 << 8 << 1 << 2 << 2 << true << true
            << sb(QByteArray("\x01\x00\x01\xc2\x00", 5)) + sb("\x02\x08") + sb("\x03\x02") + sb("\x04\x02")
                   + sb("\x05\x03") + sb("\x05\x08");
        QTest::newRow("mark") << 300 << 8 << 3 << 0 << 0 << true << false
            << sb(QByteArray("\x01\x00\x00\x01\x2c", 5)) + sb("\x02\x08") + sb("\x03\x04") + sb("\x04\x01")
                   + sb("\x05\x01") + sb("\x05\x08") + sb("\x05\x0c");
        QTest::newRow("space") << 300 << 8 << 4 << 0 << 0 << true << false
            << sb(QByteArray("\x01\x00\x00\x01\x2c", 5)) + sb("\x02\x08") + sb("\x03\x05") + sb("\x04\x01")
                   + sb("\x05\x01") + sb("\x05\x08") + sb("\x05\x0c");
    }
    void rfc2217LineSettings()
    {
        using korvel::serial::platform::LineSettings;
        QFETCH(int, rate);
        QFETCH(int, bits);
        QFETCH(int, parity);
        QFETCH(int, stop);
        QFETCH(int, flow);
        QFETCH(bool, dtr);
        QFETCH(bool, rts);
        QFETCH(QByteArray, wire);
        LineSettings s;
        s.baudRate = rate;
        s.byteSize = std::uint8_t(bits);
        s.parity = std::uint8_t(parity);
        s.stopBits = std::uint8_t(stop);
        s.dtrControl = dtr ? LineSettings::Dtr::Enable : LineSettings::Dtr::Disable;
        s.rtsControl = flow == 2 ? LineSettings::Rts::Handshake : rts ? LineSettings::Rts::Enable : LineSettings::Rts::Disable;
        s.outxCtsFlow = flow == 2;
        s.outX = s.inX = flow == 1;
        const std::string got = korvel::serial::platform::telnet::lineSettings(s);
        QCOMPARE(QByteArray(got.data(), qsizetype(got.size())).toHex(' '), wire.toHex(' '));
    }

    void telnetReceiveSide()
    {
        // ser2net 4.3's opening (captured), a baud-rate answer, a modem state,
        // then data with a doubled 0xFF.
        namespace t = korvel::serial::platform::telnet;
        const QByteArray in = QByteArray::fromHex("fffb03fffd03fffb01fffe01fffd00fffb00fffd2c"
                                                  "fffa2c6500002580fff0")
                              + QByteArray::fromHex("fffa2c6bb0fff0") + QByteArray("s\xff\xff!", 4);
        t::Receiver rx;
        std::string data, replies;
        rx.feed(reinterpret_cast<const unsigned char*>(in.data()), std::size_t(in.size()), data, replies);
        QCOMPARE(data, std::string("s\xff!"));
        // In order: DO SGA for WILL SGA, WILL SGA for DO SGA, DONT ECHO for WILL
        // ECHO; nothing for DONT ECHO, binary and COM-PORT-OPTION, agreed already.
        QCOMPARE(QByteArray(replies.data(), qsizetype(replies.size())).toHex(' '),
                 QByteArray::fromHex("fffd03fffb03fffe01").toHex(' '));
        QCOMPARE(rx.serverBaudRate(), 9600u);
        QCOMPARE(rx.modemState(), 0xb0);  // CTS, DSR, CD
        QCOMPARE(t::escape("a\xff", 2), std::string("a\xff\xff"));
    }

    void discoverySkipsPortsWithoutUart()
    {
        // The kernel's own word on each /dev/ttySk: sysfs type 0 is no UART.
        for (const auto& p : listPorts()) {
            if (p.device.rfind("/dev/ttyS", 0) != 0)
                continue;
            QFile type(QString::fromStdString("/sys/class/tty/" + p.device.substr(5) + "/type"));
            if (type.open(QIODevice::ReadOnly))
                QVERIFY2(type.readAll().trimmed() != "0", p.device.c_str());
        }
    }
};

QTEST_GUILESS_MAIN(TestSerialConfig)
#include "tst_serialport_config.moc"
