#include "ui/db_controls.h"

#include <QApplication>
#include <QButtonGroup>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QRadioButton>
#include <QSignalBlocker>
#include <algorithm>

namespace mailferry {
namespace {

// Focus that goes to a popup or another window does not leave the control, so nothing is written.
bool LeavesControl(const QFocusEvent* event) {
  return event->reason() != Qt::PopupFocusReason && event->reason() != Qt::ActiveWindowFocusReason;
}

QString FieldText(const TFieldDataLink& link) {
  const TField* field = link.Field();
  return field != nullptr ? QString::fromStdString(field->AsString()) : QString();
}

// Writes the control's pending change; a refusal is shown and the control keeps the focus.
bool CommitControl(TDBControl& control, QWidget* widget, ModalUi& ui) {
  try {
    control.Link().UpdateRecord();
    return true;
  } catch (const std::exception& error) {
    ui.ShowError(widget->window(), QString::fromStdString(error.what()));
    widget->setFocus(Qt::OtherFocusReason);
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) edit->selectAll();
    return false;
  }
}

void Modify(TFieldDataLink& link, QWidget* widget, ModalUi& ui) {
  RunGuarded(ui, widget->window(), [&link] { link.Modified(); });
}

// A choice made by a click is complete at once (a clicked control does not take the focus), so it
// is written at once; none of these values can be refused.
void ModifyAndWrite(TFieldDataLink& link, QWidget* widget, ModalUi& ui) {
  RunGuarded(ui, widget->window(), [&link] {
    link.Modified();
    link.UpdateRecord();
  });
}

}  // namespace

bool CommitFocusedControl(QWidget* window, ModalUi& ui) {
  QWidget* focus = QApplication::focusWidget();
  if (focus == nullptr || !window->isAncestorOf(focus)) return true;
  for (QWidget* widget = focus; widget != nullptr && widget != window;
       widget = widget->parentWidget()) {
    if (auto* control = dynamic_cast<TDBControl*>(widget)) {
      return CommitControl(*control, widget, ui);
    }
  }
  return true;
}

TFieldTextValidator::TFieldTextValidator(const TFieldDataLink& link, QObject* parent)
    : QValidator(parent), link_(link) {}

QValidator::State TFieldTextValidator::validate(QString& input, int&) const {
  const TField* field = link_.Field();
  if (field == nullptr) return Acceptable;
  const TFieldDef& def = field->Def();
  if (ValueClassOf(def.type) == ValueClass::kInteger) {
    for (const QChar c : input) {
      if (c.unicode() > 127 || !IsValidFieldChar(def, static_cast<char>(c.unicode()))) {
        return Invalid;
      }
    }
  }
  if (def.type == FieldType::kString && def.size > 0 && input.toUcs4().size() > def.size) {
    return Invalid;
  }
  return Acceptable;
}

// ---- TDBEdit

TDBEdit::TDBEdit(TMemTable& table, std::string field_name, ModalUi& ui, QWidget* parent)
    : QLineEdit(parent), link_(table, std::move(field_name)), ui_(ui) {
  setValidator(new TFieldTextValidator(link_, this));
  connect(this, &QLineEdit::textEdited, this, &TDBEdit::UserEdited);
  link_.SetHandlers([this] { DataChange(); }, [this] { UpdateData(); });
}

void TDBEdit::DataChange() {
  const QString text = FieldText(link_);
  if (text != this->text()) setText(text);
  setReadOnly(!link_.CanModify());
}

void TDBEdit::UpdateData() { link_.Field()->SetAsString(text().toStdString()); }

void TDBEdit::UserEdited() { Modify(link_, this, ui_); }

void TDBEdit::focusOutEvent(QFocusEvent* event) {
  QLineEdit::focusOutEvent(event);
  if (LeavesControl(event)) CommitControl(*this, this, ui_);
}

void TDBEdit::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && link_.IsModified()) {
    link_.Reset();
    selectAll();
    event->accept();
    return;
  }
  QLineEdit::keyPressEvent(event);
}

// ---- TDBCheckBox

TDBCheckBox::TDBCheckBox(const QString& caption, TMemTable& table, std::string field_name,
                         ModalUi& ui, QWidget* parent)
    : QCheckBox(caption, parent), link_(table, std::move(field_name)), ui_(ui) {
  // A click leaves the focus where it is, so a text box's refusal never meets a half-done click.
  setFocusPolicy(Qt::TabFocus);
  connect(this, &QCheckBox::clicked, this, [this] { ModifyAndWrite(link_, this, ui_); });
  link_.SetHandlers([this] { DataChange(); }, [this] { UpdateData(); });
}

void TDBCheckBox::DataChange() {
  const TField* field = link_.Field();
  setChecked(field != nullptr && field->AsBoolean());
  setEnabled(link_.CanModify());
}

void TDBCheckBox::UpdateData() { link_.Field()->SetAsBoolean(isChecked()); }

// ---- TDBRadioGroup

TDBRadioGroup::TDBRadioGroup(const QString& caption, std::vector<TValueItem> items,
                             TMemTable& table, std::string field_name, ModalUi& ui, QWidget* parent)
    : QGroupBox(caption, parent),
      items_(std::move(items)),
      group_(new QButtonGroup(this)),
      link_(table, std::move(field_name)),
      ui_(ui) {
  for (std::size_t i = 0; i < items_.size(); ++i) {
    auto* button = new QRadioButton(items_[i].caption, this);
    button->setFocusPolicy(Qt::TabFocus);
    group_->addButton(button, static_cast<int>(i));
    buttons_.push_back(button);
  }
  connect(group_, &QButtonGroup::idClicked, this, [this] { ModifyAndWrite(link_, this, ui_); });
  link_.SetHandlers([this] { DataChange(); }, [this] { UpdateData(); });
}

QRadioButton* TDBRadioGroup::Button(int index) const {
  return buttons_.at(static_cast<std::size_t>(index));
}

int TDBRadioGroup::ItemIndex() const { return group_->checkedId(); }

void TDBRadioGroup::CheckItem(int index) {
  // An exclusive group cannot be left without a checked button otherwise.
  group_->setExclusive(false);
  for (std::size_t i = 0; i < buttons_.size(); ++i) {
    buttons_[i]->setChecked(static_cast<int>(i) == index);
  }
  group_->setExclusive(true);
}

void TDBRadioGroup::DataChange() {
  const QString value = FieldText(link_);
  int index = -1;
  for (std::size_t i = 0; i < items_.size(); ++i) {
    if (items_[i].value == value) {
      index = static_cast<int>(i);
      break;
    }
  }
  if (link_.Field() == nullptr || link_.Field()->IsNull()) index = -1;
  CheckItem(index);
  setEnabled(link_.CanModify());
}

void TDBRadioGroup::UpdateData() {
  const int index = ItemIndex();
  if (index < 0) {
    link_.Field()->Clear();
  } else {
    link_.Field()->SetAsString(items_[static_cast<std::size_t>(index)].value.toStdString());
  }
}

void TDBRadioGroup::resizeEvent(QResizeEvent* event) {
  QGroupBox::resizeEvent(event);
  // The items share the space below the caption evenly, one line each.
  constexpr int kTop = 16;
  constexpr int kLineHeight = 17;
  const int count = static_cast<int>(buttons_.size());
  if (count == 0) return;
  const int row_height = std::max(kLineHeight, (height() - kTop - 4) / count);
  for (int i = 0; i < count; ++i) {
    buttons_[static_cast<std::size_t>(i)]->setGeometry(
        8, kTop + i * row_height + (row_height - kLineHeight) / 2, width() - 12, kLineHeight);
  }
}

// ---- TDBComboBox

TDBComboBox::TDBComboBox(std::vector<TValueItem> items, TMemTable& table, std::string field_name,
                         ModalUi& ui, QWidget* parent)
    : QComboBox(parent), items_(std::move(items)), link_(table, std::move(field_name)), ui_(ui) {
  for (const TValueItem& item : items_) addItem(item.caption);
  connect(this, &QComboBox::activated, this, [this] { ModifyAndWrite(link_, this, ui_); });
  link_.SetHandlers([this] { DataChange(); }, [this] { UpdateData(); });
}

void TDBComboBox::DataChange() {
  const QString value = FieldText(link_);
  int index = -1;
  if (link_.Field() != nullptr && !link_.Field()->IsNull()) {
    for (std::size_t i = 0; i < items_.size(); ++i) {
      if (items_[i].value == value) index = static_cast<int>(i);
    }
  }
  setCurrentIndex(index);
  setEnabled(link_.CanModify());
}

void TDBComboBox::UpdateData() {
  const int index = currentIndex();
  if (index < 0) {
    link_.Field()->Clear();
  } else {
    link_.Field()->SetAsString(items_[static_cast<std::size_t>(index)].value.toStdString());
  }
}

// ---- TDBComboEdit

TDBComboEdit::TDBComboEdit(TMemTable& table, std::string field_name, ModalUi& ui, QWidget* parent)
    : QComboBox(parent), link_(table, std::move(field_name)), ui_(ui) {
  setEditable(true);
  setInsertPolicy(QComboBox::NoInsert);
  // Completing a typed name in place would store text the user never typed.
  setCompleter(nullptr);
  lineEdit()->setValidator(new TFieldTextValidator(link_, this));
  connect(lineEdit(), &QLineEdit::textEdited, this, &TDBComboEdit::UserChanged);
  connect(this, &QComboBox::activated, this, [this] { ModifyAndWrite(link_, this, ui_); });
  link_.SetHandlers([this] { DataChange(); }, [this] { UpdateData(); });
}

void TDBComboEdit::SetNames(const std::vector<std::string>& names) {
  const QString text = currentText();
  const QSignalBlocker blocker(this);
  clear();
  for (const std::string& name : names) addItem(QString::fromStdString(name));
  setCurrentIndex(-1);
  setEditText(text);
}

void TDBComboEdit::DataChange() {
  const QString text = FieldText(link_);
  if (text != currentText()) setEditText(text);
  setEnabled(link_.CanModify());
}

void TDBComboEdit::UpdateData() { link_.Field()->SetAsString(currentText().toStdString()); }

void TDBComboEdit::UserChanged() { Modify(link_, this, ui_); }

void TDBComboEdit::focusOutEvent(QFocusEvent* event) {
  QComboBox::focusOutEvent(event);
  if (LeavesControl(event)) CommitControl(*this, this, ui_);
}

// ---- TDBLookupListBox

TDBLookupListBox::TDBLookupListBox(TMemTable& table, std::string field_name, ModalUi& ui,
                                   QWidget* parent)
    : QListWidget(parent), table_(table), field_name_(std::move(field_name)), ui_(ui) {
  listener_id_ = table_.AddDataListener([this](DataEvent event) { OnDataEvent(event); });
  connect(this, &QListWidget::currentRowChanged, this, &TDBLookupListBox::UserChoseRow);
  Rebuild();
}

TDBLookupListBox::~TDBLookupListBox() { table_.RemoveDataListener(listener_id_); }

void TDBLookupListBox::OnDataEvent(DataEvent event) {
  // A changed filter only moves to its first row; the lines are few, so every move rebuilds.
  if (event == DataEvent::kDataSetChanged || event == DataEvent::kScrolled) Rebuild();
}

void TDBLookupListBox::Rebuild() {
  updating_ = true;
  clear();
  const TField* field = table_.FindField(field_name_);
  if (table_.Active() && field != nullptr) {
    for (std::size_t i = 0; i < table_.StoredRowCount(); ++i) {
      if (!table_.StoredRowVisible(i)) continue;
      addItem(QString::fromStdString(ValueToText(table_.StoredRow(i).values[field->Index()])));
    }
  }
  updating_ = false;
  ShowCurrentRow();
}

void TDBLookupListBox::ShowCurrentRow() {
  updating_ = true;
  setCurrentRow(table_.RecNo() - 1);
  updating_ = false;
}

void TDBLookupListBox::UserChoseRow(int row) {
  if (updating_ || row < 0 || row + 1 == table_.RecNo()) return;
  if (!RunGuarded(ui_, window(), [&] { table_.SetRecNo(row + 1); })) ShowCurrentRow();
}

// ---- TDBSpinEdit

namespace {

// An optional sign and digits; a number too large for any range saturates.
std::optional<long long> ParseWholeNumber(const QString& text) {
  int i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
  if (i == text.size()) return std::nullopt;
  long long value = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < u'0' || text[i] > u'9') return std::nullopt;
    value = std::min(value * 10 + (text[i].unicode() - u'0'), 1'000'000'000'000LL);
  }
  return negative ? -value : value;
}

QString ValueText(std::optional<int> value) { return value ? QString::number(*value) : QString(); }

}  // namespace

TDBSpinEdit::TDBSpinEdit(int min, int max, TMemTable& table, std::string field_name, ModalUi& ui,
                         QWidget* parent)
    : QAbstractSpinBox(parent), min_(min), max_(max), link_(table, std::move(field_name)), ui_(ui) {
  setAlignment(Qt::AlignRight);
  connect(lineEdit(), &QLineEdit::textEdited, this, &TDBSpinEdit::TextEdited);
  link_.SetHandlers([this] { DataChange(); }, [this] { UpdateData(); });
}

void TDBSpinEdit::SetValue(std::optional<int> value) {
  value_ = value;
  const QString text = ValueText(value);
  if (lineEdit()->text() != text) lineEdit()->setText(text);
}

void TDBSpinEdit::UserSetValue(std::optional<int> value) {
  if (value == value_) return;
  value_ = value;
  try {
    link_.Modified();
  } catch (const std::exception& error) {
    // The link shows the field again.
    ui_.ShowError(window(), QString::fromStdString(error.what()));
    return;
  }
  emit ValueEdited();
}

void TDBSpinEdit::TextEdited(const QString& text) {
  const QString trimmed = text.trimmed();
  if (trimmed.isEmpty()) {
    UserSetValue(std::nullopt);
    return;
  }
  const std::optional<long long> number = ParseWholeNumber(trimmed);
  if (!number) {
    lineEdit()->setText(ValueText(value_));
    return;
  }
  const int bounded = static_cast<int>(std::clamp<long long>(*number, min_, max_));
  if (bounded != *number) lineEdit()->setText(QString::number(bounded));
  UserSetValue(bounded);
}

void TDBSpinEdit::stepBy(int steps) {
  const int stepped = static_cast<int>(
      std::clamp<long long>(static_cast<long long>(value_.value_or(0)) + steps, min_, max_));
  if (value_ == stepped) return;
  lineEdit()->setText(QString::number(stepped));
  lineEdit()->selectAll();
  UserSetValue(stepped);
}

QAbstractSpinBox::StepEnabled TDBSpinEdit::stepEnabled() const {
  if (isReadOnly()) return StepNone;
  if (!value_) return StepUpEnabled | StepDownEnabled;
  StepEnabled enabled = StepNone;
  if (*value_ < max_) enabled |= StepUpEnabled;
  if (*value_ > min_) enabled |= StepDownEnabled;
  return enabled;
}

void TDBSpinEdit::focusOutEvent(QFocusEvent* event) {
  QAbstractSpinBox::focusOutEvent(event);
  if (LeavesControl(event)) CommitControl(*this, this, ui_);
}

void TDBSpinEdit::DataChange() {
  const TField* field = link_.Field();
  SetValue(field == nullptr || field->IsNull() ? std::nullopt
                                               : std::optional<int>(field->AsInteger()));
  setReadOnly(!link_.CanModify());
}

void TDBSpinEdit::UpdateData() {
  if (value_) {
    link_.Field()->SetAsInteger(*value_);
  } else {
    link_.Field()->Clear();
  }
}

}  // namespace mailferry
