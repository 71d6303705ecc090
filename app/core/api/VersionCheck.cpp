#include "core/api/VersionCheck.h"

#include "core/account/UrlOpener.h"
#include "core/api/Deployment.h"
#include "core/api/HttpTransport.h"
#include "core/common/Numbers.h"
#include "core/common/Text.h"
#include "core/shell/Dialogs.h"

#include <QStringList>

namespace api {

bool CheckAppVersion(shell::Dialogs& dialogs, account::UrlOpener& urls, float secondsSinceMidnight)
{
    HttpRequest request;
    request.method = "GET";
    request.url = VersionUrl() + "?t=" + QString::number(secondsSinceMidnight, 'f', 3);
    request.userAgent = QByteArray("Marquelin-Windows/") + AppVersion;
    request.timeouts = VersionTimeouts;
    const HttpOutcome outcome = PerformHttp(request);
    if (!outcome.completed)
        return true;
    const QStringList fields = common::TrimSpaces(QString::fromUtf8(outcome.body)).split(',');
    if (fields.size() < 2)
        return true;
    const int newest = common::LeadingInt32(common::TrimSpaces(fields[0]));
    const int minimum = common::LeadingInt32(common::TrimSpaces(fields[1]));
    if (minimum > AppBuild) {
        dialogs.MessageBox("Esta versao do Marquelin precisa ser atualizada para continuar.\r\n\r\n"
                           "O site sera aberto para baixar a nova versao.",
                           "Atualizacao obrigatoria", shell::MessageIcon::Warning);
        urls.OpenUrl(DownloadUrl());
        return false;
    }
    if (newest > AppBuild) {
        dialogs.MessageBox("Existe uma nova versao do Marquelin disponivel.\r\n\r\n"
                           "Voce pode continuar usando esta versao por enquanto, mas recomendamos atualizar "
                           "assim que possivel.",
                           "Atualizacao disponivel", shell::MessageIcon::Information);
    }
    return true;
}

}  // namespace api
