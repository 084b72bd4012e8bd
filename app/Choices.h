// The operator's choices, kept across restarts in a file of our own in the
// user's settings folder; every change rewrites the file whole.
#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

class Choices {
public:
    // $KORVEL_CONFIG_DIR if set, else korvel in the user's settings folder.
    static QString folder();
    // choices.txt in folder().
    static QString defaultPath();

    explicit Choices(QString path = defaultPath());

    // Reads the file; a missing file gives no choices. False (with the reason
    // in error()) when it exists and cannot be read.
    bool load();
    // Writes the file whole through a temporary file; false with error() set.
    bool save();
    const QString& error() const { return error_; }
    const QString& path() const { return path_; }

    bool contains(const QString& key) const { return values_.contains(key); }
    QString value(const QString& key, const QString& fallback = {}) const { return values_.value(key, fallback); }
    int intValue(const QString& key, int fallback) const;
    // Sets and, when the value changed and saveNow, saves; false when saving failed.
    bool set(const QString& key, const QString& value, bool saveNow = true);
    bool isDirty() const { return dirty_; } // changed since the last save
    bool setInt(const QString& key, int value) { return set(key, QString::number(value)); }
    QStringList list(const QString& key) const;
    bool setList(const QString& key, const QStringList& values);

    // The file's text and back: "key=value" lines, CR LF; "\\", "\n" and "\r" escaped.
    static QByteArray serialise(const QMap<QString, QString>& values);
    static QMap<QString, QString> parse(const QByteArray& text);

private:
    QString path_;
    QString error_;
    QMap<QString, QString> values_;
    bool dirty_ = false;
};

// Writes bytes to path whole through a temporary file and rename; the reason
// when it failed, empty when written.
QString writeFileWhole(const QString& path, const QByteArray& bytes);
