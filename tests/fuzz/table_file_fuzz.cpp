// Fuzzes the table file reader: any input must load or fail with the format's error, never
// crash, hang or allocate beyond what the input holds. Loaded tables are saved and read again.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "common/mf_exception.h"
#include "settings/settings_tables.h"
#include "settings/table_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  mailferry::TMemTable table("dbSystem");
  mailferry::DefineSystemTable(table);  // so that a file without definitions has fields to use
  try {
    mailferry::LoadTableData(table, bytes);
  } catch (const mailferry::EMfException&) {
    return 0;
  }
  // What loaded must save and load back, unless no field of it is one that files hold.
  bool any_saved = false;
  for (std::size_t i = 0; i < table.FieldCount(); ++i) {
    any_saved = any_saved || table.Fields(i).Def().IsSaved();
  }
  const std::string saved = mailferry::TableFileBytes(table);
  mailferry::TMemTable again("dbSystem");
  try {
    mailferry::LoadTableData(again, saved);
  } catch (const mailferry::EMfException&) {
    if (any_saved) __builtin_trap();
  }
  return 0;
}
