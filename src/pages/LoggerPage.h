#pragma once
// The logger page: whether the tracker logs GPS fixes and how often, the
// download of its log with progress and the export to CSV, KML or GPX, the
// erase of the log, and a preview of what the last export wrote, which the
// track view can show. Every download kept is merged into the tracker's
// archive, unless archiving is off.
#include <QElapsedTimer>
#include <QPixmap>

#include <memory>
#include <optional>

#include "device/log_download.h"
#include "logger/log_export.h"
#include "frame/BackgroundTask.h"
#include "frame/PageFrame.h"

class QButtonGroup;
class QCheckBox;
class QLineEdit;
class QProgressBar;
class QRadioButton;

namespace zd573 {

class TrackPreview;
struct TrackSource;

class LoggerPage : public PageFrame {
  Q_OBJECT

 public:
  static constexpr QRect kBar{71, 289, 502, 12};

  LoggerPage(AppContext& context, QWidget* mainWindow);
  ~LoggerPage() override;

  QLineEdit* Interval() const { return interval_; }
  QCheckBox* Logging() const { return logging_; }
  QCheckBox* DropNoFix() const { return dropNoFix_; }
  QRadioButton* Choice(logger::ExportFormat format) const;
  CGdipButton* ExportButton() const { return export_; }
  CGdipButton* DeleteButton() const { return delete_; }
  // Shown while the log comes in: stops the download, keeps every old file.
  CGdipButton* CancelButton() const { return cancel_; }
  TrackPreview* Preview() const { return preview_; }
  // Shown once an export is written: the track view on its records.
  CGdipButton* ViewButton() const { return view_; }
  CLabel* WrittenLine() const { return written_; }
  int BarFill() const;
  // The download, or the page's other work, is running.
  bool Busy() const override { return download_ || PageFrame::Busy(); }

  // The Export button: save dialog, then the download on the shared worker.
  void Export();
  // The Delete button: one "LC" with its pause.
  void DeleteLog();
  // The Cancel button: ends the download, releases the port.
  void CancelDownload();

 signals:
  // The View button: the window shows the track view on the last download.
  void viewTrack(const std::shared_ptr<const TrackSource>& track);

 protected:
  void CreatePageControls() override;
  void FillFromSettings(const DeviceValues& values) override;
  Status StoreControls(DeviceValues& edited) const override;
  void paintEvent(QPaintEvent* event) override;

 private:
  logger::ExportFormat ChosenFormat() const;
  // The page's controls while the log comes in (or after).
  void SetDownloading(bool busy);
  // Drops the download (its port freed) and empties the bar.
  void EndDownload();
  // Offers to export what arrived of a download that ended early, after
  // `why`; false when nothing arrived (nothing was asked).
  bool OfferPartialExport(const QString& why);
  void SetPageBusy(bool busy) override;
  void StopPageWork() override;
  void OnProgress(Progress progress);
  void OnEnded(int code);
  // Exports the download's own records; `note`, when not empty, is told once the export is written.
  void WriteExport(std::vector<std::uint8_t> records, QString note);
  // What a complete download tells beside the export: records left out or beyond the count.
  QString CompleteNote() const;

  QLineEdit* interval_ = nullptr;
  QCheckBox* logging_ = nullptr;
  QCheckBox* dropNoFix_ = nullptr;
  QButtonGroup* formats_ = nullptr;
  CGdipButton* export_ = nullptr;
  CGdipButton* delete_ = nullptr;
  CGdipButton* cancel_ = nullptr;
  CGdipButton* view_ = nullptr;
  TrackPreview* preview_ = nullptr;
  std::shared_ptr<const TrackSource> lastTrack_;  // what the last export wrote
  std::string imei_;  // the tracker the download comes from
  QProgressBar* barValue_ = nullptr;
  CLabel* written_ = nullptr;
  CLabel* writtenFile_ = nullptr;
  SkinPicture track_;
  SkinPicture bar_;
  QElapsedTimer downloadClock_;  // since the request, for the time left
  static constexpr qint64 kEstimateAfterMs = 1000;
  QString exportPath_;
  std::string rawPath_;
  // The relay outlives the download that reports to it.
  LogRelay relay_;
  std::unique_ptr<LogDownload> download_;
};

}  // namespace zd573
