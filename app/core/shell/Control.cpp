#include "core/shell/Control.h"

namespace shell {

Control::Control(const char* name, const QString& text) : text_(text)
{
    setObjectName(QLatin1String(name));
}

template <typename T>
void Control::Assign(T& field, const T& value)
{
    if (field == value)
        return;
    field = value;
    emit changed();
}

void Control::setText(const QString& text) { Assign(text_, text); }
void Control::setEnabled(bool enabled) { Assign(enabled_, enabled); }
void Control::setVisible(bool visible) { Assign(visible_, visible); }
void Control::setLook(const Look& look) { Assign(look_, look); }
void Control::setValue(int value) { Assign(value_, value); }

void Control::setRange(int minimum, int maximum)
{
    minimum_ = minimum;
    Assign(maximum_, maximum);
}

}  // namespace shell
