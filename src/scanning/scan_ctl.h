// The mailferryctl commands over the scan: "scan" runs one scan as the "Scan Mailboxes" button
// does; "preview" shows where one message would go and what it would look like.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "platform/machine_store.h"
#include "scanning/scan_environment.h"
#include "settings/dm_in_out.h"

namespace mailferry {

// One scan through the scan controller, as the button starts it: the settings are settled as at
// start-up and saved, one worker runs (logging when CheckLog is on), and its completion is
// awaited. Prints the summary line "There were %d new email messages in %d mailboxes." on out
// and each failed account ("Error while connecting to NAME: error") on err. Returns 0 when the
// run went through (single accounts may have failed), 1 when it could not start or its body
// ended early (the error on err). dm must be loaded; machine_store is what StartScan reads.
int RunScanCommand(TDmInOut& dm, MachineStore& machine_store, const ScanEnvironment& environment,
                   std::ostream& out, std::ostream& err);

// "preview --account ID FILE" (args without the word preview): reads FILE as a POP3 retrieval
// would deliver it, applies the forwarding rules of the account ID from the loaded settings and
// prints the transaction as the SMTP server would get it: the MAIL FROM and RCPT TO lines, DATA,
// the message, ".". A message that would not be forwarded prints "Not forwarded: " and the
// reason. Raises EMfException for a bad argument, an unknown account or an unreadable file.
void RunPreviewCommand(TDmInOut& dm, const std::vector<std::string>& args,
                       const ScanEnvironment& environment, std::ostream& out);

}  // namespace mailferry
