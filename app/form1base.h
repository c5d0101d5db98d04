// The main window's controls: every control of the window with its name, kind, absolute
// geometry, caption, hint, design visibility, font and colour. TForm1 derives from it and
// adds the handlers. No layouts: positions are left, top, width, height in pixels
// relative to the parent, designed at 96 DPI.
#pragma once

#include <QCheckBox>
#include <QFont>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStringList>
#include <QTabWidget>
#include <QToolButton>
#include <QWidget>
#include <vector>

#include "app/analysispage.h"
#include "app/logbookpage.h"
#include "app/widgets.h"

class TForm1Base : public QWidget {
  Q_OBJECT
 public:
  explicit TForm1Base(QWidget* parent = nullptr);
  ~TForm1Base() override;

  static constexpr int kClientWidth = 641;
  static constexpr int kClientHeight = 428;
  // "MS Sans Serif" 8 pt, or the desktop's sans-serif at 8 pt where it is missing.
  static QFont DesignFont();
  // The fixed lines of the firmware instructions.
  static QStringList FirmwareInstructionLines();

  // Scales positions, sizes and fonts of the window and of every control.
  void ScaleBy(double factor);

  // The recording and telemetry check boxes in the order AD16, AD0, AD1, AD2, AD3, AD4,
  // Speed, Frq, RC1, RC2, RC3, Frei, E1, E2, Gps, Tele (t4800bps).
  std::vector<QCheckBox*> RecordBoxes() const;
  std::vector<QCheckBox*> TeleBoxes() const;
  // Every named control, for scaling and for tests.
  const std::vector<QWidget*>& DesignedControls() const { return designed_; }
  // The controls in the order the Tab key visits them: the tool bar, the page tabs, then
  // each page column by column, each column top to bottom.
  std::vector<QWidget*> TabChain() const;

  // Tool bar
  QFrame* ToolBar1;
  QToolButton* ToolButton1;
  QToolButton* SaveButton;
  QToolButton* SetupButton;
  QWidget* ToolButton2;
  QToolButton* ToolButton3;
  QToolButton* ExitButton;

  StatusBar* StatusBar1;

  QTabWidget* PageControl1;
  QWidget* TabSheet1;
  QWidget* TabSheet2;
  AnalysisPage* TabSheet3;  // "Auswertung"
  LogbookPage* TabSheet4;   // "Flugbuch"

  // TabSheet1
  QPushButton* Startbutton;
  QPushButton* LoggerButton;
  QPushButton* ResetButton1;
  QLabel* Label1;
  QLabel* FNLabel;
  QLabel* ZeitLabel;
  QLabel* EEPROMLabel;
  QLabel* WarteLabel;
  PaintBox* PaintBox1;
  RadioGroup* RadioGroup1;
  RadioGroup* DRadioGroup;
  RadioGroup* LRadioGroup;
  QPushButton* SchreibButton1;
  QGroupBox* GroupBox1;
  QGroupBox* GroupBox2;
  QGroupBox* NummernGroupBox;
  QLabel* Label2;
  MaskEdit3* SnMaskEdit;
  QLabel* Label4;
  MaskEdit3* OffsetMaskEdit;

  // GroupBox1: recorded channels
  QCheckBox* AD16CheckBox;
  QCheckBox* AD0CheckBox;
  QCheckBox* AD1CheckBox;
  QCheckBox* AD2CheckBox;
  QCheckBox* AD3CheckBox;
  QCheckBox* AD4CheckBox;
  QCheckBox* SpeedCheckBox;
  QCheckBox* FrqCheckBox;
  QCheckBox* RC1CheckBox;
  QCheckBox* RC2CheckBox;
  QCheckBox* RC3CheckBox;
  QCheckBox* E1CheckBox;
  QCheckBox* E2CheckBox;
  QCheckBox* GpsCheckBox;
  QCheckBox* FreiCheckBox;
  QCheckBox* TeleCheckBox;
  // GroupBox2: telemetry channels
  QCheckBox* tAD16CheckBox;
  QCheckBox* tAD0CheckBox;
  QCheckBox* tAD1CheckBox;
  QCheckBox* tAD2CheckBox;
  QCheckBox* tAD3CheckBox;
  QCheckBox* tAD4CheckBox;
  QCheckBox* tSpeedCheckBox;
  QCheckBox* tFrqCheckBox;
  QCheckBox* tRC1CheckBox;
  QCheckBox* tRC2CheckBox;
  QCheckBox* tRC3CheckBox;
  QCheckBox* tE1CheckBox;
  QCheckBox* tE2CheckBox;
  QCheckBox* tGpsCheckBox;
  QCheckBox* tFreiCheckBox;
  QCheckBox* t4800bpsCheckBox;

  // TabSheet2
  QPushButton* Button1;
  QProgressBar* ProgressBar1;
  QPlainTextEdit* Memo1;
  QPlainTextEdit* Memo2;

 private:
  template <class T>
  T* Make(T* w, const char* name, int left, int top, int width, int height);
  QPushButton* MakeButton(QWidget* parent, const char* name, int l, int t, int w, int h,
                          const QString& caption, const QString& hint);
  QLabel* MakeLabel(QWidget* parent, const char* name, int l, int t, const QString& text,
                    int width);
  QToolButton* MakeToolButton(const char* name, int left, const QIcon& icon, const QString& hint);
  QCheckBox* MakeCheckBox(QGroupBox* box, const char* name, int l, int t, const QString& caption,
                          const QString& hint = QString());
  void BuildToolBar();
  void BuildTabSheet1();
  void BuildCheckBoxes();
  void BuildTabSheet2();
  void FitCaptions();
  void NameForAssistiveTechnology();
  void SetTabOrder();

  std::vector<QWidget*> designed_;
};
