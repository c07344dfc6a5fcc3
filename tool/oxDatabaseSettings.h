// The four database keys of preferences.cfg as one value: what the
// dialogue or the options chose, or what a file holds. The password is
// kept only in its stored, encrypted form.
// Not for concurrent use; the store it reads or fills takes its own lock.
#ifndef OX_DATABASE_SETTINGS_H
#define OX_DATABASE_SETTINGS_H

#include <optional>
#include <string>

class oxPreferences;

class oxDatabaseSettings {
public:
    enum class oxProvider { sqlite, mssql };

    oxDatabaseSettings() = default;
    // Wipes the stored password text: anyone with the program can decrypt it.
    ~oxDatabaseSettings();
    oxDatabaseSettings(const oxDatabaseSettings&) = delete;
    oxDatabaseSettings& operator=(const oxDatabaseSettings&) = delete;

    // "1" or "SQLite", "2" or "MSSQL", compared whole, ASCII case ignored;
    // false for anything else (nothing is trimmed).
    static bool parseProvider(const std::string& inAnswer, oxProvider& outProvider);
    // The form stored under Database.
    static const char* getProviderName(oxProvider inProvider);
    // The first character of inPassword that the provider refuses, or 0
    // when it takes the password.
    static char findRefusedCharacter(oxProvider inProvider, const std::string& inPassword);
    // Why such a password is refused, without a full stop.
    static std::string describeRefusal(oxProvider inProvider, char inCharacter);

    // Database=SQLite; the three server keys are to be removed.
    void chooseSQLite();
    // ioPassword holds the clear text and is encrypted in place; the caller
    // wipes it.
    void chooseMSSQL(const std::string& inServer, const std::string& inUser, std::string& ioPassword);

    // The four keys as the store holds them; a key it lacks stays unset.
    void readFrom(oxPreferences& ioStore);
    // Sets the keys that are set and removes the others, in file order.
    void applyTo(oxPreferences& ioStore) const;

    // As stored: the provider may be any text when read from a file.
    const std::optional<std::string>& getProvider() const { return itsProvider; }
    const std::optional<std::string>& getServer() const { return itsServer; }
    const std::optional<std::string>& getUser() const { return itsUser; }
    // A password that is stored and not empty.
    bool hasPassword() const { return itsPassword.has_value() && !itsPassword->empty(); }
    // Both hold the same stored password text, or neither holds one.
    bool hasSamePassword(const oxDatabaseSettings& inOther) const {
        return itsPassword == inOther.itsPassword;
    }

private:
    struct oxKey {
        const char* itsName;
        std::optional<std::string> oxDatabaseSettings::*itsValue;
    };
    // The four keys in the order a new file gets them.
    static const oxKey theKeys[4];

    std::optional<std::string> itsProvider;
    std::optional<std::string> itsServer;
    std::optional<std::string> itsUser;
    std::optional<std::string> itsPassword;
};

#endif
