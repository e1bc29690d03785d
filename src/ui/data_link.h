// TFieldDataLink: the tie between one data-bound control and one field of its table's current
// row - what the control shows, when the table enters edit state, and when the control's pending
// value is written to the field.
#pragma once

#include <functional>
#include <string>

#include "settings/mem_table.h"

namespace mailferry {

// The control supplies two handlers: data_change shows the field's current value, update_data
// writes the control's value to the field (and may throw the field's refusal). The link calls
// data_change whenever the current row, the table's state or the row's content changes - except
// while the user's change is pending, which a moved or reloaded row discards - and update_data
// when the control leaves the focus (UpdateRecord) and when the row is posted.
// GUI thread only; the table must outlive the link.
class TFieldDataLink {
 public:
  TFieldDataLink(TMemTable& table, std::string field_name);
  ~TFieldDataLink();
  TFieldDataLink(const TFieldDataLink&) = delete;
  TFieldDataLink& operator=(const TFieldDataLink&) = delete;

  // Installs the handlers and shows the field's value at once.
  void SetHandlers(std::function<void()> data_change, std::function<void()> update_data);

  TMemTable& Table() const { return table_; }
  const std::string& FieldName() const { return field_name_; }
  // The field, looked up by name each time (loading a table file redefines the fields); null when
  // the table has no such field.
  TField* Field() const;
  // Whether the user may change the control: the table is open and has the field.
  bool CanModify() const;
  bool Editing() const;

  // The user's change: the table enters edit state unless it is editing already (an empty table
  // gets a new row), and the change becomes pending. Throws the table's error when it cannot be
  // edited; the control then shows the field again.
  void Modified();
  bool IsModified() const { return modified_; }

  // Writes a pending change to the field. A refusal propagates and the change stays pending.
  void UpdateRecord();

  // Drops a pending change and shows the field's value.
  void Reset();

 private:
  void OnDataEvent(DataEvent event);
  void ShowField();

  TMemTable& table_;
  std::string field_name_;
  int listener_id_;
  bool modified_ = false;
  std::function<void()> data_change_;
  std::function<void()> update_data_;
};

}  // namespace mailferry
