// The table file format: SaveTableFile writes a table's field definitions, index definitions and
// rows as a tagged value stream; LoadTableFile reads one back, also in every older version.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/file_replacer.h"
#include "settings/mem_table.h"

namespace mailferry {

// Loads the file at path into table: its definitions and rows replace the table's, and the table
// is left open with the first row current. On failure raises EMfException with the format's
// message ("Cannot open file %s", "Stream read error", "Invalid stream format", ...). A failure
// before the first definition entry leaves the table as it was; a later one leaves it with the
// definitions and the complete rows read so far (closed while definitions were being read).
void LoadTableFile(TMemTable& table, const std::string& path);

// The same from bytes in memory.
void LoadTableData(TMemTable& table, std::string_view bytes);

// A table's new file, fully written but not yet in place.
class PreparedTableFile {
 public:
  PreparedTableFile(std::string path, std::unique_ptr<FileReplacement> replacement)
      : path_(std::move(path)), replacement_(std::move(replacement)) {}

  // Puts the new content in place of the file; "Cannot create file %s" when that fails (the old
  // file then stays). Dropping a prepared file without committing leaves the old file.
  void Commit();

 private:
  std::string path_;
  std::unique_ptr<FileReplacement> replacement_;
};

// Writes the open table's new file beside path without replacing it yet. Raises
// "<table>: Cannot perform this operation on a closed dataset", "Cannot create file %s" or
// "Stream write error". Rows are written in row order, filtered-out rows included; a filter that
// is on stays on and the first row passing it becomes current. Rows being edited are not part of
// the file until posted.
PreparedTableFile PrepareTableFile(TMemTable& table, const std::string& path,
                                   FileReplacer& files = SystemFileReplacer());

// Writes the table to the file at path, replacing it only once the new content is complete.
void SaveTableFile(TMemTable& table, const std::string& path,
                   FileReplacer& files = SystemFileReplacer());

// The bytes SaveTableFile writes for the table.
std::string TableFileBytes(TMemTable& table);

}  // namespace mailferry
