// The fixed texts of scanning: the loop marker, the activity log's lines, the status and summary
// texts, and the names of the files the scan keeps in the data directory.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace mailferry {

// The loop marker: a message that carries a header of this name (any letter case) was forwarded
// by a Mailferry already and is never forwarded again; every forwarded message gets the line.
inline constexpr const char* kMarkerHeaderName = "X-POP3-Connector";
inline constexpr const char* kMarkerLine = "X-POP3-Connector: Mailferry V1.0";

// The activity log, a file in the data directory.
inline constexpr const char* kLogFileName = "MFY.log";

// The record of forwarded messages, a file in the data directory: one line per message,
// AccountID, TAB, the message's id.
inline constexpr const char* kForwardedIdsFileName = "MFY_Forwarded.txt";

// Log lines (printf formats where they carry numbers).
inline constexpr const char* kWaitingLogFormat = "Waiting for %d minutes before next request.";
inline constexpr const char* kUnableToConnectLog = "Unable to connect to ";
inline constexpr const char* kErrorWhileConnectingLog = "Error while connecting to ";
inline constexpr const char* kScanDoneLogFormat =
    "Scan Done. Results: New Messages: %d Accounts checked: %d";
// A message that stays on its server while the run goes on: number, AccountName, error text.
inline constexpr const char* kNotForwardedLogFormat = "Message %d of %s not forwarded: %s";

// The main window's status texts.
inline constexpr const char* kLastRunPrefix = "Last Run: ";
inline constexpr const char* kNeverRunText = "Last Run: Never Run";
inline constexpr const char* kRunningText = "Running...";
inline constexpr const char* kAccountsPrefix = "Accounts: ";
inline constexpr const char* kMessagesPrefix = "Messages: ";

// The summary of a manual scan: the box text is the heading followed by the summary line, which
// carries MessagesFound first and AccountsChecked second.
inline constexpr const char* kSummaryHeading = "Your Accounts have been updated.\r\n\r\n";
inline constexpr const char* kSummaryFormat = "There were %d new email messages in %d mailboxes.";

// The error text of a message that has no recipient left once its recipients were rewritten.
inline constexpr const char* kNoRecipientText = "No recipient left after rewriting";

// The format with each "%d" or "%s" replaced by the next argument, in order; a placeholder
// without an argument left stays as it is.
std::string FormatText(std::string_view format, std::initializer_list<std::string_view> args);

// The text as one line of the log: each run of CR and LF becomes one blank, and blanks at either
// end go.
std::string OneLine(std::string_view text);

}  // namespace mailferry
