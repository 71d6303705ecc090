#pragma once

#include <QString>
#include <memory>

class QSettings;

namespace account {

// modLocal's settings part: the four values kept between runs, in section
// "Auth" of the per-user store of application "Marquelin" — the device id
// and the account's name, e-mail and token. Reads never fail (absent keys
// read ""); write failures are not reported. The token is a password, so
// the file is only the user's own: 0600, in a 0700 folder of the program's
// own, both tightened when an earlier run left them open to others.
class AccountStore {
public:
    AccountStore();                                // the user's own store
    explicit AccountStore(const QString& iniFile);  // a store in a given file
    ~AccountStore();
    AccountStore(const AccountStore&) = delete;
    AccountStore& operator=(const AccountStore&) = delete;

    // The folder of the settings file, for the program's other private files.
    QString Folder() const;
    // The stored device id, created and stored first when there is none.
    QString GetDeviceUid();
    // A new device id, not stored: 36 lower-case characters.
    static QString NewDeviceUid();

    QString GetSavedName() const;
    QString GetSavedEmail() const;
    QString GetSavedToken() const;
    void SaveAccount(const QString& nome, const QString& email, const QString& token);
    // Deletes the whole section, the device id included.
    void RemoveAccount();

private:
    void KeepPrivate(bool ownFolder) const;
    QString Read(const char* key) const;
    void Write(const char* key, const QString& value);

    std::unique_ptr<QSettings> settings_;
};

}  // namespace account
