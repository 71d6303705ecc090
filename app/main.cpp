#include <QCoreApplication>
#include <QTextStream>

#include "core/api/Deployment.h"

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTextStream(stdout) << "Marquelin " << api::AppVersion << " — API " << api::ApiBaseUrl() << "\n";
    return 0;
}
