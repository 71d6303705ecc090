#include "core/account/MachineFacts.h"

#include "core/common/Numbers.h"
#include "core/common/Text.h"

#include <QNetworkInterface>
#include <QSysInfo>

namespace account {
namespace {

bool IsNumericPart(const QString& part)
{
    qsizetype i = (part.startsWith('+') || part.startsWith('-')) ? 1 : 0;
    if (i >= part.size())
        return false;
    for (; i < part.size(); ++i) {
        if (part[i] < '0' || part[i] > '9')
            return false;
    }
    return true;
}

}  // namespace

QString GetMachineName()
{
    const QString fromEnvironment = qEnvironmentVariable("COMPUTERNAME");
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    const QString host = QSysInfo::machineHostName();
    return host.isEmpty() ? QStringLiteral("WINDOWS") : host;
}

bool IsUsableIPv4(const QString& ip)
{
    const QStringList parts = ip.split('.');
    if (parts.size() != 4 || ip == QLatin1String("0.0.0.0") || ip.startsWith(QLatin1String("127."))
        || ip.startsWith(QLatin1String("169.254.")))
        return false;
    for (const QString& part : parts) {
        if (!IsNumericPart(part))
            return false;
    }
    return true;
}

int IpPreference(const QString& ip)
{
    const QStringList parts = ip.split('.');
    if (parts.size() != 4)
        return 50;
    const int a = common::LeadingInt32(parts[0]);
    const int b = common::LeadingInt32(parts[1]);
    if (a == 192 && b == 168)
        return 1;
    if (a == 172 && b >= 16 && b <= 31)
        return 2;
    if (a == 10)
        return 3;
    return 50;
}

QString ChooseLocalIp(const QStringList& addresses)
{
    QString best;
    int bestRank = 99;
    for (const QString& raw : addresses) {
        const QString ip = common::TrimSpaces(raw);
        if (!IsUsableIPv4(ip))
            continue;
        const int rank = IpPreference(ip);
        if (rank < bestRank) {
            best = ip;
            bestRank = rank;
        }
    }
    return best;
}

QString GetLocalIp()
{
    QStringList addresses;
    for (const QNetworkInterface& adapter : QNetworkInterface::allInterfaces()) {
        if (!adapter.flags().testFlag(QNetworkInterface::IsUp))
            continue;
        for (const QNetworkAddressEntry& entry : adapter.addressEntries())
            addresses << entry.ip().toString();
    }
    return ChooseLocalIp(addresses);
}

}  // namespace account
