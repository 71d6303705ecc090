#pragma once

#include <QObject>
#include <QString>

namespace timing { class Clock; }

namespace shell {

// Case-insensitive prefix test (a shorter text is false, an empty prefix true).
bool ComecaCom(const QString& text, const QString& prefix);

// What follows the first prefix.size() characters, spaces trimmed.
QString RestoApos(const QString& text, const QString& prefix);

// The friendly sentence the log shows for a technical message, or "" for a
// message that is not logged (status polling, automatic quality changes).
QString TextoAmigavel(const QString& message);

// The activity log `txtLog`: one friendly line per event, newest first,
// "hh:nn:ss - " before each, never more than 12000 characters. Lives on the
// user-interface thread; `changed` tells a widget to mirror the text.
class ActivityLog : public QObject {
    Q_OBJECT
public:
    static constexpr qsizetype kMaxChars = 12000;

    explicit ActivityLog(const timing::Clock& clock, QObject* parent = nullptr);

    void LogEvent(const QString& message);
    const QString& text() const { return text_; }

signals:
    void changed();

private:
    const timing::Clock& clock_;
    QString text_;
};

}  // namespace shell
