#pragma once

#include <QString>
#include <QStringList>

// modLocal's facts about this machine that requests carry.

namespace account {

// "COMPUTERNAME" when set (a Windows habit some users keep), else the host
// name, and "WINDOWS" only when both are empty.
QString GetMachineName();

// The preferred usable IPv4 address of the enabled interfaces, or "".
QString GetLocalIp();

// The choice GetLocalIp makes among addresses listed in interface order:
// the lowest IpPreference rank wins, ties keep the first found.
QString ChooseLocalIp(const QStringList& addresses);

bool IsUsableIPv4(const QString& ip);
int IpPreference(const QString& ip);  // 1 best (192.168), 2 (172.16/12), 3 (10/8), 50 other

}  // namespace account
