// The port property box: its items, what binding selects, the pending value, applying,
// change notices and the unbinding when the bound port goes.
#include "cport_ui/cport_ctl.h"

#include <gtest/gtest.h>

#include <QTest>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "cport/com_error.h"
#include "rt/main_thread.h"
#include "tests/cport/support/scripted_port.h"
#include "tests/cport_ui/port_list_tree.h"

namespace {

using corvane::platform::FakeOp;
using corvane::test::PortListTree;
using corvane::test::ScriptedPort;
using Texts = std::vector<std::string>;

Texts Items(const TComComboBox& box) {
  Texts texts;
  for (int i = 0; i < box.count(); ++i) texts.push_back(box.itemText(i).toStdString());
  return texts;
}

// Moves the selection with the arrow keys, as a user does, until Text is selected.
void Pick(TComComboBox& box, const std::string& text) {
  const int target = box.findText(QString::fromStdString(text));
  ASSERT_GE(target, 0) << text;
  ASSERT_NE(target, box.currentIndex()) << "already selected: " << text;
  while (box.currentIndex() != target)
    QTest::keyClick(&box, box.currentIndex() < target ? Qt::Key_Down : Qt::Key_Up);
}

TEST(ComComboBox, ItemsFollowTheProperty) {
  PortListTree ports({"COM2", "COM10", "com1"});
  struct Case {
    TComProperty property;
    Texts items;
  };
  const Case cases[] = {
      {cpNone, {}},
      {cpPort, {"com1", "COM10", "COM2"}},
      {cpBaudRate,
       {"Custom", "110", "300", "600", "1200", "2400", "4800", "9600", "14400", "19200", "38400",
        "56000", "57600", "115200", "128000", "256000"}},
      {cpDataBits, {"5", "6", "7", "8"}},
      {cpStopBits, {"1", "1.5", "2"}},
      {cpParity, {"None", "Odd", "Even", "Mark", "Space"}},
      {cpFlowControl, {"Hardware", "Software", "None", "Custom"}},
  };
  TComComboBox box;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.property);
    box.SetComProperty(c.property);
    EXPECT_EQ(Items(box), c.items);
    EXPECT_EQ(box.ItemIndex(), c.items.empty() ? -1 : 0);
  }
}

TEST(ComComboBox, UnboundBaudRateBoxShowsCustom) {
  TComComboBox box;
  box.SetComProperty(cpBaudRate);
  EXPECT_EQ(box.count(), 16);
  EXPECT_EQ(box.Text(), "Custom");
  EXPECT_FALSE(box.isEditable());
}

TEST(ComComboBox, PortBoxWithoutAReadableListIsEmpty) {
  PortListTree ports({});
  corvane::SetPortListSource({"/nonexistent/tty", "/nonexistent/by-id"});
  TComComboBox box;
  box.SetComProperty(cpPort);
  EXPECT_EQ(box.count(), 0);
  EXPECT_EQ(box.Text(), "");
}

TEST(ComComboBox, BindingSelectsThePortsValue) {
  struct Case {
    const char* name;
    TComProperty property;
    std::function<void(TCustomComPort&)> set;
    std::string expected;
  };
  const Case cases[] = {
      {"38400", cpBaudRate, [](TCustomComPort& p) { p.SetBaudRate(br38400); }, "38400"},
      {"custom rate", cpBaudRate, [](TCustomComPort& p) { p.SetBaudRate(brCustom); }, "Custom"},
      {"seven bits", cpDataBits, [](TCustomComPort& p) { p.SetDataBits(dbSeven); }, "7"},
      {"1.5 stop", cpStopBits, [](TCustomComPort& p) { p.SetStopBits(sbOne5StopBits); }, "1.5"},
      {"mark", cpParity, [](TCustomComPort& p) { p.Parity().SetBits(prMark); }, "Mark"},
      {"xon/xoff", cpFlowControl,
       [](TCustomComPort& p) {
         p.FlowControl().SetXonXoffIn(true);
         p.FlowControl().SetXonXoffOut(true);
       },
       "Software"},
      {"dsr flow only", cpFlowControl,
       [](TCustomComPort& p) { p.FlowControl().SetOutCTSFlow(true); }, "Custom"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TComPort port;
    c.set(port);
    TComComboBox box;
    box.SetComProperty(c.property);
    box.SetComPort(&port);
    EXPECT_EQ(box.Text(), c.expected);
    EXPECT_EQ(box.ComPort(), &port);
  }
}

TEST(ComComboBox, SettingThePropertyOfABoundBoxReadsThePort) {
  TComPort port;
  port.SetStopBits(sbTwoStopBits);
  TComComboBox box;
  box.SetComPort(&port);
  box.SetComProperty(cpStopBits);
  EXPECT_EQ(box.Text(), "2");
  EXPECT_EQ(box.ComSelect().StopBits(), sbTwoStopBits);
}

TEST(ComComboBox, TheSamePortSpelledOtherwiseSelectsTheListedNameAndApplyingKeepsTheLine) {
  PortListTree ports({"COM1", "COM4", "ttyUSB0"}, {{"usb-FTDI-if00-port0", "/dev/null"}});
  const std::string byId = ports.ById("usb-FTDI-if00-port0");
  struct Case {
    std::string portName;
    std::string listed;
  };
  const Case cases[] = {
      {"com4", "COM4"},
      {"/DEV/TTYUSB0", "ttyUSB0"},
      {QString::fromStdString(byId).toUpper().toStdString(), byId},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.portName);
    ScriptedPort port;
    port.SetEvents({});
    port.SetPort(c.portName);
    port.OpenPort();
    port.Script->ClearCalls();

    TComComboBox box;
    box.SetComProperty(cpPort);
    box.SetComPort(&port);
    EXPECT_EQ(box.Text(), c.listed);
    EXPECT_EQ(box.ComSelect().Port(), c.listed);
    EXPECT_EQ(box.count(), 4) << "nothing added for a listed port";

    box.ApplyToPort();
    EXPECT_EQ(port.Port(), c.portName);
    EXPECT_EQ(port.Script->Count(FakeOp::Close), 0);
    EXPECT_EQ(port.Script->Count(FakeOp::Open), 0);
    EXPECT_TRUE(port.Connected());
  }
}

TEST(ComComboBox, PortMissingFromTheListIsOfferedAndSelected) {
  PortListTree ports({"COM1", "COM4"});
  TComPort port;
  port.SetPort("/tmp/corvane-demo/porta");
  TComComboBox box;
  box.SetComProperty(cpPort);
  box.SetComPort(&port);
  EXPECT_EQ(Items(box), (Texts{"COM1", "COM4", "/tmp/corvane-demo/porta"}));
  EXPECT_EQ(box.Text(), "/tmp/corvane-demo/porta");
  EXPECT_EQ(box.ComSelect().Port(), "/tmp/corvane-demo/porta");
  box.ReadFromPort();
  EXPECT_EQ(box.count(), 3) << "offered once";

  // A port without a name has nothing to offer.
  TComPort nameless;
  nameless.SetPort("");
  TComComboBox other;
  other.SetComProperty(cpPort);
  other.SetComPort(&nameless);
  EXPECT_EQ(other.ItemIndex(), -1);
  EXPECT_EQ(other.count(), 2);
}

TEST(ComComboBox, TextLookupIgnoresCaseAndKeepsTheSelectionForUnknownTexts) {
  TComComboBox box;
  box.SetComProperty(cpBaudRate);
  box.SetText("57600");
  EXPECT_EQ(box.Text(), "57600");
  box.SetText("57601");
  EXPECT_EQ(box.Text(), "57600");
  box.SetText("CUSTOM");
  EXPECT_EQ(box.Text(), "Custom");
  box.SetText("");
  EXPECT_EQ(box.Text(), "Custom");
}

TEST(ComComboBox, OnlyAUsersPickRaisesChange) {
  TComPort port;
  TComComboBox box;
  box.SetComProperty(cpParity);
  int changes = 0;
  TObject* sender = nullptr;
  box.SetOnChange([&](TObject* s) {
    ++changes;
    sender = s;
  });
  box.SetComPort(&port);
  box.SetItemIndex(2);
  box.SetText("Space");
  box.ReadFromPort();
  box.SetComProperty(cpParity);
  EXPECT_EQ(changes, 0);

  Pick(box, "Odd");
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(sender, static_cast<TObject*>(&box));
  EXPECT_EQ(box.ComSelect().Parity(), prOdd);
}

TEST(ComComboBox, PickWaitsForApplyUnlessAutoApply) {
  TComPort port;
  port.FlowControl().SetFlowControl(fcNone);
  TComComboBox box;
  box.SetComProperty(cpFlowControl);
  box.SetComPort(&port);

  Pick(box, "Software");
  EXPECT_EQ(port.FlowControl().FlowControl(), fcNone);
  box.ApplyToPort();
  EXPECT_EQ(port.FlowControl().FlowControl(), fcSoftware);

  box.SetAutoApply(true);
  Pick(box, "Hardware");
  EXPECT_EQ(port.FlowControl().FlowControl(), fcHardware);
}

TEST(ComComboBox, UnboundPickOnlyUpdatesThePendingValue) {
  TComComboBox box;
  box.SetComProperty(cpDataBits);
  box.SetAutoApply(true);
  Pick(box, "7");
  EXPECT_EQ(box.ComSelect().DataBits(), dbSeven);
  box.ApplyToPort();  // nothing to apply to
  EXPECT_EQ(box.ComPort(), nullptr);
}

TEST(ComComboBox, ApplyGoesThroughEachSetter) {
  struct Case {
    TComProperty property;
    std::string pick;
    std::function<bool(const TCustomComPort&)> applied;
  };
  const Case cases[] = {
      {cpBaudRate, "115200", [](const TCustomComPort& p) { return p.BaudRate() == br115200; }},
      {cpDataBits, "6", [](const TCustomComPort& p) { return p.DataBits() == dbSix; }},
      {cpStopBits, "2", [](const TCustomComPort& p) { return p.StopBits() == sbTwoStopBits; }},
      {cpParity, "Even", [](const TCustomComPort& p) { return p.Parity().Bits() == prEven; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pick);
    TComPort port;
    TComComboBox box;
    box.SetComProperty(c.property);
    box.SetComPort(&port);
    Pick(box, c.pick);
    EXPECT_FALSE(c.applied(port));
    box.ApplyToPort();
    EXPECT_TRUE(c.applied(port));
  }
}

TEST(ComComboBox, DestroyingTheBoundPortUnbindsAndSelectsTheFirstItem) {
  auto port = std::make_unique<TComPort>();
  port->SetBaudRate(br19200);
  TComComboBox box;
  box.SetComProperty(cpBaudRate);
  box.SetComPort(port.get());
  ASSERT_EQ(box.Text(), "19200");

  port.reset();
  EXPECT_EQ(box.ComPort(), nullptr);
  EXPECT_EQ(box.ItemIndex(), 0);
  box.ApplyToPort();
  box.ReadFromPort();
  EXPECT_EQ(box.ItemIndex(), 0);
}

TEST(ComComboBox, RebindingOrUnbindingStopsWatchingTheOldPort) {
  auto first = std::make_unique<TComPort>();
  TComPort second;
  second.SetDataBits(dbSix);
  TComComboBox box;
  box.SetComProperty(cpDataBits);
  box.SetComPort(first.get());
  box.SetComPort(&second);
  first.reset();
  EXPECT_EQ(box.ComPort(), &second);
  EXPECT_EQ(box.Text(), "6");

  box.SetComPort(nullptr);
  EXPECT_EQ(box.Text(), "6");  // unbinding keeps the selection
  EXPECT_EQ(box.count(), 4);
}

TEST(ComComboBox, PortOutlivesItsBox) {
  TComPort port;
  {
    TComComboBox box;
    box.SetComProperty(cpParity);
    box.SetComPort(&port);
  }
  port.SetDataBits(dbSeven);  // the port is whole without its box
  EXPECT_EQ(port.DataBits(), dbSeven);
}

TEST(ComComboBox, ErrorOfAnAutoAppliedPickGoesToTheApplicationHandler) {
  std::vector<int> codes;
  corvane::MainThread::Instance().SetExceptionHandler([&](std::exception_ptr error) {
    try {
      std::rethrow_exception(error);
    } catch (const EComPort& e) {
      codes.push_back(e.ComErrorCode());
    }
  });
  {
    ScriptedPort port;
    port.SetEvents({});
    port.OpenPort();
    port.Script->Fail(FakeOp::SetCommState, 22);
    TComComboBox box;
    box.SetComProperty(cpParity);
    box.SetAutoApply(true);
    box.SetComPort(&port);
    Pick(box, "Odd");
    EXPECT_EQ(port.Parity().Bits(), prOdd);  // stored, the device refused it
  }
  corvane::MainThread::Instance().SetExceptionHandler(nullptr);
  EXPECT_EQ(codes, std::vector<int>{CE_SetStateFailed + 1});
}

}  // namespace
