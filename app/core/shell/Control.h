#pragma once

#include <QColor>
#include <QObject>
#include <QString>

namespace shell {

// The few looks that behaviour sets on a control. Invalid colours mean the
// platform theme's default (window text, button face).
struct Look {
    int fontSize = 10;
    bool bold = false;
    QColor foreColor;
    QColor backColor;
    bool operator==(const Look&) const = default;
};

// One control of a window model, held as plain state under the control's own
// name (`txtEmail`, `cmdPermitir`, `scrNitidez`, `mnuSair`): its text or
// caption, enabled and visible flags, looks, and a value for scroll bars.
// Widgets mirror it and subscribe to `changed`; the model never sees them.
class Control : public QObject {
    Q_OBJECT
public:
    Control(const char* name, const QString& text = {});

    QString name() const { return objectName(); }
    const QString& text() const { return text_; }
    bool enabled() const { return enabled_; }
    bool visible() const { return visible_; }
    const Look& look() const { return look_; }
    int value() const { return value_; }
    int minimum() const { return minimum_; }
    int maximum() const { return maximum_; }

    void setText(const QString& text);
    void setEnabled(bool enabled);
    void setVisible(bool visible);
    void setLook(const Look& look);
    void setValue(int value);
    void setRange(int minimum, int maximum);

signals:
    void changed();

private:
    template <typename T>
    void Assign(T& field, const T& value);

    QString text_;
    bool enabled_ = true;
    bool visible_ = true;
    Look look_;
    int value_ = 0;
    int minimum_ = 0;
    int maximum_ = 0;
};

}  // namespace shell
