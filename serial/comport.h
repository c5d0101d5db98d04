// The serial port component: one TComPort owns one serial device, keeps its settings as
// properties, pushes them to the device when they change while open, and moves bytes
// with bounded waits. Plain C++ on the device seam of serial_device.h; no Qt here.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

#include "serial/comerrors.h"

// ---- enumerations (ordinals matter: the settings file and the dialog use them) ----

enum TBaudRate {
  brCustom,
  br110,
  br300,
  br600,
  br1200,
  br2400,
  br4800,
  br9600,
  br14400,
  br19200,
  br38400,
  br56000,
  br57600,
  br115200,
  br128000,
  br256000
};
enum TDataBits { dbFive, dbSix, dbSeven, dbEight };
enum TStopBits { sbOneStopBit, sbOne5StopBits, sbTwoStopBits };
enum TParityBits { prNone, prOdd, prEven, prMark, prSpace };
enum TDTRFlowControl { dtrDisable, dtrEnable, dtrHandshake };
enum TRTSFlowControl { rtsDisable, rtsEnable, rtsHandshake, rtsToggle };
enum TFlowControl { fcHardware, fcSoftware, fcNone, fcCustom };
enum TSyncMethod { smThreadSync, smWindowSync, smNone };
enum TComEvent {
  evRxChar,
  evTxEmpty,
  evRxFlag,
  evRing,
  evBreak,
  evCTS,
  evDSR,
  evError,
  evRLSD,
  evRx80Full
};

// A set of TComEvent, one bit per ordinal.
class TComEvents {
 public:
  constexpr TComEvents() = default;
  constexpr TComEvents(std::initializer_list<TComEvent> evs) {
    for (TComEvent e : evs) bits_ |= 1u << e;
  }
  static constexpr TComEvents All() {
    TComEvents s;
    s.bits_ = 0x3FF;
    return s;
  }
  constexpr bool Has(TComEvent e) const { return (bits_ >> e) & 1u; }
  constexpr void Include(TComEvent e) { bits_ |= 1u << e; }
  constexpr void Exclude(TComEvent e) { bits_ &= ~(1u << e); }
  constexpr bool Empty() const { return bits_ == 0; }
  constexpr bool operator==(const TComEvents&) const = default;

 private:
  uint32_t bits_ = 0;
};

// The device event-mask bits of each event, one to one; other mask bits are ignored.
uint32_t EventsToMask(TComEvents events);
TComEvents MaskToEvents(uint32_t mask);

// Numeric rate of a TBaudRate (brCustom gives 0: the caller uses CustomBaudRate).
int BaudRateValue(TBaudRate rate);

class TCustomComPort;

// ---- settings objects; each setter compares, stores, then asks the port to push ----

class TComParity {
 public:
  explicit TComParity(TCustomComPort* port) : port_(port) {}
  TParityBits Bits() const { return bits_; }
  bool Check() const { return check_; }
  bool Replace() const { return replace_; }
  uint8_t ReplaceChar() const { return replaceChar_; }
  void SetBits(TParityBits v);
  void SetCheck(bool v);
  void SetReplace(bool v);
  void SetReplaceChar(uint8_t v);
  // Copies every field, then pushes the line settings once.
  void Assign(const TComParity& other);

 private:
  TCustomComPort* port_;
  TParityBits bits_ = prNone;
  bool check_ = false;
  bool replace_ = false;
  uint8_t replaceChar_ = 0;
};

class TComFlowControl {
 public:
  explicit TComFlowControl(TCustomComPort* port) : port_(port) {}
  bool OutCTSFlow() const { return outCTSFlow_; }
  bool OutDSRFlow() const { return outDSRFlow_; }
  TDTRFlowControl ControlDTR() const { return controlDTR_; }
  TRTSFlowControl ControlRTS() const { return controlRTS_; }
  bool XonXoffOut() const { return xonXoffOut_; }
  bool XonXoffIn() const { return xonXoffIn_; }
  bool DSRSensitivity() const { return dsrSensitivity_; }
  bool TxContinueOnXoff() const { return txContinueOnXoff_; }
  uint8_t XonChar() const { return xonChar_; }
  uint8_t XoffChar() const { return xoffChar_; }
  void SetOutCTSFlow(bool v);
  void SetOutDSRFlow(bool v);
  void SetControlDTR(TDTRFlowControl v);
  void SetControlRTS(TRTSFlowControl v);
  void SetXonXoffOut(bool v);
  void SetXonXoffIn(bool v);
  void SetDSRSensitivity(bool v);
  void SetTxContinueOnXoff(bool v);
  void SetXonChar(uint8_t v);
  void SetXoffChar(uint8_t v);
  // The summary, worked out from the fields; writing it sets the fields and pushes once.
  TFlowControl FlowControl() const;
  void SetFlowControl(TFlowControl v);
  void Assign(const TComFlowControl& other);

 private:
  TCustomComPort* port_;
  bool outCTSFlow_ = false;
  bool outDSRFlow_ = false;
  TDTRFlowControl controlDTR_ = dtrDisable;
  TRTSFlowControl controlRTS_ = rtsDisable;
  bool xonXoffOut_ = false;
  bool xonXoffIn_ = false;
  bool dsrSensitivity_ = false;
  bool txContinueOnXoff_ = false;
  uint8_t xonChar_ = 17;
  uint8_t xoffChar_ = 19;
};

class TComTimeouts {
 public:
  explicit TComTimeouts(TCustomComPort* port) : port_(port) {}
  int32_t ReadInterval() const { return readInterval_; }
  int32_t ReadTotalMultiplier() const { return readTotalMultiplier_; }
  int32_t ReadTotalConstant() const { return readTotalConstant_; }
  int32_t WriteTotalMultiplier() const { return writeTotalMultiplier_; }
  int32_t WriteTotalConstant() const { return writeTotalConstant_; }
  void SetReadInterval(int32_t v);
  void SetReadTotalMultiplier(int32_t v);
  void SetReadTotalConstant(int32_t v);
  void SetWriteTotalMultiplier(int32_t v);
  void SetWriteTotalConstant(int32_t v);
  void Assign(const TComTimeouts& other);

 private:
  TCustomComPort* port_;
  int32_t readInterval_ = -1;
  int32_t readTotalMultiplier_ = 0;
  int32_t readTotalConstant_ = 0;
  int32_t writeTotalMultiplier_ = 100;
  int32_t writeTotalConstant_ = 1000;
};

class TComBuffer {
 public:
  explicit TComBuffer(TCustomComPort* port) : port_(port) {}
  int32_t InputSize() const { return inputSize_; }
  int32_t OutputSize() const { return outputSize_; }
  // Odd positive values are stored one lower.
  void SetInputSize(int32_t v);
  void SetOutputSize(int32_t v);
  void Assign(const TComBuffer& other);

 private:
  TCustomComPort* port_;
  int32_t inputSize_ = 1024;
  int32_t outputSize_ = 1024;
};

class SerialDevice;        // serial/serial_device.h
class TerminalSettingsIo;  // serial/terminal_settings.h
class TComThread;          // serial/comthread.h
class MainThreadSync;      // serial/mainsync.h

// ---- the port ----

class TCustomComPort {
 public:
  explicit TCustomComPort(std::string componentName = "ComPort1");
  virtual ~TCustomComPort();  // runs Close
  TCustomComPort(const TCustomComPort&) = delete;
  TCustomComPort& operator=(const TCustomComPort&) = delete;

  const std::string& Name() const { return name_; }

  // Properties.
  const std::string& Port() const { return port_; }
  void SetPort(const std::string& name);  // case-sensitive compare; reopens when open
  TBaudRate BaudRate() const { return baudRate_; }
  void SetBaudRate(TBaudRate v);
  int32_t CustomBaudRate() const { return customBaudRate_; }
  void SetCustomBaudRate(int32_t v);
  TDataBits DataBits() const { return dataBits_; }
  void SetDataBits(TDataBits v);
  TStopBits StopBits() const { return stopBits_; }
  void SetStopBits(TStopBits v);
  bool DiscardNull() const { return discardNull_; }
  void SetDiscardNull(bool v);
  uint8_t EventChar() const { return eventChar_; }
  void SetEventChar(uint8_t v);
  TComEvents Events() const { return events_; }
  void SetEvents(TComEvents v) { events_ = v; }  // used at the next Open
  TSyncMethod SyncMethod() const { return syncMethod_; }
  void SetSyncMethod(TSyncMethod v);  // EComPort ceSetWhileConnected while connected

  TComParity& Parity() { return parity_; }
  TComFlowControl& FlowControl() { return flowControl_; }
  TComTimeouts& Timeouts() { return timeouts_; }
  TComBuffer& Buffer() { return buffer_; }
  const TComParity& Parity() const { return parity_; }
  const TComFlowControl& FlowControl() const { return flowControl_; }
  const TComTimeouts& Timeouts() const { return timeouts_; }
  const TComBuffer& Buffer() const { return buffer_; }

  // XonLim and XoffLim as the line settings derive them: InputSize / 4.
  int32_t XonLim() const { return buffer_.InputSize() / 4; }
  int32_t XoffLim() const { return buffer_.InputSize() / 4; }

  // The device path that Port names on this system (serial_device.h). On POSIX absolute
  // paths stand as they are, "COMn" is /dev/ttyS<n-1>, any other bare NAME is /dev/NAME;
  // on Windows a bare name is prefixed with \\.\ (so COM10 and above work).
  static std::string DevicePath(const std::string& port);

  // Operations.
  void Open();
  void Close();
  bool Connected() const { return connected_; }
  void SetConnected(bool v) { v ? Open() : Close(); }
  int32_t PendingInput();
  int32_t PendingOutput();
  void PurgeQueues(bool input, bool output);
  int32_t Write(const void* buffer, int32_t count);
  int32_t SendText(const std::string& text);
  int32_t Read(void* buffer, int32_t count);
  // Read that waits up to timeoutMs for the first byte and returns as soon as it has
  // one, whatever the port's read time-outs say; those stay as they are.
  int32_t ReadWithin(void* buffer, int32_t count, int32_t timeoutMs);
  int32_t ReceiveText(std::string& text, int32_t count);

  void LockSettings();
  void UnlockSettings();

  // Settings file and setup dialog (serial/comsettings.cpp, serial/ui/).
  void WriteSettings(bool useIniFile, const std::string& name);
  void ReadSettings(bool useIniFile, const std::string& name);
  void RunSetupDialog();
  // The window installs the dialog; without one, RunSetupDialog does nothing.
  static std::function<void(TCustomComPort&)>& SetupDialogRunner();

  // Pushes; each does nothing unless connected and unlocked.
  virtual void PushSettings();
  virtual void PushLineSettings();
  virtual void PushTimeouts();
  virtual void PushQueueSizes();

  // Events. Handlers run on the window's thread with smThreadSync (see mainsync.h).
  std::function<void(TCustomComPort* sender, int32_t count)> OnRxChar;
  std::function<void(TCustomComPort* sender)> OnRx80Full;
  std::function<void(TCustomComPort*sender)> OnBeforeOpen, OnAfterOpen, OnBeforeClose, OnAfterClose,
      OnTxEmpty, OnBreak, OnRing, OnRxFlag, OnError;
  std::function<void(TCustomComPort*sender, bool on)> OnCTSChange, OnDSRChange, OnRLSDChange;

  // Where batches of the event thread are run (the window's thread); defaults to the
  // program-wide MainThreadSync::Instance().
  void SetMainThreadSync(MainThreadSync* sync) { sync_ = sync; }
  MainThreadSync* MainSync() const { return sync_; }
  // True while the event thread runs (it ends by itself on a handler's exception or
  // when the device disappears).
  bool EventThreadRunning() const;

  // Works through one batch of device events in the documented order. Called on the
  // window's thread by the event thread's hand-over.
  void DispatchEvents(TComEvents batch);

 protected:
  // Open and close the device handle; overridable so that tests can inject failures.
  virtual void CreateHandle();
  virtual void DestroyHandle();
  // The terminal-settings calls of the POSIX devices this port opens: null for the
  // system's; tests put in a terminal that plays a driver.
  virtual TerminalSettingsIo* TerminalSettings() { return nullptr; }
  SerialDevice* Device() const { return device_.get(); }

 private:
  void StartEventThread();
  void StopEventThread();
  void CheckQueueSizeLimits() const;
  void CheckLineSettingLimits() const;
  void CheckTimeoutLimits() const;
  bool CanPush() const { return connected_ && lockCount_ == 0; }

  std::string name_;
  std::string port_ = "COM1";
  TBaudRate baudRate_ = br9600;
  int32_t customBaudRate_ = 9600;
  TDataBits dataBits_ = dbEight;
  TStopBits stopBits_ = sbOneStopBit;
  bool discardNull_ = false;
  uint8_t eventChar_ = 0;
  TComEvents events_ = TComEvents::All();
  TSyncMethod syncMethod_ = smThreadSync;
  TComParity parity_{this};
  TComFlowControl flowControl_{this};
  TComTimeouts timeouts_{this};
  TComBuffer buffer_{this};

  bool connected_ = false;
  bool closing_ = false;  // Close waits for the event thread
  int lockCount_ = 0;
  std::unique_ptr<SerialDevice> device_;
  std::unique_ptr<TComThread> thread_;
  MainThreadSync* sync_ = nullptr;

  friend class TComParity;
  friend class TComFlowControl;
  friend class TComTimeouts;
  friend class TComBuffer;
};

class TComPort : public TCustomComPort {
 public:
  using TCustomComPort::TCustomComPort;
};

// The design values of the window's port: COM2, 38400 8N2, no flow control, input queue
// 65536, read total constant 20 ms.
void ApplyComPort1Design(TCustomComPort& port);
