#include "app/logbookpage.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QDate>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QShortcut>
#include <QSortFilterProxyModel>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <cmath>
#include <exception>

#include "app/analysispage.h"
#include "app/qtuserio.h"
#include "app/widgets.h"
#include "formats/fileerror.h"
#include "model/sampletable.h"

using logbook::Entry;

namespace {

// How long after the window is built the logbook is opened in the background.
constexpr int kOpenDelayMs = 500;

QString Utf8(const std::string& s) {
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

// "1:02:03": hours, minutes and seconds of a flight, rounded to the second.
QString Hms(double seconds) {
  const long long s = std::llround(seconds);
  return QStringLiteral("%1:%2:%3")
      .arg(s / 3600)
      .arg(s / 60 % 60, 2, 10, QLatin1Char('0'))
      .arg(s % 60, 2, 10, QLatin1Char('0'));
}

QString FlightsText(long long n) {
  return n == 1 ? QStringLiteral("1 Flug") : QStringLiteral("%1 Flüge").arg(n);
}

// The flight as the user names it: "Flug vom 09.12.2026 04:30".
QString Describe(const Entry& e) { return QStringLiteral("Flug vom %1").arg(Utf8(e.DateText())); }

}  // namespace

// The kept flights as the table shows them; Qt::UserRole is the sort key of a cell.
class LogbookTableModel : public QAbstractTableModel {
 public:
  enum Column { Date, Serial, FlightNo, Duration, Records, Channels, Highest, Model, Note, kCount };

  explicit LogbookTableModel(QObject* parent) : QAbstractTableModel(parent) {}

  // Saves an edit of the model or the note; false when it was not saved.
  std::function<bool(int64_t id, int column, const std::string& text)> save;

  // What the search and the sort compare, worked out once per row.
  struct Keys {
    std::string search, model, note;  // case folded
  };

  // The model holds every kept flight and shows those that match the search: a search
  // resets the rows at once, which a view takes far faster than thousands of single
  // removals.
  void Reset(std::vector<Entry> entries) {
    beginResetModel();
    entries_ = std::move(entries);
    keys_.clear();
    keys_.reserve(entries_.size());
    for (const Entry& e : entries_) keys_.push_back(KeysOf(e));
    Select();
    endResetModel();
  }
  void SetSearch(const std::string& foldedNeedle) {
    beginResetModel();
    needle_ = foldedNeedle;
    Select();
    endResetModel();
  }
  void Add(const Entry& e) {
    entries_.push_back(e);
    keys_.push_back(KeysOf(e));
    if (!Matches(entries_.size() - 1)) return;
    const int row = rowCount();
    beginInsertRows({}, row, row);
    shown_.push_back(entries_.size() - 1);
    endInsertRows();
  }
  int AllCount() const { return static_cast<int>(entries_.size()); }
  const Entry& At(int row) const { return entries_[shown_[static_cast<size_t>(row)]]; }
  const Keys& KeysAt(int row) const { return keys_[shown_[static_cast<size_t>(row)]]; }
  int RowOf(int64_t id) const {
    for (size_t i = 0; i < shown_.size(); ++i)
      if (entries_[shown_[i]].id == id) return static_cast<int>(i);
    return -1;
  }

  int rowCount(const QModelIndex& parent = {}) const override {
    return parent.isValid() ? 0 : static_cast<int>(shown_.size());
  }
  int columnCount(const QModelIndex& parent = {}) const override {
    return parent.isValid() ? 0 : kCount;
  }

  QVariant headerData(int section, Qt::Orientation o, int role) const override {
    if (o != Qt::Horizontal) return {};
    // Short titles, so that model and note fit beside the numbers; the hints say more.
    static const char* const kTitles[kCount] = {"Datum, Zeit", "SN",   "Flug",   "Dauer", "Sätze",
                                                "Kanäle",      "Höhe", "Modell", "Notiz"};
    static const char* const kHints[kCount] = {
        "Zeit des Downloads (Ortszeit)",
        "Seriennummer des Loggers",
        "Flugnummer des Loggers",
        "Flugdauer vom ersten bis zum letzten Datensatz",
        "Anzahl der Datensätze",
        "Anzahl der aufgezeichneten Kanäle",
        "Höhe: Rohwert des höchsten Punkts (der kleinste Druckwert)",
        "Modell, zum Ändern F2 oder Tippen",
        "Notiz, zum Ändern F2 oder Tippen"};
    if (section < 0 || section >= kCount) return {};
    if (role == Qt::DisplayRole) return QString::fromUtf8(kTitles[section]);
    if (role == Qt::ToolTipRole) return QString::fromUtf8(kHints[section]);
    return {};
  }

  QVariant data(const QModelIndex& index, int role) const override {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const Entry& e = At(index.row());
    const int c = index.column();
    if (role == Qt::TextAlignmentRole)
      return c == Model || c == Note || c == Date ? int(Qt::AlignLeft | Qt::AlignVCenter)
                                                  : int(Qt::AlignRight | Qt::AlignVCenter);
    if (role == Qt::ToolTipRole && c == Channels) return Utf8(e.summary.Channels());
    if (role == Qt::ToolTipRole && e.source == logbook::Source::Import && c <= FlightNo)
      return QStringLiteral("importiert aus „%1“").arg(Utf8(e.fileName));
    if (role == Qt::UserRole) {
      switch (c) {
        case Date: return QVariant::fromValue<qlonglong>(e.downloadedUtc * 1000000 + e.id);
        case Serial: return e.serialNumber;
        case FlightNo: return e.flightNumber;
        case Duration: return e.summary.durationS;
        case Records: return e.summary.records;
        case Channels: return ChannelCount(e);
        case Highest: return QVariant::fromValue<qlonglong>(e.summary.HighestRaw());
        case Model: return Utf8(logbook::FoldCase(e.model));
        case Note: return Utf8(logbook::FoldCase(e.note));
      }
    }
    if (role == Qt::EditRole && (c == Model || c == Note))
      return Utf8(c == Model ? e.model : e.note);
    if (role != Qt::DisplayRole) return {};
    switch (c) {
      case Date: return Utf8(e.DateText());
      case Serial:
        return e.serialNumber < 0
                   ? QString()
                   : QStringLiteral("%1").arg(e.serialNumber, 3, 10, QLatin1Char('0'));
      case FlightNo:
        return e.flightNumber < 0
                   ? QString()
                   : QStringLiteral("%1").arg(e.flightNumber, 5, 10, QLatin1Char('0'));
      case Duration: return Hms(e.summary.durationS);
      case Records: return e.summary.records;
      case Channels: return ChannelCount(e);
      case Highest:
        return e.summary.hasAltitude ? QVariant::fromValue<qlonglong>(e.summary.HighestRaw())
                                     : QVariant(QString());
      case Model: return Utf8(e.model);
      case Note: return Utf8(e.note);
    }
    return {};
  }

  Qt::ItemFlags flags(const QModelIndex& index) const override {
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    if (index.column() == Model || index.column() == Note) f |= Qt::ItemIsEditable;
    return f;
  }

  bool setData(const QModelIndex& index, const QVariant& value, int role) override {
    if (role != Qt::EditRole || !index.isValid()) return false;
    const int c = index.column();
    if (c != Model && c != Note) return false;
    const size_t i = shown_[static_cast<size_t>(index.row())];
    Entry& e = entries_[i];
    const std::string text = value.toString().trimmed().toStdString();
    if (text == (c == Model ? e.model : e.note)) return true;
    if (!save || !save(e.id, c, text)) return false;
    (c == Model ? e.model : e.note) = text;
    keys_[i] = KeysOf(e);
    emit dataChanged(index, index);
    return true;
  }

 private:
  static int ChannelCount(const Entry& e) {
    int n = 0;
    for (int c = 0; c < analysis::kColumnCount; ++c) {
      analysis::Flight f;
      f.recordFlags1 = e.recordFlags1;
      f.recordFlags2 = e.recordFlags2;
      // The three GPS columns are one channel.
      if (c == analysis::kLongitude || c == analysis::kGps3) continue;
      n += f.HasChannel(static_cast<analysis::Column>(c));
    }
    return n;
  }

  static Keys KeysOf(const Entry& e) {
    return {e.SearchText(), logbook::FoldCase(e.model), logbook::FoldCase(e.note)};
  }

  bool Matches(size_t i) const {
    return needle_.empty() || keys_[i].search.find(needle_) != std::string::npos;
  }
  void Select() {
    shown_.clear();
    shown_.reserve(entries_.size());
    for (size_t i = 0; i < entries_.size(); ++i)
      if (Matches(i)) shown_.push_back(i);
  }

  std::vector<Entry> entries_;
  std::vector<Keys> keys_;
  std::vector<size_t> shown_;  // the rows: indexes into entries_
  std::string needle_;
};

namespace {

// The sort by each column's key.
class SortProxy : public QSortFilterProxyModel {
 public:
  SortProxy(LogbookTableModel* model, QObject* parent)
      : QSortFilterProxyModel(parent), model_(model) {
    setSourceModel(model);
    setSortRole(Qt::UserRole);
    setDynamicSortFilter(true);
  }

 protected:
  // The same order as the cells' sort keys (Qt::UserRole), compared without going
  // through QVariant: a logbook of thousands of flights sorts at once.
  bool lessThan(const QModelIndex& left, const QModelIndex& right) const override {
    const Entry& a = model_->At(left.row());
    const Entry& b = model_->At(right.row());
    using M = LogbookTableModel;
    switch (left.column()) {
      case M::Serial: return a.serialNumber < b.serialNumber;
      case M::FlightNo: return a.flightNumber < b.flightNumber;
      case M::Duration: return a.summary.durationS < b.summary.durationS;
      case M::Records: return a.summary.records < b.summary.records;
      case M::Highest: return a.summary.HighestRaw() < b.summary.HighestRaw();
      case M::Model: return model_->KeysAt(left.row()).model < model_->KeysAt(right.row()).model;
      case M::Note: return model_->KeysAt(left.row()).note < model_->KeysAt(right.row()).note;
      case M::Date:
        return a.downloadedUtc != b.downloadedUtc ? a.downloadedUtc < b.downloadedUtc : a.id < b.id;
      default: return QSortFilterProxyModel::lessThan(left, right);
    }
  }

 private:
  LogbookTableModel* model_;
};

}  // namespace

LogbookPage::LogbookPage(AnalysisPage* analysis, QTabWidget* tabs, QWidget* parent)
    : QWidget(parent), analysis_(analysis), tabs_(tabs) {
  setObjectName(QStringLiteral("TabSheet4"));
  SearchLabel = new QLabel(QStringLiteral("&Suchen:"), this);
  SearchEdit = new QLineEdit(this);
  SearchEdit->setObjectName(QStringLiteral("SearchEdit"));
  SearchEdit->setPlaceholderText(QStringLiteral("Modell, Notiz, Datum oder Seriennummer"));
  SearchEdit->setClearButtonEnabled(true);
  SearchEdit->setAccessibleName(QStringLiteral("Flüge suchen"));
  SearchEdit->setAccessibleDescription(
      QStringLiteral("zeigt nur die Flüge, deren Modell, Notiz, Datum oder Seriennummer den "
                     "Text enthält"));
  SearchLabel->setBuddy(SearchEdit);

  model_ = new LogbookTableModel(this);
  model_->save = [this](int64_t id, int column, const std::string& text) {
    return SaveEdit(id, column, text);
  };
  proxy_ = new SortProxy(model_, this);
  Table = new QTableView(this);
  Table->setObjectName(QStringLiteral("LogbookTable"));
  Table->setModel(proxy_);
  Table->setAccessibleName(QStringLiteral("Flüge im Flugbuch"));
  Table->setAccessibleDescription(
      QStringLiteral("Eingabetaste oder Doppelklick öffnet den Flug in der Auswertung, F2 "
                     "ändert Modell oder Notiz, Entf löscht"));
  Table->setSelectionBehavior(QAbstractItemView::SelectRows);
  Table->setSelectionMode(QAbstractItemView::SingleSelection);
  Table->setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::AnyKeyPressed |
                         QAbstractItemView::SelectedClicked);
  Table->setTabKeyNavigation(false);
  Table->setSortingEnabled(true);
  Table->setWordWrap(false);
  Table->setAlternatingRowColors(true);
  Table->verticalHeader()->setVisible(false);
  Table->verticalHeader()->setDefaultSectionSize(Table->fontMetrics().height() + 4);
  Table->horizontalHeader()->setHighlightSections(false);
  Table->horizontalHeader()->setMinimumSectionSize(24);
  Table->horizontalHeader()->setStretchLastSection(true);
  Table->sortByColumn(LogbookTableModel::Date, Qt::DescendingOrder);
  {
    const QFontMetrics fm(Table->font());
    // Room for the widest value (and the sort mark beside the title).
    const int widths[] = {fm.horizontalAdvance(QStringLiteral("00.00.0000 00:00")) + 10,
                          fm.horizontalAdvance(QStringLiteral("000")) + 18,
                          fm.horizontalAdvance(QStringLiteral("00000")) + 10,
                          fm.horizontalAdvance(QStringLiteral("0:00:00")) + 10,
                          fm.horizontalAdvance(QStringLiteral("65536")) + 10,
                          fm.horizontalAdvance(QStringLiteral("Kanäle")) + 8,
                          fm.horizontalAdvance(QStringLiteral("65535")) + 10,
                          fm.horizontalAdvance(QStringLiteral("ASW 28 Electro"))};
    for (int c = 0; c < 8; ++c) Table->setColumnWidth(c, widths[c]);
  }
  Table->installEventFilter(this);

  CountLabel = new QLabel(this);
  CountLabel->setObjectName(QStringLiteral("CountLabel"));
  MessageLabel = new QLabel(this);
  MessageLabel->setObjectName(QStringLiteral("MessageLabel"));
  MessageLabel->setWordWrap(true);
  LocationLabel = new QLabel(this);
  LocationLabel->setObjectName(QStringLiteral("LocationLabel"));
  for (QLabel* l : {CountLabel, MessageLabel, LocationLabel}) {
    l->setTextFormat(Qt::PlainText);
    l->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  }
  CountLabel->setAccessibleName(QStringLiteral("Gezeigte Flüge"));
  MessageLabel->setAccessibleName(QStringLiteral("Meldung des Flugbuchs"));
  LocationLabel->setAccessibleName(QStringLiteral("Ort des Flugbuchs"));
  // The message and the location are read with the keyboard too.
  MessageLabel->setFocusPolicy(Qt::StrongFocus);
  LocationLabel->setFocusPolicy(Qt::StrongFocus);

  OverviewButton = MakeButton(this, "OverviewButton", QStringLiteral("Übersicht…"),
                              QStringLiteral("Flüge und Flugzeit je Modell und je Jahr"));
  CsvButton = MakeButton(this, "CsvButton", QStringLiteral("CSV…"),
                         QStringLiteral("den gewählten Flug als CSV-Datei für Excel speichern"));
  GpxButton =
      MakeButton(this, "LogbookGpxButton", QStringLiteral("GPX…"),
                 QStringLiteral("die GPS-Spur des gewählten Flugs als GPX-Datei speichern"));
  KmlButton = MakeButton(
      this, "LogbookKmlButton", QStringLiteral("KML…"),
      QStringLiteral("die GPS-Spur des gewählten Flugs als KML-Datei (Google Earth) speichern"));
  ImportButton =
      MakeButton(this, "ImportButton", QStringLiteral("Importieren…"),
                 QStringLiteral("früher gespeicherte CSV-Dateien ins Flugbuch übernehmen"));
  DeleteButton = MakeButton(this, "DeleteButton", QStringLiteral("Löschen"),
                            QStringLiteral("den gewählten Flug aus dem Flugbuch löschen"));
  BackupButton = MakeButton(this, "BackupButton", QStringLiteral("Sichern…"),
                            QStringLiteral("eine vollständige Kopie des Flugbuchs speichern"));
  CsvButton->setAccessibleName(QStringLiteral("CSV speichern"));
  GpxButton->setAccessibleName(QStringLiteral("GPX speichern"));
  KmlButton->setAccessibleName(QStringLiteral("KML speichern"));
  auto* importMenu = new QMenu(ImportButton);
  importMenu->setObjectName(QStringLiteral("ImportMenu"));
  importMenu->addAction(QStringLiteral("CSV-&Dateien…"), this, [this] { ImportFiles(); });
  importMenu->addAction(QStringLiteral("&Ordner…"), this, [this] { ImportFolder(); });
  ImportButton->setMenu(importMenu);

  auto* search = new QHBoxLayout;
  search->addWidget(SearchLabel);
  search->addWidget(SearchEdit, 1);
  auto* buttons = new QVBoxLayout;
  for (QPushButton* b : {OverviewButton, CsvButton, GpxButton, KmlButton, ImportButton,
                         DeleteButton, BackupButton}) {
    b->setMinimumWidth(92);
    buttons->addWidget(b);
  }
  buttons->addStretch(1);
  auto* layout = new QGridLayout(this);
  layout->setContentsMargins(8, 8, 8, 6);
  layout->setHorizontalSpacing(8);
  layout->setVerticalSpacing(4);
  layout->addLayout(search, 0, 0);
  layout->addWidget(Table, 1, 0);
  layout->addWidget(CountLabel, 2, 0);
  layout->addWidget(MessageLabel, 3, 0, 1, 2);
  layout->addWidget(LocationLabel, 4, 0, 1, 2);
  layout->addLayout(buttons, 0, 1, 3, 1);
  layout->setColumnStretch(0, 1);
  layout->setRowStretch(1, 1);

  setTabOrder(SearchEdit, Table);
  QWidget* prev = Table;
  for (QWidget* w : {static_cast<QWidget*>(OverviewButton), static_cast<QWidget*>(CsvButton),
                     static_cast<QWidget*>(GpxButton), static_cast<QWidget*>(KmlButton),
                     static_cast<QWidget*>(ImportButton), static_cast<QWidget*>(DeleteButton),
                     static_cast<QWidget*>(BackupButton), static_cast<QWidget*>(MessageLabel),
                     static_cast<QWidget*>(LocationLabel)}) {
    setTabOrder(prev, w);
    prev = w;
  }

  connect(SearchEdit, &QLineEdit::textChanged, this, [this](const QString& text) {
    const std::optional<int64_t> current = CurrentId();
    model_->SetSearch(logbook::FoldCase(text.trimmed().toStdString()));
    if (current) SelectId(*current);
    if (!Table->currentIndex().isValid() && proxy_->rowCount() > 0)
      Table->setCurrentIndex(proxy_->index(0, 0));
    UpdateState();
  });
  connect(Table, &QAbstractItemView::activated, this, [this] { OpenCurrent(); });
  connect(Table->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this] { UpdateState(); });
  connect(OverviewButton, &QPushButton::clicked, this, [this] { OverviewButtonClick(); });
  connect(CsvButton, &QPushButton::clicked, this, [this] { ExportButtonClick("csv"); });
  connect(GpxButton, &QPushButton::clicked, this, [this] { ExportButtonClick("gpx"); });
  connect(KmlButton, &QPushButton::clicked, this, [this] { ExportButtonClick("kml"); });
  connect(DeleteButton, &QPushButton::clicked, this, [this] { DeleteButtonClick(); });
  connect(BackupButton, &QPushButton::clicked, this, [this] { BackupButtonClick(); });
  auto* find =
      new QShortcut(QKeySequence::Find, this, nullptr, nullptr, Qt::WidgetWithChildrenShortcut);
  connect(find, &QShortcut::activated, this, [this] {
    SearchEdit->setFocus(Qt::ShortcutFocusReason);
    SearchEdit->selectAll();
  });
  UpdateState();
  // Opened a moment after the window came up, away from the start-up.
  QTimer::singleShot(kOpenDelayMs, this, [this] { StartOpening(); });
}

LogbookPage::~LogbookPage() {
  if (opening_.valid()) opening_.wait();  // the thread ends before the page
}

LogbookPage::Opened LogbookPage::OpenAndList(const std::string& path) {
  Opened o;
  try {
    o.book = logbook::Logbook::Open(path);
    o.entries = o.book->List();
  } catch (const std::exception& e) {
    o.book.reset();
    o.error = e.what();
  }
  return o;
}

void LogbookPage::StartOpening() {
  if (tried_ || opening_.valid()) return;
  // The path is read here, on the window's thread; the thread has only its own objects.
  opening_ =
      std::async(std::launch::async, &LogbookPage::OpenAndList, logbook::Logbook::DefaultPath());
}

logbook::Logbook* LogbookPage::Book() {
  if (book_ || tried_) return book_.get();
  tried_ = true;
  const std::string path = logbook::Logbook::DefaultPath();
  LocationLabel->setText(QStringLiteral("Ort: %1").arg(Utf8(path)));
  LocationLabel->setToolTip(Utf8(path));
  Opened o = opening_.valid() ? opening_.get() : OpenAndList(path);
  if (!o.book) {
    openError_ = o.error;
    Say(Utf8(openError_), true);
    UpdateState();
    return nullptr;
  }
  book_ = std::move(o.book);
  if (!book_->Notice().empty()) Say(Utf8(book_->Notice()), true);
  model_->Reset(std::move(o.entries));
  if (proxy_->rowCount() > 0) Table->setCurrentIndex(proxy_->index(0, 0));
  UpdateState();
  return book_.get();
}

void LogbookPage::showEvent(QShowEvent* e) {
  QWidget::showEvent(e);
  const bool first = !tried_;
  Book();
  // A damaged logbook set aside is told in a box too, once, when the page is first seen.
  if (first && book_ && !book_->Notice().empty())
    QtUserIO::ShowBox(window(), BoxKind::Information, book_->Notice());
  else if (first && !book_ && !openError_.empty())
    QtUserIO::ShowBox(window(), BoxKind::Error, openError_);
}

void LogbookPage::Reload() {
  if (!book_) return;
  const std::optional<int64_t> current = CurrentId();
  try {
    model_->Reset(book_->List());
  } catch (const std::exception& e) {
    ShowError(Utf8(e.what()));
  }
  if (current) SelectId(*current);
  // The newest flight is the current row until the user picks another.
  if (!Table->currentIndex().isValid() && proxy_->rowCount() > 0)
    Table->setCurrentIndex(proxy_->index(0, 0));
  UpdateState();
}

std::vector<int64_t> LogbookPage::ShownIds() const {
  std::vector<int64_t> ids;
  for (int r = 0; r < proxy_->rowCount(); ++r)
    ids.push_back(model_->At(proxy_->mapToSource(proxy_->index(r, 0)).row()).id);
  return ids;
}

std::optional<int64_t> LogbookPage::CurrentId() const {
  const QModelIndex i = Table->currentIndex();
  if (!i.isValid()) return std::nullopt;
  return model_->At(proxy_->mapToSource(i).row()).id;
}

void LogbookPage::SelectId(int64_t id) {
  const int row = model_->RowOf(id);
  if (row < 0) return;
  const QModelIndex i = proxy_->mapFromSource(model_->index(row, 0));
  if (!i.isValid()) return;
  Table->setCurrentIndex(i);
  Table->scrollTo(i);
}

void LogbookPage::UpdateState() {
  double total = 0;
  const int shown = proxy_->rowCount();
  for (int r = 0; r < shown; ++r)
    total += model_->At(proxy_->mapToSource(proxy_->index(r, 0)).row()).summary.durationS;
  if (!book_) {
    CountLabel->setText(tried_ ? QStringLiteral("Kein Flugbuch in diesem Lauf.") : QString());
  } else if (shown == model_->AllCount()) {
    CountLabel->setText(QStringLiteral("%1, zusammen %2").arg(FlightsText(shown), Hms(total)));
  } else {
    CountLabel->setText(QStringLiteral("%1 von %2 gezeigt, zusammen %3")
                            .arg(FlightsText(shown))
                            .arg(model_->AllCount())
                            .arg(Hms(total)));
  }
  const std::optional<int64_t> id = CurrentId();
  bool gps = false;
  if (id) gps = model_->At(proxy_->mapToSource(Table->currentIndex()).row()).summary.gpsFixes > 0;
  CsvButton->setEnabled(id.has_value());
  GpxButton->setEnabled(gps);
  KmlButton->setEnabled(gps);
  DeleteButton->setEnabled(id.has_value());
  const bool have = book_ != nullptr;
  OverviewButton->setEnabled(have);
  ImportButton->setEnabled(have);
  BackupButton->setEnabled(have);
}

void LogbookPage::Say(const QString& text, bool error) {
  MessageLabel->setText(text);
  QPalette pal = MessageLabel->palette();
  pal.setColor(QPalette::WindowText,
               error ? QColor(180, 0, 0) : palette().color(QPalette::WindowText));
  MessageLabel->setPalette(pal);
}

void LogbookPage::ShowError(const QString& text) {
  Say(text, true);
  QtUserIO::ShowBox(window(), BoxKind::Error, text.toStdString());
}

bool LogbookPage::SaveEdit(int64_t id, int column, const std::string& text) {
  if (!book_) return false;
  try {
    if (column == LogbookTableModel::Model)
      book_->SetModel(id, text);
    else
      book_->SetNote(id, text);
  } catch (const std::exception& e) {
    ShowError(Utf8(e.what()));
    return false;
  }
  Say(column == LogbookTableModel::Model ? QStringLiteral("Modell gespeichert.")
                                         : QStringLiteral("Notiz gespeichert."));
  return true;
}

LogbookPage::KeepResult LogbookPage::KeepDownload(const RawDump& dump,
                                                  const logbook::LoggerIdentity& logger,
                                                  const FlightData& fd) {
  KeepResult r;
  if (fd.LastSampleIndex + 1 < logbook::kMinRecordsKept) return r;
  const bool first = !tried_;
  logbook::Logbook* book = Book();
  if (!book) {
    r.error = openError_;
    return r;
  }
  if (first) r.notice = book->Notice();
  try {
    const logbook::AddResult added = book->AddDownload(dump, logger, logbook::LocalTime::Now());
    r.kept = true;
    r.duplicate = added.duplicate;
    r.id = added.id;
  } catch (const std::exception& e) {
    r.error = e.what();
    Say(Utf8(r.error), true);
    return r;
  }
  // Only the new row is read; the rest of the table stays as it is.
  const std::optional<Entry> e = book->Get(r.id);
  if (e && !r.duplicate && model_->RowOf(r.id) < 0) model_->Add(*e);
  SelectId(r.id);
  UpdateState();
  const QString what = e ? Describe(*e) : QStringLiteral("Flug");
  Say(r.duplicate ? QStringLiteral("Der Download ist bereits im Flugbuch (%1).").arg(what)
                  : QStringLiteral("Der Download wurde ins Flugbuch aufgenommen (%1).").arg(what));
  return r;
}

void LogbookPage::OpenCurrent() {
  const std::optional<int64_t> id = CurrentId();
  if (!id || !book_) return;
  try {
    analysis::Flight f = book_->LoadFlight(*id);
    const Entry& e = model_->At(model_->RowOf(*id));
    std::string what = e.DateText();
    if (e.flightNumber >= 0)
      what += ", Flug " +
              QStringLiteral("%1").arg(e.flightNumber, 5, 10, QLatin1Char('0')).toStdString();
    if (!e.model.empty()) what += ", " + e.model;
    f.source = analysis::FlightSource::Logbook;
    f.fileName = what;
    analysis_->TakeFlight(std::move(f));
  } catch (const std::exception& e) {
    ShowError(Utf8(e.what()));
    return;
  }
  if (tabs_) tabs_->setCurrentWidget(analysis_);
}

void LogbookPage::OverviewButtonClick() {
  if (!Book()) return;
  logbook::Totals t;
  try {
    t = book_->ComputeTotals();
  } catch (const std::exception& e) {
    ShowError(Utf8(e.what()));
    return;
  }
  QDialog dialog(window());
  dialog.setObjectName(QStringLiteral("OverviewDialog"));
  dialog.setWindowTitle(QStringLiteral("Flugbuch – Übersicht"));
  auto fill = [&](const std::vector<logbook::Total>& rows, const QString& keyTitle,
                  const QString& name) {
    auto* table = new QTableWidget(static_cast<int>(rows.size()), 3, &dialog);
    table->setObjectName(name);
    table->setAccessibleName(keyTitle == QStringLiteral("Modell")
                                 ? QStringLiteral("Summen je Modell")
                                 : QStringLiteral("Summen je Jahr"));
    table->setHorizontalHeaderLabels(
        {keyTitle, QStringLiteral("Flüge"), QStringLiteral("Flugzeit")});
    table->verticalHeader()->setVisible(false);
    table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 4);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setTabKeyNavigation(false);
    table->horizontalHeader()->setStretchLastSection(true);
    for (size_t i = 0; i < rows.size(); ++i) {
      const int r = static_cast<int>(i);
      const QString key = rows[i].key.empty() ? QStringLiteral("(ohne Modell)") : Utf8(rows[i].key);
      table->setItem(r, 0, new QTableWidgetItem(key));
      auto* n = new QTableWidgetItem(QString::number(rows[i].flights));
      n->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
      table->setItem(r, 1, n);
      auto* d = new QTableWidgetItem(Hms(rows[i].durationS));
      d->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
      table->setItem(r, 2, d);
    }
    table->resizeColumnsToContents();
    return table;
  };
  auto* layout = new QVBoxLayout(&dialog);
  auto* total = new QLabel(
      QStringLiteral("Im Flugbuch: %1, zusammen %2").arg(FlightsText(t.flights), Hms(t.durationS)),
      &dialog);
  total->setObjectName(QStringLiteral("TotalLabel"));
  auto* modelsLabel = new QLabel(QStringLiteral("Je &Modell:"), &dialog);
  QTableWidget* models = fill(t.perModel, QStringLiteral("Modell"), QStringLiteral("ModelTotals"));
  modelsLabel->setBuddy(models);
  auto* yearsLabel = new QLabel(QStringLiteral("Je &Jahr:"), &dialog);
  QTableWidget* years = fill(t.perYear, QStringLiteral("Jahr"), QStringLiteral("YearTotals"));
  yearsLabel->setBuddy(years);
  auto* close = new QDialogButtonBox(QDialogButtonBox::Close, &dialog);
  close->button(QDialogButtonBox::Close)->setText(QStringLiteral("Schließen"));
  connect(close, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  layout->addWidget(total);
  layout->addWidget(modelsLabel);
  layout->addWidget(models);
  layout->addWidget(yearsLabel);
  layout->addWidget(years);
  layout->addWidget(close);
  dialog.resize(420, 380);
  dialog.exec();
}

namespace {

// A file dialog of the program's own kind (the toolkit's, in German).
QFileDialog* FileDialog(QWidget* parent, const QString& title, QFileDialog::AcceptMode mode,
                        QFileDialog::FileMode fileMode, const QString& filter) {
  auto* d = new QFileDialog(parent, title);
  d->setAttribute(Qt::WA_DeleteOnClose, false);
  d->setOption(QFileDialog::DontUseNativeDialog, true);
  d->setAcceptMode(mode);
  d->setFileMode(fileMode);
  if (!filter.isEmpty()) d->setNameFilter(filter);
  return d;
}

std::optional<std::vector<std::string>> RunDialog(QFileDialog* d) {
  std::unique_ptr<QFileDialog> owner(d);
  if (d->exec() != QDialog::Accepted) return std::nullopt;
  std::vector<std::string> out;
  for (const QString& f : d->selectedFiles()) out.push_back(f.toStdString());
  if (out.empty()) return std::nullopt;
  return out;
}

}  // namespace

void LogbookPage::ExportButtonClick(const char* kind) {
  const std::optional<int64_t> id = CurrentId();
  if (!id || !book_) return;
  const QString ext = QString::fromLatin1(kind);
  const Entry& e = model_->At(model_->RowOf(*id));
  // "flug-2026-12-09-0430.csv"
  QString base = QStringLiteral("flug-%1-%2")
                     .arg(Utf8(e.downloaded.substr(0, 10)), Utf8(e.downloaded.substr(11, 5)))
                     .remove(QLatin1Char(':'));
  QFileDialog* d = FileDialog(
      window(), QStringLiteral("%1 als %2-Datei speichern").arg(Describe(e), ext.toUpper()),
      QFileDialog::AcceptSave, QFileDialog::AnyFile,
      QStringLiteral("%1-Dateien (*.%2)").arg(ext.toUpper(), ext));
  d->setDefaultSuffix(ext);
  d->selectFile(base + QLatin1Char('.') + ext);
  const auto chosen = RunDialog(d);
  if (!chosen) return;
  const std::string& path = chosen->front();
  try {
    if (ext == QLatin1String("csv"))
      book_->ExportCsv(*id, path);
    else if (ext == QLatin1String("gpx"))
      book_->ExportGpx(*id, path);
    else
      book_->ExportKml(*id, path);
  } catch (const std::exception& ex) {
    ShowError(QStringLiteral("Die Datei „%1“ wurde nicht geschrieben: %2")
                  .arg(Utf8(path), Utf8(ex.what())));
    return;
  }
  Say(QStringLiteral("%1-Datei gespeichert: %2").arg(ext.toUpper(), Utf8(path)));
}

void LogbookPage::ImportFiles() {
  if (!Book()) return;
  QFileDialog* d = FileDialog(window(), QStringLiteral("CSV-Dateien ins Flugbuch importieren"),
                              QFileDialog::AcceptOpen, QFileDialog::ExistingFiles,
                              QStringLiteral("CSV-Dateien (*.csv *.CSV);;Alle Dateien (*)"));
  if (const auto chosen = RunDialog(d)) Import(*chosen);
}

void LogbookPage::ImportFolder() {
  if (!Book()) return;
  QFileDialog* d = FileDialog(window(), QStringLiteral("Ordner mit CSV-Dateien importieren"),
                              QFileDialog::AcceptOpen, QFileDialog::Directory, QString());
  d->setOption(QFileDialog::ShowDirsOnly, true);
  if (const auto chosen = RunDialog(d)) Import(*chosen);
}

void LogbookPage::Import(const std::vector<std::string>& paths) {
  std::vector<logbook::ImportOutcome> outcomes;
  {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    outcomes = book_->ImportFiles(paths);
    QApplication::restoreOverrideCursor();
  }
  int taken = 0, duplicates = 0;
  QStringList refused;
  for (const logbook::ImportOutcome& o : outcomes) {
    taken += o.taken;
    duplicates += o.duplicate;
    if (!o.taken && !o.duplicate) refused << Utf8(o.reason);
  }
  Reload();
  for (auto it = outcomes.rbegin(); it != outcomes.rend(); ++it)
    if (it->taken) {
      SelectId(it->id);
      break;
    }
  QString text;
  if (outcomes.empty()) {
    text = QStringLiteral("Keine CSV-Datei gefunden.");
  } else {
    text = QStringLiteral("%1 von %2 %3 übernommen.")
               .arg(taken)
               .arg(outcomes.size())
               .arg(outcomes.size() == 1 ? QStringLiteral("Datei") : QStringLiteral("Dateien"));
    if (duplicates > 0)
      text += QStringLiteral("\n%1 bereits im Flugbuch.")
                  .arg(duplicates == 1 ? QStringLiteral("1 Datei war")
                                       : QStringLiteral("%1 Dateien waren").arg(duplicates));
  }
  Say(text.section(QLatin1Char('\n'), 0, 1).replace(QLatin1Char('\n'), QLatin1Char(' ')) +
          (refused.isEmpty() ? QString() : QStringLiteral(" %1 abgelehnt.").arg(refused.size())),
      !refused.isEmpty());
  // The reasons in the box; a long list in full behind "Details einblenden…".
  constexpr int kShown = 8;
  if (!refused.isEmpty()) {
    text += QStringLiteral("\n%1 abgelehnt:\n").arg(refused.size()) +
            refused.mid(0, kShown).join(QLatin1Char('\n'));
    if (refused.size() > kShown)
      text += QStringLiteral("\n… und %1 weitere (siehe Details)").arg(refused.size() - kShown);
  }
  QMessageBox box(
      refused.isEmpty() ? QMessageBox::Information : QMessageBox::Warning,
      QString::fromUtf8(BoxTitle(refused.isEmpty() ? BoxKind::Information : BoxKind::Warning)),
      text, QMessageBox::NoButton, window());
  box.setObjectName(QStringLiteral("ImportReport"));
  box.setTextFormat(Qt::PlainText);
  if (refused.size() > kShown) box.setDetailedText(refused.join(QLatin1Char('\n')));
  QPushButton* ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
  box.setDefaultButton(ok);
  box.setEscapeButton(ok);
  box.exec();
}

void LogbookPage::DeleteButtonClick() {
  const std::optional<int64_t> id = CurrentId();
  if (!id || !book_) return;
  const Entry e = model_->At(model_->RowOf(*id));
  QString what = Describe(e);
  if (!e.model.empty()) what += QStringLiteral(" (%1)").arg(Utf8(e.model));
  if (!QtUserIO::ConfirmBox(window(), QStringLiteral("Den %1 aus dem Flugbuch löschen?\rDas lässt "
                                                     "sich nicht rückgängig machen.")
                                          .arg(what)
                                          .toStdString()))
    return;
  const int row = Table->currentIndex().row();
  try {
    book_->Remove(*id);
  } catch (const std::exception& ex) {
    ShowError(Utf8(ex.what()));
    return;
  }
  Reload();
  if (proxy_->rowCount() > 0)
    Table->setCurrentIndex(proxy_->index(std::min(row, proxy_->rowCount() - 1), 0));
  Say(QStringLiteral("%1 gelöscht.").arg(what));
}

void LogbookPage::BackupButtonClick() {
  if (!Book()) return;
  QFileDialog* d = FileDialog(window(), QStringLiteral("Flugbuch sichern"), QFileDialog::AcceptSave,
                              QFileDialog::AnyFile, QStringLiteral("Flugbuch (*.sqlite)"));
  d->setDefaultSuffix(QStringLiteral("sqlite"));
  d->selectFile(
      QStringLiteral("flugbuch-%1.sqlite").arg(QDate::currentDate().toString(Qt::ISODate)));
  const auto chosen = RunDialog(d);
  if (!chosen) return;
  try {
    book_->Backup(chosen->front());
  } catch (const std::exception& e) {
    ShowError(Utf8(e.what()));
    return;
  }
  Say(QStringLiteral("Flugbuch gesichert: %1").arg(Utf8(chosen->front())));
}

bool LogbookPage::eventFilter(QObject* watched, QEvent* e) {
  // Keys typed into an open editor go to the editor, not to the table.
  if (watched == Table && e->type() == QEvent::KeyPress) {
    const auto* k = static_cast<QKeyEvent*>(e);
    if (k->key() == Qt::Key_Delete && k->modifiers() == Qt::NoModifier) {
      DeleteButtonClick();
      return true;
    }
    if ((k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter) &&
        k->modifiers() == Qt::NoModifier) {
      OpenCurrent();
      return true;
    }
  }
  return QWidget::eventFilter(watched, e);
}
