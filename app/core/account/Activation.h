#pragma once

#include <QString>

namespace account {

// The body of an activation request ("ativar.php"): e-mail, code, device
// id, machine name, operating system and program version, each encoded.
QString ActivationBody(const QString& email, const QString& codigo, const QString& dispositivoUid);

// The operating-system text an activation reports.
QString OperatingSystemText();

}  // namespace account
