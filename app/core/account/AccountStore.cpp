#include "core/account/AccountStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QUuid>

namespace account {
namespace {

constexpr const char* kSection = "Auth";

}  // namespace

AccountStore::AccountStore()
    : settings_(std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                            QStringLiteral("Marquelin"), QStringLiteral("Marquelin")))
{
    KeepPrivate(true);
}

AccountStore::AccountStore(const QString& iniFile)
    : settings_(std::make_unique<QSettings>(iniFile, QSettings::IniFormat))
{
    KeepPrivate(false);
}

QString AccountStore::Folder() const { return QFileInfo(settings_->fileName()).absolutePath(); }

// The file is made before the first write, since the settings writer keeps
// the mode of the file it replaces and would give a new one the process's
// default. Only the program's own folder is tightened, never one a caller chose.
void AccountStore::KeepPrivate(bool ownFolder) const
{
    const QFileInfo file(settings_->fileName());
    QDir().mkpath(file.absolutePath());
    if (ownFolder)
        QFile::setPermissions(file.absolutePath(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QFile store(file.absoluteFilePath());
    if (!store.exists())
        store.open(QIODevice::WriteOnly | QIODevice::NewOnly);
    store.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
}

AccountStore::~AccountStore() = default;

QString AccountStore::Read(const char* key) const
{
    return settings_->value(QLatin1String(kSection) + '/' + QLatin1String(key)).toString();
}

void AccountStore::Write(const char* key, const QString& value)
{
    settings_->setValue(QLatin1String(kSection) + '/' + QLatin1String(key), value);
}

QString AccountStore::GetDeviceUid()
{
    QString uid = Read("DispositivoUID");
    if (uid.isEmpty()) {
        uid = NewDeviceUid();
        Write("DispositivoUID", uid);
        settings_->sync();
    }
    return uid;
}

QString AccountStore::NewDeviceUid()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toLower();
}

QString AccountStore::GetSavedName() const { return Read("Nome"); }
QString AccountStore::GetSavedEmail() const { return Read("Email"); }
QString AccountStore::GetSavedToken() const { return Read("Token"); }

void AccountStore::SaveAccount(const QString& nome, const QString& email, const QString& token)
{
    Write("Nome", nome);
    Write("Email", email);
    Write("Token", token);
    settings_->sync();
}

void AccountStore::RemoveAccount()
{
    settings_->remove(QLatin1String(kSection));
    settings_->sync();
}

}  // namespace account
