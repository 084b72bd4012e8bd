#include "Choices.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

QString Choices::folder()
{
    const QString dir = qEnvironmentVariable("KORVEL_CONFIG_DIR");
    if (!dir.isEmpty())
        return dir;
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/korvel");
}

QString Choices::defaultPath() { return folder() + QStringLiteral("/choices.txt"); }

Choices::Choices(QString path) : path_(std::move(path)) {}

namespace {

QString escape(const QString& s)
{
    QString out;
    out.reserve(s.size());
    for (QChar c : s) {
        if (c == QLatin1Char('\\'))
            out += QStringLiteral("\\\\");
        else if (c == QLatin1Char('\n'))
            out += QStringLiteral("\\n");
        else if (c == QLatin1Char('\r'))
            out += QStringLiteral("\\r");
        else
            out += c;
    }
    return out;
}

QString unescape(QStringView s)
{
    QString out;
    out.reserve(s.size());
    for (qsizetype i = 0; i < s.size(); ++i) {
        if (s[i] != QLatin1Char('\\') || i + 1 == s.size()) {
            out += s[i];
            continue;
        }
        const QChar next = s[++i];
        out += next == QLatin1Char('n') ? QChar('\n') : next == QLatin1Char('r') ? QChar('\r') : next;
    }
    return out;
}

} // namespace

QByteArray Choices::serialise(const QMap<QString, QString>& values)
{
    QString text;
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        text += escape(it.key()).replace(QLatin1Char('='), QStringLiteral("\\=")) + QLatin1Char('=') +
                escape(it.value()) + QStringLiteral("\r\n");
    return text.toUtf8();
}

QMap<QString, QString> Choices::parse(const QByteArray& bytes)
{
    QMap<QString, QString> values;
    const QString text = QString::fromUtf8(bytes);
    for (QStringView line : QStringView(text).split(QLatin1Char('\n'))) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        // The first '=' not escaped ends the key.
        qsizetype at = -1;
        for (qsizetype i = 0; i < line.size(); ++i) {
            if (line[i] == QLatin1Char('\\')) {
                ++i;
                continue;
            }
            if (line[i] == QLatin1Char('=')) {
                at = i;
                break;
            }
        }
        if (at <= 0)
            continue;
        values.insert(unescape(line.left(at)), unescape(line.mid(at + 1)));
    }
    return values;
}

bool Choices::load()
{
    QFile file(path_);
    if (!file.exists())
        return true;
    if (!file.open(QIODevice::ReadOnly)) {
        error_ = file.errorString();
        return false;
    }
    values_ = parse(file.readAll());
    return true;
}

QString writeFileWhole(const QString& path, const QByteArray& bytes)
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return QStringLiteral("cannot create folder %1").arg(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    // A short write leaves the old file in place: commit only what was written whole.
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        file.commit();
        return reason;
    }
    if (!file.commit())
        return file.errorString();
    return {};
}

bool Choices::save()
{
    error_ = writeFileWhole(path_, serialise(values_));
    dirty_ = !error_.isEmpty();
    return !dirty_;
}

int Choices::intValue(const QString& key, int fallback) const
{
    bool ok = false;
    const int n = values_.value(key).toInt(&ok);
    return ok ? n : fallback;
}

bool Choices::set(const QString& key, const QString& value, bool saveNow)
{
    if (!values_.contains(key) || values_.value(key) != value) {
        values_.insert(key, value);
        dirty_ = true;
    }
    return !saveNow || !dirty_ || save();
}

QStringList Choices::list(const QString& key) const
{
    const QString v = values_.value(key);
    return v.isEmpty() ? QStringList() : v.split(QLatin1Char('\n'));
}

bool Choices::setList(const QString& key, const QStringList& values)
{
    return set(key, values.join(QLatin1Char('\n')));
}
