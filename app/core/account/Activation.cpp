#include "core/account/Activation.h"

#include "core/account/MachineFacts.h"
#include "core/api/Deployment.h"
#include "core/api/FormEncoding.h"

#include <QSysInfo>

namespace account {

QString OperatingSystemText()
{
    // The real system: the service shows it to whoever manages the accounts.
    return QSysInfo::prettyProductName();
}

QString ActivationBody(const QString& email, const QString& codigo, const QString& dispositivoUid)
{
    using api::FormField;
    return "email=" + api::UrlEncode(email) + FormField("codigo", codigo) + FormField("dispositivo_uid", dispositivoUid)
        + FormField("nome_maquina", GetMachineName()) + FormField("sistema_operacional", OperatingSystemText())
        + FormField("versao_app", QString::fromLatin1(api::AppVersion));
}

}  // namespace account
