// The record of messages already forwarded, per account, that lets a message left on its server
// (kept, or not deleted because the conversation broke before QUIT) be forwarded only once.
// Kept in "MFY_Forwarded.txt" in the data directory, one line "AccountID TAB id" per message.
#pragma once

#include <map>
#include <set>
#include <string>
#include <string_view>

#include "message/header_list.h"
#include "platform/file_replacer.h"

namespace mailferry {

// Used by one scan run on its worker thread; the file replacer must outlive it.
class ForwardedIds {
 public:
  ForwardedIds(std::string path, FileReplacer& files);

  const std::string& Path() const { return path_; }

  // Reads the file; a missing file is an empty record. Lines without a TAB after a decimal
  // AccountID, and a last line without its line break (an append cut short), are ignored and
  // dropped by the next write, which then rewrites the whole file. Raises EMfException "Cannot
  // open file %s" when the file exists but cannot be read.
  void Load();

  bool Contains(int account_id, std::string_view id) const;

  // Adds the id and writes it to the file at once: one line appended (the record only grows
  // between scans, and rewriting it per message made every forward pay for the whole file), or
  // the whole file replaced when it holds lines to drop or an earlier write failed. Raises
  // "Cannot create file %s" when that fails; the id then stays recorded in memory, so this run
  // does not forward the message again either.
  void Record(int account_id, std::string id);

  // Drops the account's ids that are not in `listed` (the messages the server still has) and
  // rewrites the file when any was dropped (errors as Record).
  void KeepOnly(int account_id, const std::set<std::string>& listed);

  // The account's ids, for inspection.
  std::set<std::string> IdsOf(int account_id) const;

 private:
  void Write();

  std::string path_;
  FileReplacer& files_;
  std::map<int, std::set<std::string>> ids_;
  // The file does not hold exactly ids_ plus appended lines: the next write replaces it.
  bool needs_rewrite_ = false;
};

// The id of a message on a server that does not list unique ids: its Message-Id when that is a
// plain token (printable, no blanks), otherwise "md5:" and the MD5 digest of its header lines
// joined by CR LF.
std::string FallbackMessageId(const TMfHeaderList& headers);

}  // namespace mailferry
