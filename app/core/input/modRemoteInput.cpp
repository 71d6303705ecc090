#include "core/input/modRemoteInput.h"

#include "core/input/CommandArguments.h"
#include "core/input/KeyTable.h"

#include <QList>
#include <chrono>
#include <thread>

namespace input {
namespace {

constexpr auto kClickHold = std::chrono::milliseconds(80);

enum class Command { Bye, Move, Down, Up, Click, KeyDown, KeyUp, Quality };

// Field 0 is "CMD", field 1 the name; the arguments follow from field 2.
constexpr qsizetype kFirstArgument = 2;

struct CommandRow {
    QStringView name;
    Command command;
    int argumentCount;  // the fields a line needs; further ones are ignored
    ArgumentRange ranges[3];
};

// Tested in this order; names are compared exactly.
constexpr CommandRow kCommands[] = {
    {u"BYE", Command::Bye, 0, {}},
    {u"MM", Command::Move, 2, {kCoordinate, kCoordinate}},
    {u"MD", Command::Down, 3, {kCoordinate, kCoordinate, kSmallNumber}},
    {u"MU", Command::Up, 3, {kCoordinate, kCoordinate, kSmallNumber}},
    {u"CK", Command::Click, 3, {kCoordinate, kCoordinate, kSmallNumber}},
    {u"KD", Command::KeyDown, 1, {kSmallNumber}},
    {u"KU", Command::KeyUp, 1, {kSmallNumber}},
    {u"CF", Command::Quality, 2, {kSmallNumber, kSmallNumber}},
};

const CommandRow* FindCommand(QStringView name)
{
    for (const CommandRow& row : kCommands)
        if (row.name == name)
            return &row;
    return nullptr;
}

}  // namespace

std::optional<QString> modRemoteInput::ExecuteRemoteCommand(QStringView line)
{
    const QList<QStringView> fields = line.split(u':');
    if (fields.size() < kFirstArgument)
        return std::nullopt;
    const CommandRow* row = FindCommand(fields[1]);
    if (!row || fields.size() < kFirstArgument + row->argumentCount)
        return std::nullopt;

    int a[3] = {};
    for (int i = 0; i < row->argumentCount; ++i) {
        const ArgumentResult argument = ReadArgument(fields[kFirstArgument + i], row->ranges[i]);
        if (!argument.error.isEmpty())
            return argument.error;
        a[i] = argument.value;
    }

    switch (row->command) {
    case Command::Bye: target_.EncerradaPeloOutro(); break;
    case Command::Move: InjectMouseMove(a[0], a[1]); break;
    case Command::Down: InjectMouseDown(a[0], a[1], a[2]); break;
    case Command::Up: InjectMouseUp(a[0], a[1], a[2]); break;
    case Command::Click: InjectMouseClick(a[0], a[1], a[2]); break;
    case Command::KeyDown: InjectKeyDown(a[0]); break;
    case Command::KeyUp: InjectKeyUp(a[0]); break;
    case Command::Quality: target_.AplicarQualidadeRemota(a[0], a[1]); break;
    }
    return std::nullopt;
}

void modRemoteInput::InjectMouseMove(int x, int y)
{
    sink_.MovePointer(x, y);
    sink_.Flush();
}

void modRemoteInput::SetButton(int button, bool down)
{
    const MouseButton which = ButtonFromCommand(button);
    sink_.Button(which, down);
    sink_.Flush();
    held_.Button(which, down);
}

void modRemoteInput::InjectMouseDown(int x, int y, int button)
{
    InjectMouseMove(x, y);
    SetButton(button, true);
}

void modRemoteInput::InjectMouseUp(int x, int y, int button)
{
    InjectMouseMove(x, y);
    SetButton(button, false);
}

void modRemoteInput::InjectMouseClick(int x, int y, int button)
{
    InjectMouseMove(x, y);
    SetButton(button, true);
    std::this_thread::sleep_for(kClickHold);
    SetButton(button, false);
}

void modRemoteInput::InjectKeyDown(int keyCode) { InjectKey(keyCode, false); }

void modRemoteInput::InjectKeyUp(int keyCode) { InjectKey(keyCode, true); }

void modRemoteInput::InjectKey(int keyCode, bool keyUp)
{
    if (keyCode < 0 || keyCode > 255)
        return;
    const bool pressed = sink_.Key(keyCode, IsExtendedKey(keyCode), !keyUp);
    sink_.Flush();
    held_.Key(keyCode, !keyUp);
    if (!pressed && !reportedUnmapped_.test(keyCode)) {
        reportedUnmapped_.set(keyCode);
        target_.LogEvent(QStringLiteral("Tecla remota sem correspondente no teclado deste computador: %1").arg(keyCode));
    }
}

void modRemoteInput::ReleaseAllHeld() { held_.ReleaseAll(sink_); }

}  // namespace input
