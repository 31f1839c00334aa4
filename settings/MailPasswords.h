// MailPasswords: whether the mail passwords go to the desktop's keyring or stay protected in the file.
#pragma once

#include "mail/Mail.h"
#include "util/PasswordStore.h"

namespace quorvane {

// What a load found of the mail passwords; the settings dialog shows it.
struct MailPasswordState {
    bool inKeyring = false;          // the file says PASSWORD_STORE=keyring
    bool keyringUnavailable = false; // the file says keyring, but no keyring answered
    bool smtpMissing = false;        // the keyring had no entry for the SMTP account
    bool popMissing = false;
};

enum class PasswordPlace { File, Keyring };

std::string SmtpPasswordKey(const TSMTP& smtp);
std::string PopPasswordKey(const TPOP& pop);

// After the [Mail] keys are read: when the file says keyring, takes each password the store holds. A missing
// entry leaves the field as the file had it (empty) and flags it; a store that does not answer flags that.
// Blocks on the store's reads.
MailPasswordState FillMailPasswords(TSMTP& smtp, TPOP& pop, bool fileSaysKeyring, PasswordStore* store);

// At save: puts both passwords in the store (an empty one removes its entry) and answers Keyring when it
// took them; the file then keeps them empty. Answers File when there is no store or it did not answer, except
// that passwords still unread from an unreachable keyring stay there rather than be lost.
PasswordPlace PlaceMailPasswords(const TSMTP& smtp, const TPOP& pop, PasswordStore* store,
                                 const MailPasswordState& loaded);

// The store the window layer installs for the program's own load and save; none means the file form.
void SetPasswordStore(PasswordStore* store);
PasswordStore* InstalledPasswordStore();
// The program's own load and save: the two above with the installed store, remembered for the dialog.
void LoadMailPasswords(TSMTP& smtp, TPOP& pop, bool fileSaysKeyring);
PasswordPlace SaveMailPasswords(const TSMTP& smtp, const TPOP& pop);
// What the last load found, and where the last save put the passwords (File before any save).
MailPasswordState LoadedMailPasswords();
PasswordPlace SavedPasswordPlace();
// True once an installed store has failed to answer in this run (said once on stderr); the settings dialog
// then tells that the passwords are kept in the file.
bool KeyringUnavailable();

} // namespace quorvane
