#include "settings/MailPasswords.h"

#include <cstdio>

namespace quorvane {

namespace {

// The program has one settings file and one keyring; the window layer installs the store once at start.
PasswordStore* installedStore = nullptr;
MailPasswordState loadedState;
PasswordPlace savedPlace = PasswordPlace::File;

bool keyringFailed = false;

void NoteNoKeyring() {
    if (!keyringFailed)
        std::fputs("quorvane: no keyring answered; the mail passwords are kept in the settings file\n",
                   stderr);
    keyringFailed = true;
}

bool UnreadInKeyring(const TSMTP& smtp, const TPOP& pop, const MailPasswordState& loaded) {
    return loaded.keyringUnavailable && smtp.Password.empty() && pop.Password.empty();
}

// True when the store answered.
bool Take(PasswordStore& store, const std::string& key, std::string& password, bool& missing) {
    const SecretRead read = store.Read(key);
    if (read.answer == SecretAnswer::Found)
        password = read.secret;
    missing = read.answer == SecretAnswer::Missing && password.empty();
    return read.answer != SecretAnswer::Unavailable;
}

bool Put(PasswordStore& store, const std::string& key, const std::string& password) {
    return password.empty() ? store.Remove(key) : store.Write(key, password);
}

} // namespace

std::string SmtpPasswordKey(const TSMTP& smtp) {
    return PasswordKey("smtp", smtp.UserID, smtp.Server, smtp.Port);
}

std::string PopPasswordKey(const TPOP& pop) {
    return PasswordKey("pop3", pop.UserID, pop.Server, pop.Port);
}

MailPasswordState FillMailPasswords(TSMTP& smtp, TPOP& pop, bool fileSaysKeyring, PasswordStore* store) {
    MailPasswordState state;
    state.inKeyring = fileSaysKeyring;
    if (!fileSaysKeyring)
        return state;
    // A store that failed the first read is not asked again: each wait would add to the start-up.
    state.keyringUnavailable = store == nullptr ||
                               !Take(*store, SmtpPasswordKey(smtp), smtp.Password, state.smtpMissing) ||
                               !Take(*store, PopPasswordKey(pop), pop.Password, state.popMissing);
    if (state.keyringUnavailable)
        state.smtpMissing = state.popMissing = false;
    // An account that names no user and server never had a password to lose.
    state.smtpMissing = state.smtpMissing && !smtp.UserID.empty() && !smtp.Server.empty();
    state.popMissing = state.popMissing && !pop.UserID.empty() && !pop.Server.empty();
    return state;
}

PasswordPlace PlaceMailPasswords(const TSMTP& smtp, const TPOP& pop, PasswordStore* store,
                                 const MailPasswordState& loaded) {
    // Passwords never read from an unreachable keyring are still there; an empty field must not remove them.
    if (UnreadInKeyring(smtp, pop, loaded))
        return PasswordPlace::Keyring;
    const bool taken = store != nullptr && Put(*store, SmtpPasswordKey(smtp), smtp.Password) &&
                       Put(*store, PopPasswordKey(pop), pop.Password);
    return taken ? PasswordPlace::Keyring : PasswordPlace::File;
}

void SetPasswordStore(PasswordStore* store) {
    installedStore = store;
}

PasswordStore* InstalledPasswordStore() {
    return installedStore;
}

void LoadMailPasswords(TSMTP& smtp, TPOP& pop, bool fileSaysKeyring) {
    loadedState = FillMailPasswords(smtp, pop, fileSaysKeyring, installedStore);
    if (loadedState.keyringUnavailable)
        NoteNoKeyring();
}

PasswordPlace SaveMailPasswords(const TSMTP& smtp, const TPOP& pop) {
    const bool unread = UnreadInKeyring(smtp, pop, loadedState);
    savedPlace = PlaceMailPasswords(smtp, pop, installedStore, loadedState);
    if (savedPlace == PasswordPlace::File && installedStore != nullptr)
        NoteNoKeyring();
    if (!unread)
        loadedState = MailPasswordState{.inKeyring = savedPlace == PasswordPlace::Keyring};
    return savedPlace;
}

MailPasswordState LoadedMailPasswords() {
    return loadedState;
}

bool KeyringUnavailable() {
    return keyringFailed;
}

PasswordPlace SavedPasswordPlace() {
    return savedPlace;
}

} // namespace quorvane
