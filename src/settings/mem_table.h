// TMemTable: the in-memory table behind every settings table - typed fields, ordered rows, a
// current row with browse/edit/insert states, new-row defaults and auto-increment numbering, an
// equality filter on one field, the after-insert event and change notifications.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "settings/field_def.h"
#include "settings/field_value.h"

namespace mailferry {

class TMemTable;

enum class TableState { kInactive, kBrowse, kEdit, kInsert };

// What changed, for whoever shows a table (the data-bound controls of the dialogs).
enum class DataEvent {
  kDataSetChanged,  // opened, closed, loaded, a row posted, deleted or cancelled
  kScrolled,        // another row became the current row
  kStateChanged,    // browse, edit or insert state entered
  kFieldChanged,    // a field of the row being edited changed
  kUpdateRecord,    // the row being edited is about to be posted: write pending control edits now
};

// One field of a table: its definition and typed access to its value in the current row (the row
// being edited while the table is in edit or insert state). A field that holds no value reads as
// 0, false or empty text. Assignments need edit or insert state. A TField reference stays valid
// until the table's fields are redefined (loading a table file does that).
class TField {
 public:
  const TFieldDef& Def() const { return def_; }
  const std::string& FieldName() const { return def_.name; }
  FieldType DataType() const { return def_.type; }
  std::size_t Index() const { return index_; }

  bool IsNull() const;
  const FieldValue& Value() const;
  int AsInteger() const;
  bool AsBoolean() const;
  std::string AsString() const;

  void SetAsInteger(std::int64_t value);
  void SetAsBoolean(bool value);
  void SetAsFloat(double value);
  // Assigns text as a bound text box does (see ValueFromText): integer and range refusals raise
  // their messages and leave the field unchanged; String(n) text is cut to n characters.
  void SetAsString(std::string_view text);
  // Assigns a value of any class through the matching conversion above.
  void SetValue(const FieldValue& value);
  void Clear();

  // Whether a bound text box lets c be typed into this field.
  bool IsValidChar(char c) const { return IsValidFieldChar(def_, c); }

 private:
  friend class TMemTable;
  TField(TMemTable* table, std::size_t index, TFieldDef def)
      : table_(table), index_(index), def_(std::move(def)) {}

  TMemTable* table_;
  std::size_t index_;
  TFieldDef def_;
};

// An index definition as stored in a table file. The settings tables have none; loaded ones are
// kept and saved again, but order nothing.
struct TIndexDef {
  std::string name;
  std::string fields;
  bool descending = false;
  bool case_insensitive = false;
  bool not_maintained = false;
  bool unique = false;
};

// One stored row: a value per field and its update status (0 unchanged ... 3 deleted).
struct TMemRow {
  std::vector<FieldValue> values;
  int update_status = 0;
};

// Errors are EMfException with the table's name in front where the program shows it so
// ("dbAccounts: Dataset not in edit or insert mode"). Single-threaded: one thread owns a table.
class TMemTable {
 public:
  explicit TMemTable(std::string name);
  TMemTable(const TMemTable&) = delete;
  TMemTable& operator=(const TMemTable&) = delete;

  const std::string& Name() const { return name_; }

  // Field definitions. Defining and discarding fields needs a closed table.
  void AddField(TFieldDef def);
  void ClearFields();
  std::size_t FieldCount() const { return fields_.size(); }
  TField& Fields(std::size_t index) { return *fields_[index]; }
  const TField& Fields(std::size_t index) const { return *fields_[index]; }
  // The field whose name matches without regard to case; "<table>: Field '<name>' not found".
  TField& FieldByName(std::string_view name);
  const TField& FieldByName(std::string_view name) const;
  TField* FindField(std::string_view name);
  const TField* FindField(std::string_view name) const;

  const std::vector<TIndexDef>& IndexDefs() const { return index_defs_; }
  void SetIndexDefs(std::vector<TIndexDef> defs) { index_defs_ = std::move(defs); }

  // Opening gives an empty table with the defined fields and resets the auto-increment
  // high-water mark; closing discards every row (the fields stay).
  void Open();
  void Close();
  bool Active() const { return state_ != TableState::kInactive; }
  TableState State() const { return state_; }

  // Navigation over the visible rows (not deleted, passing the filter). Moving while a row is
  // being edited posts it first.
  bool IsEmpty() const;
  int RecordCount() const;
  void First();
  void Last();
  void Next();
  void Prior();
  bool Eof() const;
  // The current row's position among the visible rows, 1-based; 0 when there is none.
  int RecNo() const;
  void SetRecNo(int rec_no);

  // Editing. Edit on a table without visible rows inserts. Insert places the new row before the
  // current one, Append after the last; both apply the new-row steps (defaults, automatic number,
  // after-insert event). Post stores the row, Cancel drops it, Delete removes the current row
  // (or cancels an insert).
  void Edit();
  void Insert();
  void Append();
  void Post();
  void Cancel();
  void Delete();

  // The filter: "FIELD = NUMBER" (blanks around "=" optional) keeps the rows whose field equals
  // the number. Switching it on, or changing it while on, checks the text and makes the first
  // passing row current; empty text lets every row pass.
  void SetFilter(std::string text);
  const std::string& Filter() const { return filter_; }
  void SetFiltered(bool on);
  bool Filtered() const { return filtered_; }

  // The after-insert event: runs at the end of the new-row steps, in insert state.
  void SetAfterInsert(std::function<void(TMemTable&)> handler) {
    after_insert_ = std::move(handler);
  }

  // Change notifications; the returned id removes the listener again.
  int AddDataListener(std::function<void(DataEvent)> listener);
  void RemoveDataListener(int id);

  // The auto-increment high-water mark: -1 when opened, raised by loaded and posted rows.
  std::int64_t AutoIncHighWater() const { return auto_inc_high_water_; }
  void ResetAutoIncHighWater() { auto_inc_high_water_ = -1; }

  // Every stored row in row order, deleted and filtered-out ones included (for the table file).
  std::size_t StoredRowCount() const { return rows_.size(); }
  const TMemRow& StoredRow(std::size_t index) const { return rows_[index]; }
  // Whether a stored row is visible (not deleted, passing the filter), without moving the cursor.
  bool StoredRowVisible(std::size_t index) const { return IsVisible(index); }
  // Appends a row as read from a file: no defaults, numbering or event. Values are taken as
  // they are (the caller converted them). Needs an open table in browse state.
  void AppendStoredRow(TMemRow row);
  // Marks the end of bulk appending: the first visible row becomes current.
  void FinishLoading();

 private:
  friend class TField;

  [[noreturn]] void Fail(const std::string& message) const;
  void CheckActive() const;
  void CheckEditing() const;
  void CheckBrowseMode();
  void Notify(DataEvent event);
  void SetState(TableState state);
  bool IsVisible(std::size_t row) const;
  // The first visible row at or after from (forward) or at or before from (backward); npos if none.
  std::size_t SeekVisible(std::size_t from, bool forward) const;
  void BeginNewRow(std::size_t position);
  void RaiseHighWater(const std::vector<FieldValue>& values);
  const FieldValue& CurrentValue(std::size_t field) const;
  void SetCurrentValue(std::size_t field, FieldValue value);
  void ParseFilter();

  std::string name_;
  std::vector<std::unique_ptr<TField>> fields_;
  std::unordered_map<std::string, std::size_t> field_index_;  // lower-case name -> index
  std::vector<TIndexDef> index_defs_;
  std::vector<TMemRow> rows_;
  TableState state_ = TableState::kInactive;
  static constexpr std::size_t kNoRow = static_cast<std::size_t>(-1);
  std::size_t current_ = kNoRow;  // index into rows_ of the current visible row
  bool eof_ = false;
  std::vector<FieldValue> buffer_;  // the row being edited or inserted
  std::size_t insert_at_ = 0;       // where an inserted row goes on post
  std::int64_t auto_inc_high_water_ = -1;

  std::string filter_;
  bool filtered_ = false;
  std::string filter_field_;  // parsed filter; empty field name: every row passes
  std::int64_t filter_number_ = 0;

  std::function<void(TMemTable&)> after_insert_;
  std::vector<std::pair<int, std::function<void(DataEvent)>>> listeners_;
  int next_listener_id_ = 1;
};

}  // namespace mailferry
