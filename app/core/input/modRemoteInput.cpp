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

struct CommandRow {
    QStringView name;
    Command command;
    qsizetype highestField;          // the line needs fields 0 to this one
    ArgumentRange ranges[3];         // of fields 2, 3, 4 as far as used
    int argumentCount;
};

// Tested in this order; names are compared exactly.
constexpr CommandRow kCommands[] = {
    {u"BYE", Command::Bye, 1, {}, 0},
    {u"MM", Command::Move, 3, {kCoordinate, kCoordinate}, 2},
    {u"MD", Command::Down, 4, {kCoordinate, kCoordinate, kSmallNumber}, 3},
    {u"MU", Command::Up, 4, {kCoordinate, kCoordinate, kSmallNumber}, 3},
    {u"CK", Command::Click, 4, {kCoordinate, kCoordinate, kSmallNumber}, 3},
    {u"KD", Command::KeyDown, 2, {kSmallNumber}, 1},
    {u"KU", Command::KeyUp, 2, {kSmallNumber}, 1},
    {u"CF", Command::Quality, 3, {kSmallNumber, kSmallNumber}, 2},
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
    if (fields.size() < 2)
        return std::nullopt;
    const CommandRow* row = FindCommand(fields[1]);
    if (!row || fields.size() <= row->highestField)
        return std::nullopt;

    int a[3] = {};
    for (int i = 0; i < row->argumentCount; ++i) {
        const ArgumentResult argument = ReadArgument(fields[2 + i], row->ranges[i]);
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
    sink_.Key(keyCode, IsExtendedKey(keyCode), !keyUp);
    sink_.Flush();
    held_.Key(keyCode, !keyUp);
}

void modRemoteInput::ReleaseAllHeld() { held_.ReleaseAll(sink_); }

}  // namespace input
