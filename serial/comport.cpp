#include "serial/comport.h"

#include <mutex>
#include <vector>

#include "serial/comthread.h"
#include "serial/mainsync.h"
#include "serial/serial_device.h"

namespace {

// Every setter compares first: only a changed value is stored, and only then pushed.
template <typename T>
bool Changed(T& field, T value) {
  if (field == value) return false;
  field = value;
  return true;
}

}  // namespace

namespace {

// Event threads released by a Close from one of their own handlers; they end as soon
// as their batch returns and are joined here later.
struct RetiredThreads {
  std::mutex mutex;
  std::vector<std::unique_ptr<TComThread>> threads;
  void Add(std::unique_ptr<TComThread> t) {
    std::lock_guard<std::mutex> lock(mutex);
    threads.push_back(std::move(t));
  }
  void Sweep() {
    std::vector<std::unique_ptr<TComThread>> done;
    {
      std::lock_guard<std::mutex> lock(mutex);
      for (auto it = threads.begin(); it != threads.end();) {
        if (!(*it)->Running()) {
          done.push_back(std::move(*it));
          it = threads.erase(it);
        } else {
          ++it;
        }
      }
    }
  }
  ~RetiredThreads() {
    for (auto& t : threads) t->WaitFinished(1000);
    threads.clear();
  }
};
RetiredThreads& Retired() {
  static RetiredThreads r;
  return r;
}

constexpr int32_t kMaxInputSize = 262143;  // a quarter of it must fit in 16 bits

}  // namespace

// ---------------------------------------------------------------- settings objects

void TComParity::SetBits(TParityBits v) {
  if (Changed(bits_, v)) port_->PushLineSettings();
}
void TComParity::SetCheck(bool v) {
  if (Changed(check_, v)) port_->PushLineSettings();
}
void TComParity::SetReplace(bool v) {
  if (Changed(replace_, v)) port_->PushLineSettings();
}
void TComParity::SetReplaceChar(uint8_t v) {
  if (Changed(replaceChar_, v)) port_->PushLineSettings();
}
void TComParity::Assign(const TComParity& other) {
  TCustomComPort* const port = port_;  // every field but the back reference
  *this = other;
  port_ = port;
  port_->PushLineSettings();
}

#define MORVALA_FLOW_SETTER(Name, field, Type)        \
  void TComFlowControl::Name(Type v) {                \
    if (Changed(field, v)) port_->PushLineSettings(); \
  }
MORVALA_FLOW_SETTER(SetOutCTSFlow, outCTSFlow_, bool)
MORVALA_FLOW_SETTER(SetOutDSRFlow, outDSRFlow_, bool)
MORVALA_FLOW_SETTER(SetControlDTR, controlDTR_, TDTRFlowControl)
MORVALA_FLOW_SETTER(SetControlRTS, controlRTS_, TRTSFlowControl)
MORVALA_FLOW_SETTER(SetXonXoffOut, xonXoffOut_, bool)
MORVALA_FLOW_SETTER(SetXonXoffIn, xonXoffIn_, bool)
MORVALA_FLOW_SETTER(SetDSRSensitivity, dsrSensitivity_, bool)
MORVALA_FLOW_SETTER(SetTxContinueOnXoff, txContinueOnXoff_, bool)
MORVALA_FLOW_SETTER(SetXonChar, xonChar_, uint8_t)
MORVALA_FLOW_SETTER(SetXoffChar, xoffChar_, uint8_t)
#undef MORVALA_FLOW_SETTER

TFlowControl TComFlowControl::FlowControl() const {
  if (controlRTS_ == rtsHandshake && outCTSFlow_ && !xonXoffIn_ && !xonXoffOut_) return fcHardware;
  if (controlRTS_ == rtsDisable && !outCTSFlow_ && xonXoffIn_ && xonXoffOut_) return fcSoftware;
  if (controlRTS_ == rtsDisable && !outCTSFlow_ && !xonXoffIn_ && !xonXoffOut_) return fcNone;
  return fcCustom;
}

void TComFlowControl::SetFlowControl(TFlowControl v) {
  if (v != fcCustom) {
    controlRTS_ = rtsDisable;
    outCTSFlow_ = false;
    xonXoffIn_ = false;
    xonXoffOut_ = false;
    if (v == fcHardware) {
      controlRTS_ = rtsHandshake;
      outCTSFlow_ = true;
    } else if (v == fcSoftware) {
      xonXoffIn_ = true;
      xonXoffOut_ = true;
    }
  }
  port_->PushLineSettings();
}

void TComFlowControl::Assign(const TComFlowControl& other) {
  TCustomComPort* const port = port_;  // every field but the back reference
  *this = other;
  port_ = port;
  port_->PushLineSettings();
}

#define MORVALA_TIMEOUT_SETTER(Name, field)       \
  void TComTimeouts::Name(int32_t v) {            \
    if (Changed(field, v)) port_->PushTimeouts(); \
  }
MORVALA_TIMEOUT_SETTER(SetReadInterval, readInterval_)
MORVALA_TIMEOUT_SETTER(SetReadTotalMultiplier, readTotalMultiplier_)
MORVALA_TIMEOUT_SETTER(SetReadTotalConstant, readTotalConstant_)
MORVALA_TIMEOUT_SETTER(SetWriteTotalMultiplier, writeTotalMultiplier_)
MORVALA_TIMEOUT_SETTER(SetWriteTotalConstant, writeTotalConstant_)
#undef MORVALA_TIMEOUT_SETTER

void TComTimeouts::Assign(const TComTimeouts& other) {
  TCustomComPort* const port = port_;  // every field but the back reference
  *this = other;
  port_ = port;
  port_->PushTimeouts();
}

void TComBuffer::SetInputSize(int32_t v) {
  if (v > 0 && (v & 1)) --v;
  if (Changed(inputSize_, v)) port_->PushQueueSizes();
}
void TComBuffer::SetOutputSize(int32_t v) {
  if (v > 0 && (v & 1)) --v;
  if (Changed(outputSize_, v)) port_->PushQueueSizes();
}
void TComBuffer::Assign(const TComBuffer& other) {
  TCustomComPort* const port = port_;  // every field but the back reference
  *this = other;
  port_ = port;
  port_->PushQueueSizes();
}

// ---------------------------------------------------------------- the port

TCustomComPort::TCustomComPort(std::string componentName)
    : name_(std::move(componentName)), sync_(&MainThreadSync::Instance()) {}

TCustomComPort::~TCustomComPort() {
  try {
    Close();
  } catch (...) {
  }
}

std::string TCustomComPort::DevicePath(const std::string& port) { return SerialDevicePath(port); }

void TCustomComPort::SetPort(const std::string& name) {
  if (name == port_) return;
  if (connected_) {
    Close();
    port_ = name;
    Open();
  } else {
    port_ = name;
  }
}

void TCustomComPort::SetBaudRate(TBaudRate v) {
  if (Changed(baudRate_, v)) PushLineSettings();
}
void TCustomComPort::SetCustomBaudRate(int32_t v) {
  if (Changed(customBaudRate_, v)) PushLineSettings();
}
void TCustomComPort::SetDataBits(TDataBits v) {
  if (Changed(dataBits_, v)) PushLineSettings();
}
void TCustomComPort::SetStopBits(TStopBits v) {
  if (Changed(stopBits_, v)) PushLineSettings();
}
void TCustomComPort::SetDiscardNull(bool v) {
  if (Changed(discardNull_, v)) PushLineSettings();
}
void TCustomComPort::SetEventChar(uint8_t v) {
  if (Changed(eventChar_, v)) PushLineSettings();
}
void TCustomComPort::SetSyncMethod(TSyncMethod v) {
  if (v == syncMethod_) return;
  if (connected_) throw EComPort(ceSetWhileConnected);
  syncMethod_ = v;
}

// The limits of each settings group, checked by that group's push before the device is
// touched.
void TCustomComPort::CheckQueueSizeLimits() const {
  if (buffer_.InputSize() < 0 || buffer_.OutputSize() < 0)
    throw EComPort(ceQueueSizes, "Buffer sizes must be 0 or more (InputSize " +
                                     std::to_string(buffer_.InputSize()) + ", OutputSize " +
                                     std::to_string(buffer_.OutputSize()) + ")");
}

void TCustomComPort::CheckLineSettingLimits() const {
  if (buffer_.InputSize() < 0 || buffer_.InputSize() > kMaxInputSize)
    throw EComPort(ceLineSettings, "Buffer.InputSize " + std::to_string(buffer_.InputSize()) +
                                       " is outside 0..262143: XonLim and XoffLim (InputSize / 4) "
                                       "must fit in 16 bits");
  if (customBaudRate_ < 0)
    throw EComPort(ceLineSettings,
                   "CustomBaudRate must be 0 or more (" + std::to_string(customBaudRate_) + ")");
}

void TCustomComPort::CheckTimeoutLimits() const {
  const int32_t values[5] = {timeouts_.ReadInterval(), timeouts_.ReadTotalMultiplier(),
                             timeouts_.ReadTotalConstant(), timeouts_.WriteTotalMultiplier(),
                             timeouts_.WriteTotalConstant()};
  const char* names[5] = {"ReadInterval", "ReadTotalMultiplier", "ReadTotalConstant",
                          "WriteTotalMultiplier", "WriteTotalConstant"};
  for (int i = 0; i < 5; ++i)
    if (values[i] < -1)
      throw EComPort(ceTimeouts, std::string("Timeouts.") + names[i] +
                                     " must be 0 or more, or -1 (" + std::to_string(values[i]) +
                                     ")");
}

void TCustomComPort::PushSettings() {
  PushQueueSizes();
  PushLineSettings();
  PushTimeouts();
}

void TCustomComPort::PushQueueSizes() {
  if (!CanPush() || !device_) return;
  CheckQueueSizeLimits();
  device_->SetQueueSizes(buffer_.InputSize(), buffer_.OutputSize());
}

void TCustomComPort::PushLineSettings() {
  if (!CanPush() || !device_) return;
  CheckLineSettingLimits();
  SerialLineSettings s;
  s.baudRate = baudRate_ == brCustom ? customBaudRate_ : BaudRateValue(baudRate_);
  s.dataBits = 5 + static_cast<int>(dataBits_);
  s.stopBits = static_cast<int>(stopBits_);
  s.parity = static_cast<int>(parity_.Bits());
  s.parityCheck = parity_.Check();
  s.parityReplace = parity_.Check() && parity_.Replace();
  s.replaceChar = parity_.ReplaceChar();
  s.dsrSensitivity = flowControl_.DSRSensitivity();
  s.txContinueOnXoff = flowControl_.TxContinueOnXoff();
  s.discardNull = discardNull_;
  s.outCtsFlow = flowControl_.OutCTSFlow();
  s.outDsrFlow = flowControl_.OutDSRFlow();
  s.dtrControl = static_cast<int>(flowControl_.ControlDTR());
  s.rtsControl = static_cast<int>(flowControl_.ControlRTS());
  s.xonXoffOut = flowControl_.XonXoffOut();
  s.xonXoffIn = flowControl_.XonXoffIn();
  s.xonChar = flowControl_.XonChar();
  s.xoffChar = flowControl_.XoffChar();
  s.eventChar = eventChar_;
  s.xonLim = XonLim();
  s.xoffLim = XoffLim();
  device_->ApplyLineSettings(s);
}

void TCustomComPort::PushTimeouts() {
  if (!CanPush() || !device_) return;
  CheckTimeoutLimits();
  SerialTimeouts t;
  t.readInterval = timeouts_.ReadInterval();
  t.readTotalMultiplier = timeouts_.ReadTotalMultiplier();
  t.readTotalConstant = timeouts_.ReadTotalConstant();
  t.writeTotalMultiplier = timeouts_.WriteTotalMultiplier();
  t.writeTotalConstant = timeouts_.WriteTotalConstant();
  device_->SetTimeouts(t);
}

void TCustomComPort::LockSettings() { ++lockCount_; }

void TCustomComPort::UnlockSettings() {
  if (lockCount_ <= 0) return;
  if (--lockCount_ == 0) PushSettings();
}

void TCustomComPort::CreateHandle() {
  auto device = NewSerialDevice(port_, TerminalSettings());
  SerialOpenOptions options;
  options.dropDtr = flowControl_.ControlDTR() == dtrDisable;
  options.dropRts = flowControl_.ControlRTS() == rtsDisable;
  int32_t in = buffer_.InputSize();
  options.inputSize = (in < 0 || in > kMaxInputSize) ? 0 : in;
  options.outputSize = buffer_.OutputSize() < 0 ? 0 : buffer_.OutputSize();
  auto clampT = [](int32_t v) { return v < -1 ? 0 : v; };
  options.timeouts.readInterval = clampT(timeouts_.ReadInterval());
  options.timeouts.readTotalMultiplier = clampT(timeouts_.ReadTotalMultiplier());
  options.timeouts.readTotalConstant = clampT(timeouts_.ReadTotalConstant());
  options.timeouts.writeTotalMultiplier = clampT(timeouts_.WriteTotalMultiplier());
  options.timeouts.writeTotalConstant = clampT(timeouts_.WriteTotalConstant());
  device->Open(options);  // EComPort ceOpen
  device_ = std::move(device);
}

void TCustomComPort::DestroyHandle() {
  if (!device_) return;
  device_->Close();
  device_.reset();
}

void TCustomComPort::Open() {
  if (connected_) return;
  if (OnBeforeOpen) OnBeforeOpen(this);
  CreateHandle();
  connected_ = true;
  try {
    PushSettings();
  } catch (...) {
    DestroyHandle();
    connected_ = false;
    throw;
  }
  if (!events_.Empty()) StartEventThread();
  if (OnAfterOpen) OnAfterOpen(this);

  // The initial states of CTS, DSR and RLSD, read once (one status read serves all
  // three). A pseudo-terminal has no modem lines: that is no failure, the lines are
  // simply not reported.
  if (device_) {
    unsigned lines = 0;
    const int err = device_->ModemStatus(lines);
    // A failing read raises; the port stays open.
    if (err != 0 && err != kNoModemLines) throw EComPort(ceModemStatus, err, device_->Path());
    if (err == 0) {
      if (OnCTSChange) OnCTSChange(this, (lines & kLineCts) != 0);
      if (OnDSRChange) OnDSRChange(this, (lines & kLineDsr) != 0);
      if (OnRLSDChange) OnRLSDChange(this, (lines & kLineRlsd) != 0);
    }
  }
}

void TCustomComPort::Close() {
  // A handler that Close runs while it waits for the event thread may close as well: the
  // port is on its way out already, and the waiting Close finishes the job.
  if (!connected_ || closing_) return;
  if (OnCTSChange) OnCTSChange(this, false);
  if (OnDSRChange) OnDSRChange(this, false);
  if (OnRLSDChange) OnRLSDChange(this, false);
  if (OnBeforeClose) OnBeforeClose(this);
  if (!connected_) return;  // a handler closed it already
  // No transfer is pending here: every transfer completes within its call.
  closing_ = true;
  StopEventThread();
  closing_ = false;
  if (device_) device_->PurgeQuietly();
  DestroyHandle();
  connected_ = false;
  if (OnAfterClose) OnAfterClose(this);
}

void TCustomComPort::StartEventThread() {
  Retired().Sweep();
  thread_ = std::make_unique<TComThread>(*this, device_->NewEventWaiter(events_),
                                         *(sync_ ? sync_ : &MainThreadSync::Instance()), events_,
                                         syncMethod_);
}

void TCustomComPort::StopEventThread() {
  Retired().Sweep();
  if (!thread_) return;
  thread_->RequestStop();
  if (thread_->BatchRunsHere()) {
    // Closed from one of the thread's own handlers: the thread waits for this very batch.
    // It ends on its own once the batch returns, without touching port or device again.
    Retired().Add(std::move(thread_));
    return;
  }
  // Any other event thread is waited for, so that the device outlives it (a thread
  // started by an Open inside a handler may be reading the device right now). The
  // batches it hands over meanwhile run here, so that it can see its stop signal.
  MainThreadSync* sync = sync_ ? sync_ : &MainThreadSync::Instance();
  while (!thread_->WaitFinished(2)) sync->RunPending();
  thread_->Join();
  thread_.reset();
}

bool TCustomComPort::EventThreadRunning() const { return thread_ && thread_->Running(); }

int32_t TCustomComPort::PendingInput() {
  if (!device_) throw EComPort(ceQueueCounts, ClosedDeviceErrorCode(), DevicePath(port_));
  return device_->PendingInput();
}

int32_t TCustomComPort::PendingOutput() {
  if (!device_) throw EComPort(ceQueueCounts, ClosedDeviceErrorCode(), DevicePath(port_));
  return device_->PendingOutput();
}

void TCustomComPort::PurgeQueues(bool input, bool output) {
  if (!device_) throw EComPort(cePurge, ClosedDeviceErrorCode(), DevicePath(port_));
  device_->Purge(input, output);
}

int32_t TCustomComPort::Write(const void* buffer, int32_t count) {
  if (!device_) throw EComPort(ceWrite, ClosedDeviceErrorCode(), DevicePath(port_));
  return device_->Write(buffer, count);
}

int32_t TCustomComPort::SendText(const std::string& text) {
  if (text.empty()) return 0;
  return Write(text.data(), static_cast<int32_t>(text.size()));
}

int32_t TCustomComPort::Read(void* buffer, int32_t count) {
  if (!device_) throw EComPort(ceRead, ClosedDeviceErrorCode(), DevicePath(port_));
  return device_->Read(buffer, count);
}

int32_t TCustomComPort::ReadWithin(void* buffer, int32_t count, int32_t timeoutMs) {
  if (!device_) throw EComPort(ceRead, ClosedDeviceErrorCode(), DevicePath(port_));
  SerialTimeouts t;
  t.readInterval = -1;
  t.readTotalMultiplier = 0;
  t.readTotalConstant = timeoutMs > 0 ? timeoutMs : 0;
  return device_->Read(buffer, count, t);
}

int32_t TCustomComPort::ReceiveText(std::string& text, int32_t count) {
  if (count <= 0) {
    text.clear();
    return 0;
  }
  text.assign(static_cast<size_t>(count), '\0');
  int32_t got = 0;
  try {
    got = Read(text.data(), count);
  } catch (...) {
    text.clear();
    throw;
  }
  text.resize(static_cast<size_t>(got));
  return got;
}

void TCustomComPort::DispatchEvents(TComEvents batch) {
  auto open = [this] { return connected_ && device_ != nullptr; };
  if (!open()) return;
  if (batch.Has(evError) && OnError) OnError(this);
  if (!open()) return;
  if (batch.Has(evRxChar)) {
    const int32_t count = PendingInput();
    if (count > 0 && OnRxChar) OnRxChar(this, count);
  }
  if (!open()) return;
  if (batch.Has(evTxEmpty) && OnTxEmpty) OnTxEmpty(this);
  if (batch.Has(evBreak) && OnBreak) OnBreak(this);
  if (batch.Has(evRing) && OnRing) OnRing(this);
  if (!open()) return;
  if (batch.Has(evCTS) || batch.Has(evDSR)) {
    unsigned lines = 0;
    int err = device_->ModemStatus(lines);
    if (err != 0 && err != kNoModemLines) throw EComPort(ceModemStatus, err, device_->Path());
    if (err == 0 && batch.Has(evCTS) && OnCTSChange) OnCTSChange(this, (lines & kLineCts) != 0);
    if (err == 0 && batch.Has(evDSR) && OnDSRChange) OnDSRChange(this, (lines & kLineDsr) != 0);
  }
  if (!open()) return;
  if (batch.Has(evRxFlag) && OnRxFlag) OnRxFlag(this);
  if (!open()) return;
  if (batch.Has(evRLSD)) {
    unsigned lines = 0;
    int err = device_->ModemStatus(lines);
    if (err != 0 && err != kNoModemLines) throw EComPort(ceModemStatus, err, device_->Path());
    if (err == 0 && OnRLSDChange) OnRLSDChange(this, (lines & kLineRlsd) != 0);
  }
  if (!open()) return;
  if (batch.Has(evRx80Full) && OnRx80Full) OnRx80Full(this);
}

void ApplyComPort1Design(TCustomComPort& port) {
  port.SetPort("COM2");
  port.SetBaudRate(br38400);
  port.SetCustomBaudRate(9600);
  port.SetDataBits(dbEight);
  port.SetStopBits(sbTwoStopBits);
  port.Parity().SetBits(prNone);
  port.Parity().SetCheck(false);
  port.Parity().SetReplace(false);
  port.Parity().SetReplaceChar(0);
  port.FlowControl().SetOutCTSFlow(false);
  port.FlowControl().SetOutDSRFlow(false);
  port.FlowControl().SetControlDTR(dtrDisable);
  port.FlowControl().SetControlRTS(rtsDisable);
  port.FlowControl().SetXonXoffOut(false);
  port.FlowControl().SetXonXoffIn(false);
  port.FlowControl().SetDSRSensitivity(false);
  port.FlowControl().SetTxContinueOnXoff(false);
  port.FlowControl().SetXonChar(17);
  port.FlowControl().SetXoffChar(19);
  port.Timeouts().SetReadInterval(-1);
  port.Timeouts().SetReadTotalMultiplier(0);
  port.Timeouts().SetReadTotalConstant(20);
  port.Timeouts().SetWriteTotalMultiplier(100);
  port.Timeouts().SetWriteTotalConstant(1000);
  port.Buffer().SetInputSize(65536);
  port.Buffer().SetOutputSize(1024);
  port.SetEvents(TComEvents::All());
  port.SetDiscardNull(false);
  port.SetEventChar(0);
}
