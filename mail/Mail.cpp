// Mail: the stored mail settings, the two clients built from them, and SendMail.
#include "mail/Mail.h"

namespace quorvane {

namespace {

TSMTP g_smtp;
TPOP g_pop;
TMailAccount g_account;

} // namespace

void SetSMTP(const TSMTP& smtp) { g_smtp = smtp; }
void SetPOP(const TPOP& pop) { g_pop = pop; }
void SetMailAccount(const TMailAccount& account) { g_account = account; }
TSMTP GetSMTP() { return g_smtp; }
TPOP GetPOP() { return g_pop; }
TMailAccount GetMailAccount() { return g_account; }

} // namespace quorvane
