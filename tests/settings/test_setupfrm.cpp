// The setup dialog: layout, binding, OK and Cancel, and its run through the port.
#include <gtest/gtest.h>

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QTimer>

#include "serial/comport.h"
#include "serial/ui/comsetupfrm.h"
#include "tests/support/modal.h"
#include <filesystem>

#include "tests/support/files.h"
#include "tests/support/pty.h"

namespace {

class SetupFrmTest : public ::testing::Test {
 protected:
  void SetUp() override {
    savedRoots = TComComboBox::PortListRoots();
    roots = {dir / "sys", dir / "dev", dir / "by-id"};
    std::filesystem::create_directories(roots.dev);
    for (const char* n : {"ttyUSB0", "ttyS0", "ttyACM1"}) {
      std::filesystem::create_directories(roots.sysClassTty + "/" + n + "/device");
      WriteFile(roots.dev + "/" + n, "");
    }
    TComComboBox::PortListRoots() = roots;
    ApplyComPort1Design(port);
    port.SetPort(Dev("ttyUSB0"));
    InstallSetupDialog();
  }
  void TearDown() override {
    TComComboBox::PortListRoots() = savedRoots;
    TCustomComPort::SetupDialogRunner() = nullptr;
  }
  std::string Dev(const char* n) const { return roots.dev + "/" + n; }

  TempDir dir;
  SerialPortRoots roots, savedRoots;
  TComPort port;
};

struct CountingPort : TComPort {
  int pushes = 0;
  void PushSettings() override {
    ++pushes;
    TComPort::PushSettings();
  }
};

}  // namespace

TEST_F(SetupFrmTest, LayoutAndCaptions) {
  TComSetupFrm frm(port);
  EXPECT_EQ(frm.windowTitle(), "Setup");
  EXPECT_EQ(frm.size(), QSize(231, 216));
  EXPECT_EQ(frm.minimumSize(), frm.maximumSize()) << "the border is fixed";
  EXPECT_EQ(frm.font().pointSize() > 0 ? frm.font().pointSize() : 8, 8);
  EXPECT_EQ(frm.GroupBox1->title(), " Settings ");
  EXPECT_EQ(frm.GroupBox1->geometry(), QRect(8, 8, 217, 169));

  const char* captions[6] = {"Port",      "Baud rate", "Data bits",
                             "Stop bits", "Parity",    "Flow control"};
  QLabel* labels[6] = {frm.Label1, frm.Label2, frm.Label3, frm.Label4, frm.Label5, frm.Label6};
  TComComboBox* combos[6] = {frm.Combo1, frm.Combo2, frm.Combo3,
                             frm.Combo4, frm.Combo5, frm.Combo6};
  const TComProperty props[6] = {cpPort,     cpBaudRate, cpDataBits,
                                 cpStopBits, cpParity,   cpFlowControl};
  const int counts[6] = {3, 16, 4, 3, 5, 4};
  QFontMetrics fm(frm.font());
  for (int i = 0; i < 6; ++i) {
    SCOPED_TRACE(captions[i]);
    EXPECT_EQ(labels[i]->text(), captions[i]);
    EXPECT_EQ(labels[i]->parentWidget(), frm.GroupBox1);
    EXPECT_EQ(labels[i]->x(), 8);
    EXPECT_EQ(labels[i]->y(), 24 + 24 * i);
    EXPECT_LE(fm.horizontalAdvance(labels[i]->text()), labels[i]->width());
    EXPECT_LE(labels[i]->geometry().right(), combos[i]->x());
    EXPECT_EQ(combos[i]->objectName(), QString("Combo%1").arg(i + 1));
    EXPECT_EQ(combos[i]->parentWidget(), frm.GroupBox1);
    EXPECT_EQ(combos[i]->geometry().topLeft(), QPoint(80, 16 + 24 * i));
    EXPECT_EQ(combos[i]->width(), 129);
    EXPECT_FALSE(combos[i]->isEditable());
    EXPECT_EQ(combos[i]->ComProperty(), props[i]);
    EXPECT_EQ(combos[i]->count(), counts[i]);
  }
  EXPECT_EQ(frm.Combo2->itemText(0), "Custom");
  EXPECT_EQ(frm.Combo2->itemText(15), "256000");
  EXPECT_EQ(frm.Combo4->itemText(1), "1.5");
  EXPECT_EQ(frm.Combo5->itemText(4), "Space");
  EXPECT_EQ(frm.Combo6->itemText(3), "Custom");
  EXPECT_EQ(frm.Button1->text(), "OK");
  EXPECT_EQ(frm.Button1->geometry(), QRect(70, 184, 75, 25));
  EXPECT_TRUE(frm.Button1->isDefault());
  EXPECT_EQ(frm.Button2->text(), "Cancel");
  EXPECT_EQ(frm.Button2->geometry(), QRect(150, 184, 75, 25));
  EXPECT_LE(fm.horizontalAdvance(frm.GroupBox1->title()), frm.GroupBox1->width());

  // Tab order: Combo1..Combo6, OK, Cancel.
  std::vector<QWidget*> order;
  QWidget* w = frm.Combo1;
  do {
    if (w->focusPolicy() & Qt::TabFocus) order.push_back(w);
    w = w->nextInFocusChain();
  } while (w != frm.Combo1 && order.size() < 20);
  std::vector<QWidget*> expected = {frm.Combo1, frm.Combo2, frm.Combo3,  frm.Combo4,
                                    frm.Combo5, frm.Combo6, frm.Button1, frm.Button2};
  EXPECT_EQ(order, expected);
}

TEST_F(SetupFrmTest, BindingShowsThePortAndChoicesStayInTheListsUntilApplied) {
  port.SetPort(roots.dev + "/TTYusb0");  // found without regard to case
  port.Parity().SetBits(prMark);
  TComSetupFrm frm(port);
  EXPECT_EQ(frm.Combo1->currentText().toStdString(), Dev("ttyUSB0"));
  EXPECT_EQ(frm.Combo1->PortValue(), Dev("ttyUSB0"));
  EXPECT_EQ(frm.Combo2->currentText(), "38400");
  EXPECT_EQ(frm.Combo3->currentText(), "8");
  EXPECT_EQ(frm.Combo4->currentText(), "2");
  EXPECT_EQ(frm.Combo5->currentText(), "Mark");
  EXPECT_EQ(frm.Combo6->currentText(), "None");
  EXPECT_EQ(frm.Combo2->OrdinalValue(), br38400);

  frm.Combo2->setCurrentIndex(br115200);
  frm.Combo5->setCurrentIndex(prEven);
  EXPECT_EQ(frm.Combo2->OrdinalValue(), br115200);
  EXPECT_EQ(port.BaudRate(), br38400);
  EXPECT_EQ(port.Parity().Bits(), prMark);
  frm.ApplySettings();
  EXPECT_EQ(port.BaudRate(), br115200);
  EXPECT_EQ(port.Parity().Bits(), prEven);
  EXPECT_EQ(port.Port(), Dev("ttyUSB0"));  // the list's spelling
  EXPECT_EQ(port.StopBits(), sbTwoStopBits);
}

TEST_F(SetupFrmTest, UnlistedPortShowsNoSelectionAndOkStoresTheEmptyName) {
  port.SetPort("COM77");
  int shown = 0;
  modal::DialogAnswerer<TComSetupFrm> setupDialog([&](TComSetupFrm& frm) {
    ++shown;
    EXPECT_EQ(frm.Combo1->currentIndex(), -1);
    EXPECT_EQ(frm.Combo1->count(), 3);
    EXPECT_EQ(frm.Combo1->PortValue(), "");
    frm.Button1->click();
  });
  port.RunSetupDialog();
  EXPECT_EQ(shown, 1);
  EXPECT_EQ(port.Port(), "");
  EXPECT_EQ(port.BaudRate(), br38400);
  EXPECT_THROW(port.Open(), EComPort);
}

TEST_F(SetupFrmTest, CancelAndCloseBoxChangeNothing) {
  for (int how = 0; how < 2; ++how) {
    modal::DialogAnswerer<TComSetupFrm> setupDialog([&](TComSetupFrm& frm) {
      frm.Combo1->setCurrentIndex(0);
      frm.Combo2->setCurrentIndex(br300);
      frm.Combo3->setCurrentIndex(dbFive);
      frm.Combo6->setCurrentIndex(fcHardware);
      if (how == 0) {
        frm.Button2->click();
      } else {
        // The close box of the shown dialog.
        QTimer::singleShot(20, &frm, [&frm] { frm.close(); });
        QTimer::singleShot(5000, &frm, [&frm] { frm.accept(); });  // never hang
      }
    });
    port.RunSetupDialog();
    EXPECT_EQ(port.Port(), Dev("ttyUSB0"));
    EXPECT_EQ(port.BaudRate(), br38400);
    EXPECT_EQ(port.DataBits(), dbEight);
    EXPECT_EQ(port.FlowControl().FlowControl(), fcNone);
  }
}

TEST_F(SetupFrmTest, ModalRunAnsweredFromTheEventLoop) {
  modal::DialogAnswerer<TComSetupFrm> setupDialog([&](TComSetupFrm& frm) {
    frm.Combo4->setCurrentIndex(sbOneStopBit);
    QTimer::singleShot(20, &frm, [&frm] {
      QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
      QCoreApplication::sendEvent(&frm, &enter);  // the default button answers
    });
    QTimer::singleShot(5000, &frm, [&frm] { frm.reject(); });  // never hang
  });
  port.RunSetupDialog();
  EXPECT_EQ(port.StopBits(), sbOneStopBit);
}

TEST_F(SetupFrmTest, FailingPortListRaisesBeforeTheDialogIsShown) {
  TComComboBox::PortListRoots().sysClassTty = dir / "nothing";
  bool shown = false;
  modal::DialogAnswerer<TComSetupFrm> setupDialog([&](TComSetupFrm& frm) {
    shown = true;
    frm.reject();
  });
  try {
    port.RunSetupDialog();
    FAIL() << "no error";
  } catch (const EComPort& e) {
    EXPECT_EQ(e.ErrorNumber(), cePortList);
    EXPECT_EQ(e.SystemErrorCode(), ENOENT);
  }
  EXPECT_FALSE(shown);
  // Without an installed dialog the call does nothing.
  TCustomComPort::SetupDialogRunner() = nullptr;
  EXPECT_NO_THROW(port.RunSetupDialog());
}

TEST_F(SetupFrmTest, OkOnAnOpenPortPushesOnceAtTheUnlock) {
  PtyPair pty;
  ASSERT_TRUE(pty.Ok());
  CountingPort open;
  ApplyComPort1Design(open);
  open.SetPort(pty.path);
  int opens = 0, closes = 0;
  open.OnAfterOpen = [&](TCustomComPort*) { ++opens; };
  open.OnAfterClose = [&](TCustomComPort*) { ++closes; };
  open.Open();
  ASSERT_TRUE(open.Connected());
  EXPECT_EQ(pty.SlaveSpeed(), B38400);
  open.pushes = 0;

  {
    modal::DialogAnswerer<TComSetupFrm> setupDialog([&](TComSetupFrm& frm) {
      EXPECT_EQ(frm.Combo1->currentText().toStdString(), pty.path);  // the current pty is offered
      frm.Combo2->setCurrentIndex(br19200);
      frm.Combo5->setCurrentIndex(prOdd);
      frm.accept();
    });
    open.RunSetupDialog();
  }
  EXPECT_EQ(open.pushes, 1);
  EXPECT_EQ(opens, 1) << "reopened";
  EXPECT_EQ(closes, 0);
  EXPECT_TRUE(open.Connected());
  EXPECT_EQ(open.BaudRate(), br19200);
  EXPECT_EQ(pty.SlaveSpeed(), B19200);

  // A port name that cannot be opened: the failure goes on, the lock is released.
  modal::DialogAnswerer<TComSetupFrm> setupDialog([&](TComSetupFrm& frm) {
    int i = frm.Combo1->findText(QString::fromStdString(Dev("ttyACM1")));
    ASSERT_GE(i, 0);
    frm.Combo1->setCurrentIndex(i);
    std::filesystem::remove(Dev("ttyACM1"));  // unplugged after the list was made
    frm.accept();
  });
  EXPECT_THROW(open.RunSetupDialog(), EComPort);
  EXPECT_FALSE(open.Connected());
  open.pushes = 0;
  open.SetPort(pty.path);
  open.Open();
  EXPECT_EQ(open.pushes, 1);
  open.SetBaudRate(br57600);  // the line settings alone, at once: no lock left
  EXPECT_EQ(open.pushes, 1);
  EXPECT_EQ(pty.SlaveSpeed(), B57600) << "settings lock left set";
  open.Close();
}
