#include "oxDatabaseSettings.h"

#include "oxCryptor.h"
#include "oxPreferences.h"
#include "oxStringUtil.h"

const oxDatabaseSettings::oxKey oxDatabaseSettings::theKeys[4] = {
    {"Database", &oxDatabaseSettings::itsProvider},
    {"DatabaseServer", &oxDatabaseSettings::itsServer},
    {"DatabaseUsername", &oxDatabaseSettings::itsUser},
    {"DatabasePassword", &oxDatabaseSettings::itsPassword},
};

oxDatabaseSettings::~oxDatabaseSettings() {
    if (itsPassword)
        oxCryptor::wipe(*itsPassword);
}

bool oxDatabaseSettings::parseProvider(const std::string& inAnswer, oxProvider& outProvider) {
    const char* const answer = inAnswer.c_str();
    if (stringsEqual(answer, "1", false) || stringsEqual(answer, "SQLite", false)) {
        outProvider = oxProvider::sqlite;
        return true;
    }
    if (stringsEqual(answer, "2", false) || stringsEqual(answer, "MSSQL", false)) {
        outProvider = oxProvider::mssql;
        return true;
    }
    return false;
}

const char* oxDatabaseSettings::getProviderName(oxProvider inProvider) {
    return inProvider == oxProvider::sqlite ? "SQLite" : "MSSQL";
}

char oxDatabaseSettings::findRefusedCharacter(oxProvider inProvider, const std::string& inPassword) {
    // SQL Server's connection string would end the password at a ";".
    const char* const refused = inProvider == oxProvider::mssql ? ";" : "";
    const size_t found = inPassword.find_first_of(refused);
    return found == std::string::npos ? '\0' : inPassword[found];
}

std::string oxDatabaseSettings::describeRefusal(oxProvider inProvider, char inCharacter) {
    return std::string(1, inCharacter) + " is not allowed in a password for " + getProviderName(inProvider);
}

void oxDatabaseSettings::chooseSQLite() {
    itsProvider = getProviderName(oxProvider::sqlite);
    itsServer.reset();
    itsUser.reset();
    if (itsPassword)
        oxCryptor::wipe(*itsPassword);
    itsPassword.reset();
}

void oxDatabaseSettings::chooseMSSQL(const std::string& inServer, const std::string& inUser,
                                     std::string& ioPassword) {
    oxCryptor cryptor("");
    cryptor.encrypt(ioPassword, ioPassword);
    itsProvider = getProviderName(oxProvider::mssql);
    itsServer = inServer;
    itsUser = inUser;
    itsPassword = ioPassword;
}

void oxDatabaseSettings::readFrom(oxPreferences& ioStore) {
    for (const oxKey& key : theKeys) {
        std::string value;
        if (ioStore.get(key.itsName, value))
            this->*key.itsValue = value;
        else
            (this->*key.itsValue).reset();
        oxCryptor::wipe(value);
    }
}

void oxDatabaseSettings::applyTo(oxPreferences& ioStore) const {
    for (const oxKey& key : theKeys) {
        const std::optional<std::string>& value = this->*key.itsValue;
        if (value)
            ioStore.set(key.itsName, *value);
        else
            ioStore.remove(key.itsName);
    }
}
