#include "settings/mem_table.h"

#include <algorithm>
#include <utility>

#include "common/mf_exception.h"

namespace mailferry {
namespace {

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Field names are matched without regard to ASCII letter case.
std::string NameKey(std::string_view name) {
  std::string key(name);
  for (char& c : key) c = LowerAscii(c);
  return key;
}

std::string_view Trim(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

bool ParseFilterNumber(std::string_view text, std::int64_t& out) {
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i == text.size() || text.size() - i > 18) return false;
  std::int64_t value = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    value = value * 10 + (text[i] - '0');
  }
  out = negative ? -value : value;
  return true;
}

const FieldValue kEmptyValue;

}  // namespace

// ---- TField ----

const FieldValue& TField::Value() const { return table_->CurrentValue(index_); }

bool TField::IsNull() const { return IsEmptyValue(Value()); }

int TField::AsInteger() const { return static_cast<int>(ValueToInteger(def_, Value())); }

bool TField::AsBoolean() const { return ValueToBoolean(def_, Value()); }

std::string TField::AsString() const { return ValueToText(Value()); }

void TField::SetAsInteger(std::int64_t value) {
  table_->CheckEditing();  // the state is checked before the value
  table_->SetCurrentValue(index_, ValueFromInteger(def_, value));
}

void TField::SetAsBoolean(bool value) {
  table_->CheckEditing();  // the state is checked before the value
  table_->SetCurrentValue(index_, ValueFromBoolean(def_, value));
}

void TField::SetAsFloat(double value) {
  table_->CheckEditing();  // the state is checked before the value
  table_->SetCurrentValue(index_, ValueFromFloat(def_, value));
}

void TField::SetAsString(std::string_view text) {
  table_->CheckEditing();  // the state is checked before the value
  table_->SetCurrentValue(index_, ValueFromText(def_, text));
}

void TField::SetValue(const FieldValue& value) {
  if (const auto* i = std::get_if<std::int64_t>(&value)) return SetAsInteger(*i);
  if (const auto* b = std::get_if<bool>(&value)) return SetAsBoolean(*b);
  if (const auto* s = std::get_if<std::string>(&value)) return SetAsString(*s);
  if (const auto* d = std::get_if<double>(&value)) return SetAsFloat(*d);
  Clear();
}

void TField::Clear() { table_->SetCurrentValue(index_, FieldValue{}); }

// ---- TMemTable ----

TMemTable::TMemTable(std::string name) : name_(std::move(name)) {}

void TMemTable::Fail(const std::string& message) const {
  throw EMfException(name_ + ": " + message);
}

void TMemTable::CheckActive() const {
  if (!Active()) Fail("Cannot perform this operation on a closed dataset");
}

void TMemTable::CheckBrowseMode() {
  if (state_ == TableState::kEdit || state_ == TableState::kInsert) Post();
}

void TMemTable::Notify(DataEvent event) {
  // A listener may add or remove listeners while being told.
  const auto listeners = listeners_;
  for (const auto& [id, listener] : listeners) listener(event);
}

void TMemTable::SetState(TableState state) {
  if (state_ == state) return;
  state_ = state;
  Notify(DataEvent::kStateChanged);
}

void TMemTable::AddField(TFieldDef def) {
  if (Active()) Fail("Cannot perform this operation on an open dataset");
  if (def.name.empty()) Fail("Field name missing");
  if (FindField(def.name) != nullptr) {
    throw EMfException("A component named " + def.name + " already exists");
  }
  const std::size_t index = fields_.size();
  field_index_.emplace(NameKey(def.name), index);
  fields_.push_back(std::unique_ptr<TField>(new TField(this, index, std::move(def))));
}

void TMemTable::ClearFields() {
  if (Active()) Fail("Cannot perform this operation on an open dataset");
  fields_.clear();
  field_index_.clear();
}

TField* TMemTable::FindField(std::string_view name) {
  const auto found = field_index_.find(NameKey(name));
  return found == field_index_.end() ? nullptr : fields_[found->second].get();
}

const TField* TMemTable::FindField(std::string_view name) const {
  return const_cast<TMemTable*>(this)->FindField(name);
}

TField& TMemTable::FieldByName(std::string_view name) {
  TField* field = FindField(name);
  if (field == nullptr) Fail("Field '" + std::string(name) + "' not found");
  return *field;
}

const TField& TMemTable::FieldByName(std::string_view name) const {
  return const_cast<TMemTable*>(this)->FieldByName(name);
}

void TMemTable::Open() {
  if (Active()) return;
  rows_.clear();
  buffer_.clear();
  current_ = kNoRow;
  eof_ = true;
  auto_inc_high_water_ = -1;
  state_ = TableState::kBrowse;
  Notify(DataEvent::kDataSetChanged);
}

void TMemTable::Close() {
  if (!Active()) return;
  rows_.clear();
  buffer_.clear();
  current_ = kNoRow;
  state_ = TableState::kInactive;
  Notify(DataEvent::kDataSetChanged);
}

bool TMemTable::IsVisible(std::size_t row) const {
  const TMemRow& stored = rows_[row];
  if (stored.update_status == 3) return false;  // a row loaded as deleted stays out of sight
  if (!filtered_ || filter_field_.empty()) return true;
  const TField* field = FindField(filter_field_);
  if (field == nullptr) return false;
  const FieldValue& value = stored.values[field->Index()];
  if (const auto* i = std::get_if<std::int64_t>(&value)) return *i == filter_number_;
  if (const auto* d = std::get_if<double>(&value)) return *d == static_cast<double>(filter_number_);
  if (const auto* s = std::get_if<std::string>(&value)) return *s == std::to_string(filter_number_);
  return false;
}

std::size_t TMemTable::SeekVisible(std::size_t from, bool forward) const {
  if (rows_.empty() || from == kNoRow) return kNoRow;
  if (forward) {
    for (std::size_t i = from; i < rows_.size(); ++i) {
      if (IsVisible(i)) return i;
    }
    return kNoRow;
  }
  for (std::size_t i = std::min(from, rows_.size() - 1) + 1; i-- > 0;) {
    if (IsVisible(i)) return i;
  }
  return kNoRow;
}

bool TMemTable::IsEmpty() const { return !Active() || SeekVisible(0, true) == kNoRow; }

int TMemTable::RecordCount() const {
  if (!Active()) return 0;
  int count = 0;
  for (std::size_t i = 0; i < rows_.size(); ++i) count += IsVisible(i) ? 1 : 0;
  return count;
}

void TMemTable::First() {
  CheckActive();
  CheckBrowseMode();
  current_ = SeekVisible(0, true);
  eof_ = current_ == kNoRow;
  Notify(DataEvent::kScrolled);
}

void TMemTable::Last() {
  CheckActive();
  CheckBrowseMode();
  current_ = rows_.empty() ? kNoRow : SeekVisible(rows_.size() - 1, false);
  eof_ = current_ == kNoRow;
  Notify(DataEvent::kScrolled);
}

void TMemTable::Next() {
  CheckActive();
  CheckBrowseMode();
  const std::size_t next = current_ == kNoRow ? kNoRow : SeekVisible(current_ + 1, true);
  if (next == kNoRow) {
    eof_ = true;  // the last row stays current, as at the end of any row set
    return;
  }
  current_ = next;
  eof_ = false;
  Notify(DataEvent::kScrolled);
}

void TMemTable::Prior() {
  CheckActive();
  CheckBrowseMode();
  if (current_ == kNoRow || current_ == 0) return;
  const std::size_t prior = SeekVisible(current_ - 1, false);
  if (prior == kNoRow) return;
  current_ = prior;
  eof_ = false;
  Notify(DataEvent::kScrolled);
}

bool TMemTable::Eof() const { return !Active() || eof_ || current_ == kNoRow; }

int TMemTable::RecNo() const {
  if (!Active() || current_ == kNoRow) return 0;
  int number = 0;
  for (std::size_t i = 0; i <= current_; ++i) number += IsVisible(i) ? 1 : 0;
  return number;
}

void TMemTable::SetRecNo(int rec_no) {
  CheckActive();
  CheckBrowseMode();
  int number = 0;
  for (std::size_t i = 0; i < rows_.size(); ++i) {
    if (IsVisible(i) && ++number == rec_no) {
      current_ = i;
      eof_ = false;
      Notify(DataEvent::kScrolled);
      return;
    }
  }
}

const FieldValue& TMemTable::CurrentValue(std::size_t field) const {
  if (state_ == TableState::kEdit || state_ == TableState::kInsert) return buffer_[field];
  if (Active() && current_ != kNoRow) return rows_[current_].values[field];
  return kEmptyValue;
}

void TMemTable::CheckEditing() const {
  if (state_ != TableState::kEdit && state_ != TableState::kInsert) {
    Fail("Dataset not in edit or insert mode");
  }
}

void TMemTable::SetCurrentValue(std::size_t field, FieldValue value) {
  CheckEditing();
  buffer_[field] = std::move(value);
  Notify(DataEvent::kFieldChanged);
}

void TMemTable::Edit() {
  CheckActive();
  if (state_ == TableState::kEdit || state_ == TableState::kInsert) return;
  if (IsEmpty()) {
    Insert();
    return;
  }
  if (current_ == kNoRow) current_ = SeekVisible(0, true);
  buffer_ = rows_[current_].values;
  SetState(TableState::kEdit);
}

void TMemTable::Insert() {
  CheckActive();
  CheckBrowseMode();
  BeginNewRow(current_ == kNoRow ? rows_.size() : current_);
}

void TMemTable::Append() {
  CheckActive();
  CheckBrowseMode();
  BeginNewRow(rows_.size());
}

void TMemTable::BeginNewRow(std::size_t position) {
  std::vector<FieldValue> row(fields_.size());
  for (std::size_t i = 0; i < fields_.size(); ++i) {
    const TFieldDef& def = fields_[i]->Def();
    if (!def.default_expression.empty()) row[i] = ValueFromText(def, def.default_expression);
  }
  for (std::size_t i = 0; i < fields_.size(); ++i) {
    if (fields_[i]->DataType() == FieldType::kAutoInc) {
      row[i] = ValueFromInteger(fields_[i]->Def(), auto_inc_high_water_ + 1);
      break;  // only the first auto-increment field is numbered
    }
  }
  buffer_ = std::move(row);
  insert_at_ = position;
  SetState(TableState::kInsert);
  if (after_insert_) after_insert_(*this);
}

void TMemTable::RaiseHighWater(const std::vector<FieldValue>& values) {
  for (std::size_t i = 0; i < fields_.size(); ++i) {
    if (fields_[i]->DataType() != FieldType::kAutoInc) continue;
    if (const auto* number = std::get_if<std::int64_t>(&values[i])) {
      auto_inc_high_water_ = std::max(auto_inc_high_water_, *number);
    }
    return;
  }
}

void TMemTable::Post() {
  CheckEditing();
  // A control's refusal of its pending text aborts the post with the row still being edited.
  Notify(DataEvent::kUpdateRecord);
  CheckEditing();
  if (state_ == TableState::kInsert) {
    rows_.insert(rows_.begin() + static_cast<std::ptrdiff_t>(insert_at_), TMemRow{buffer_, 0});
    current_ = insert_at_;
  } else {
    rows_[current_].values = buffer_;
  }
  RaiseHighWater(rows_[current_].values);
  buffer_.clear();
  if (!IsVisible(current_)) {
    // The posted row no longer passes the filter; the nearest visible row takes its place.
    const std::size_t next = SeekVisible(current_, true);
    current_ = next != kNoRow ? next : SeekVisible(current_, false);
  }
  eof_ = false;
  SetState(TableState::kBrowse);
  Notify(DataEvent::kDataSetChanged);
}

void TMemTable::Cancel() {
  if (state_ != TableState::kEdit && state_ != TableState::kInsert) return;
  buffer_.clear();
  SetState(TableState::kBrowse);
  Notify(DataEvent::kDataSetChanged);
}

void TMemTable::Delete() {
  CheckActive();
  if (state_ == TableState::kInsert) {
    Cancel();
    return;
  }
  if (IsEmpty() || current_ == kNoRow) Fail("Cannot perform this operation on an empty dataset");
  buffer_.clear();
  rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(current_));
  const std::size_t next = SeekVisible(current_, true);
  current_ = next != kNoRow ? next : (current_ == 0 ? kNoRow : SeekVisible(current_ - 1, false));
  eof_ = false;
  SetState(TableState::kBrowse);
  Notify(DataEvent::kDataSetChanged);
}

void TMemTable::ParseFilter() {
  const std::string_view text = Trim(filter_);
  if (text.empty()) {
    filter_field_.clear();
    return;
  }
  const auto equals = text.find('=');
  std::int64_t number = 0;
  if (equals == std::string_view::npos || Trim(text.substr(0, equals)).empty() ||
      !ParseFilterNumber(Trim(text.substr(equals + 1)), number)) {
    Fail("Filter text not supported: " + filter_);
  }
  filter_field_ = FieldByName(Trim(text.substr(0, equals))).FieldName();
  filter_number_ = number;
}

void TMemTable::SetFilter(std::string text) {
  if (!filtered_) {
    filter_ = std::move(text);
    return;
  }
  std::string previous = std::exchange(filter_, std::move(text));
  try {
    ParseFilter();
  } catch (...) {
    filter_ = std::move(previous);
    throw;
  }
  if (Active()) {
    CheckBrowseMode();
    First();
  }
}

void TMemTable::SetFiltered(bool on) {
  if (on == filtered_) return;
  if (Active()) CheckBrowseMode();
  if (on) ParseFilter();
  filtered_ = on;
  if (!Active()) return;
  if (on) {
    First();
  } else {
    // Every row that passed still exists; the current one stays current.
    eof_ = current_ == kNoRow;
    if (current_ == kNoRow) current_ = SeekVisible(0, true);
    Notify(DataEvent::kDataSetChanged);
  }
}

int TMemTable::AddDataListener(std::function<void(DataEvent)> listener) {
  const int id = next_listener_id_++;
  listeners_.emplace_back(id, std::move(listener));
  return id;
}

void TMemTable::RemoveDataListener(int id) {
  std::erase_if(listeners_, [id](const auto& entry) { return entry.first == id; });
}

void TMemTable::AppendStoredRow(TMemRow row) {
  CheckActive();
  row.values.resize(fields_.size());
  for (std::size_t i = 0; i < fields_.size(); ++i) {
    // Every auto-increment value read raises the mark, so later automatic numbers stay above it.
    if (fields_[i]->DataType() != FieldType::kAutoInc) continue;
    if (const auto* number = std::get_if<std::int64_t>(&row.values[i])) {
      auto_inc_high_water_ = std::max(auto_inc_high_water_, *number);
    }
  }
  rows_.push_back(std::move(row));
}

void TMemTable::FinishLoading() {
  CheckActive();
  current_ = SeekVisible(0, true);
  eof_ = current_ == kNoRow;
  Notify(DataEvent::kDataSetChanged);
}

}  // namespace mailferry
