// The schedule dialog: its entry list, and the scheduler timer following every change at once.
#include "ui/frm_schedule.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QTest>

#include "ui/qt_main_thread.h"
#include "ui_test_support.h"

namespace mailferry::testing {
namespace {

class ScheduleTest : public DesktopProgramTest {
 protected:
  void SetUp() override {
    dial_up_.entries = std::vector<std::string>{"Office VPN", "Home DSL"};
    Start();
  }

  TfrmSchedule& schedule() { return program().frmSchedule(); }
  MainThreadTimer& timer() { return program().frmMain().tmrAutoScan(); }
  QLineEdit* MinutesText() { return schedule().DBSpinEdit1->findChild<QLineEdit*>(); }

  // Opens the dialog from the main window and works it.
  void WithDialog(std::function<void()> action) {
    ui_.dialogs.push_back([action = std::move(action)](QDialog&) { action(); });
    program().frmMain().SpeedButton2Click();
    EXPECT_TRUE(ui_.errors.empty());
  }

  // Types over the whole minutes box; the first key replaces what it showed.
  void RetypeMinutes(const QString& text) {
    schedule().DBSpinEdit1->setFocus();
    MinutesText()->selectAll();
    if (text.isEmpty()) {
      QTest::keyClick(MinutesText(), Qt::Key_Delete);
    } else {
      QTest::keyClicks(MinutesText(), text);
    }
  }
};

TEST_F(ScheduleTest, ShowsTheStoredConnectionAndOffersThePhonebookEntries) {
  dm().dbSystem.Edit();
  dm().dbSystem.FieldByName("RASConnection").SetAsString("Old Modem");
  dm().dbSystem.Post();
  WithDialog([&] {
    TDBComboEdit* list = schedule().cbRasList;
    EXPECT_EQ(list->currentText(), "Old Modem");
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->itemText(0), "Office VPN");
    EXPECT_EQ(list->itemText(1), "Home DSL");
    list->setCurrentIndex(1);
    emit list->activated(1);
    EXPECT_EQ(dm().dbSystem.FieldByName("RASConnection").AsString(), "Home DSL");
  });
}

TEST_F(ScheduleTest, EveryChangeArmsTheTimerAtOnce) {
  struct Step {
    const char* name;
    std::function<void(TfrmSchedule&)> act;
    std::string shown;  // the minutes box afterwards
    int interval_ms;
    bool enabled;
  };
  const auto type = [this](const char* text) {
    return [this, text](TfrmSchedule&) { RetypeMinutes(text); };
  };
  const Step steps[] = {
      {"first show", [](TfrmSchedule&) {}, "5", 5 * 60000, false},
      {"15 minutes", type("15"), "15", 15 * 60000, false},
      {"scheduler on", [](TfrmSchedule& s) { s.cbxSchedule->click(); }, "15", 15 * 60000, true},
      {"20000 minutes", type("20000"), "10080", 10080 * 60000, true},
      {"0 minutes", type("0"), "1", 60000, true},
      {"arrow down at the bound", [](TfrmSchedule& s) { s.DBSpinEdit1->stepBy(-1); }, "1", 60000,
       true},
      {"arrow up", [](TfrmSchedule& s) { s.DBSpinEdit1->stepBy(1); }, "2", 2 * 60000, true},
      {"not a number", type("x"), "2", 2 * 60000, true},
      {"emptied", type(""), "5", 5 * 60000, true},
      {"scheduler off", [](TfrmSchedule& s) { s.cbxSchedule->click(); }, "5", 5 * 60000, false},
  };
  WithDialog([&] {
    for (const Step& step : steps) {
      SCOPED_TRACE(step.name);
      step.act(schedule());
      EXPECT_EQ(MinutesText()->text().toStdString(), step.shown);
      EXPECT_EQ(timer().Interval(), step.interval_ms);
      EXPECT_EQ(timer().Enabled(), step.enabled);
    }
  });
  // The emptied box stored and posted 5; the later click stays in the row being edited.
  TMemTable& system = dm().dbSystem;
  EXPECT_EQ(system.State(), TableState::kEdit);
  EXPECT_EQ(system.FieldByName("Schedule").AsInteger(), 5);
  EXPECT_FALSE(system.FieldByName("CheckSchedule").AsBoolean());
}

TEST_F(ScheduleTest, LeavingTheMinutesBoxWritesTheScheduleAndOnlyARealChangeRestartsTheCountdown) {
  WithDialog([&] {
    schedule().cbxSchedule->click();
    auto* qt_timer = dynamic_cast<QtTimer*>(&timer());
    ASSERT_NE(qt_timer, nullptr);
    // Let the countdown run a little; the same minutes typed again leave it running.
    QTRY_VERIFY(qt_timer->RemainingTime() < 5 * 60000 - 20);
    RetypeMinutes("5");
    EXPECT_LT(qt_timer->RemainingTime(), 5 * 60000 - 20);
    RetypeMinutes("10");
    EXPECT_GT(qt_timer->RemainingTime(), 5 * 60000);

    schedule().dial_on_demand_->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(dm().dbSystem.FieldByName("Schedule").AsInteger(), 10);
  });
}

}  // namespace
}  // namespace mailferry::testing
