// The keep decision of a scan run: whether a message taken from a mailbox is deleted there or
// left for later, by the account's keep settings and the message's age.
#pragma once

namespace mailferry {

// True when the message is to be deleted: always when the account does not keep messages; never
// when it keeps them without a time limit (keep_days <= 0); otherwise when the message's age in
// whole days (now minus message_date, both local day counts, truncated toward zero, to the
// millisecond) exceeds keep_days. A message without a date (0) is thus deleted under any limit;
// one dated in the future is kept.
bool ShouldDeleteMessage(bool keep_messages, int keep_days, double message_date, double now);

}  // namespace mailferry
